#pragma once
// Where a finished run hands over: archiving its files and the export button. The run asks
// the two questions itself and calls these on a Yes.
#include <string>
#include <vector>

namespace sbx {

class PostRunSteps {
public:
    virtual ~PostRunSteps() = default;

    // The archiving procedure over the run list (the files the run consolidated, by bare
    // name). May ask its own questions; a failure inside it is its own to report.
    virtual void archive(const std::vector<std::string>& runList) = 0;
    // The export offer accepted: hide the progress caption; show and enable "导出文件" and
    // give it the focus. The export itself runs when the user clicks it.
    virtual void offerExport() = 0;
};

}  // namespace sbx
