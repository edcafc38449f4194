#pragma once
// Texts of the program name the working folder as it is on Windows, C:\KX\ (and its summary
// folder C:\KX\HZ\). Where another folder is in use, the texts name that one instead, so that
// the user looks where the files really are.
#include <string>

#include "workspace/workspace_paths.h"

namespace sbx {

// Whether `paths` is the folder the texts were written for (c:\kx, in any letter case).
bool isDefaultWorkingFolder(const WorkspacePaths& paths);

// `text` with each mention of C:\KX\ and C:\KX\HZ\ (and of the folder "in the root of drive C")
// naming the folder of `paths`; unchanged for the default folder.
std::string namingWorkingFolder(std::string text, const WorkspacePaths& paths);

}  // namespace sbx
