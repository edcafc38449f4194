#pragma once
// "请选择汇表模式": the choice between the two consolidation modes. 效率型 runs the
// efficiency mode, 功能型 the function mode after its confirmation; either run drives the
// main window's status panel and ends with the questions about archiving and export. The
// window hides while a run works and closes (and is deleted) when it is over.
#include <QWidget>

#include "consolidate/run/run_request.h"
#include "consolidate/desktop/windows/run_window_context.h"

class QLabel;
class QPushButton;

namespace sbx {

namespace mode_text {
inline constexpr const char* kCaption = "请选择汇表模式";
inline constexpr const char* kEfficiency = "效率型";
inline constexpr const char* kEfficiencyTip = "速度快,消耗低,有限型";
inline constexpr const char* kFunction = "功能型";
inline constexpr const char* kFunctionTip = "功能全,消耗大,无限型";
// The runs of blanks break the lines inside the labels.
inline constexpr const char* kEfficiencyExplained =
    "效率型：速度快，占用系统资源较少，缺点是对一         些加有写保护的表格文件不能汇总，一           "
    "般情况下建议只用这种模式！";
inline constexpr const char* kFunctionExplained = "功能型：不受任何限制，缺点速度慢且占用资源较          多，建议尽量少用。";
}  // namespace mode_text

class ModeWindow : public QWidget {
    Q_OBJECT
public:
    ModeWindow(RunWindowContext context, QWidget* parent);

    // 效率型 enabled unless a failed efficiency run has blocked that mode.
    void applyEfficiencyBlock();

private:
    void runEfficiency();
    void runFunction();
    void runMode(Mode mode);

    RunWindowContext context_;
    QPushButton* efficiencyButton_ = nullptr;
    QPushButton* functionButton_ = nullptr;
};

// Opens modfrm modeless over the main window (an open one is raised instead of a second one).
ModeWindow* openModeWindow(const RunWindowContext& context);

}  // namespace sbx
