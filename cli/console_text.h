#pragma once
// The command line and the console in UTF-8 on every platform: Windows hands programs their
// arguments in the system's ANSI code page (936 on Chinese Windows, which cannot carry every
// file name) and shows console output in the console's code page.
#include <string>
#include <vector>

namespace sbx::cli {

// The arguments after the program name, in UTF-8; on Windows read from the wide command line.
std::vector<std::string> utf8Arguments(int argc, char** argv);

// Sets a Windows console to show UTF-8 output; nothing elsewhere.
void showUtf8OnConsole();

}  // namespace sbx::cli
