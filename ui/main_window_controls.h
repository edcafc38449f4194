#pragma once
// The controls of the main window, named for what they do. Each widget also carries the
// object name the tests and the window's texts know it by; those names live in one table in
// main_window_controls.cpp and nowhere else. Laid out in twips at 15 twips per pixel.
#include <vector>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;
class QWidget;

namespace sbx {

// What each bar of the status panel measures: its caption and, in its tooltip, in full.
namespace bar_text {
inline constexpr const char* kWorksheetRead = "本表读取";
inline constexpr const char* kWorksheetReadTip = "本工作表在所选的全部文件中已读取的单元格";
inline constexpr const char* kFileRead = "文件读取";
inline constexpr const char* kFileReadTip = "当前文件中本工作表已读取的单元格";
inline constexpr const char* kWrite = "本表写入";
inline constexpr const char* kWriteTip = "本工作表已写入汇总文件的单元格";
inline constexpr const char* kConsolidation = "文件提取";
inline constexpr const char* kConsolidationTip = "本工作表已提取并汇入的文件";
}  // namespace bar_text

// A line of the status panel: a caption and the field it names.
struct StatusLine {
    QLabel* caption = nullptr;
    QLineEdit* field = nullptr;
};

// A progress line: what the bar measures, the bar of "|", the share done.
struct ProgressLine {
    QLabel* caption = nullptr;
    QLineEdit* bar = nullptr;
    QLabel* percent = nullptr;
};

// The panel between the two lists that follows a run; each mode shows its own lines in the
// same place, where the logo shows between runs.
struct StatusPanel {
    // Function mode: the source being read and the summary cell being written.
    StatusLine readWorksheet;
    StatusLine readFile;
    StatusLine readCell;
    StatusLine writtenCell;
    ProgressLine worksheetRead;  // cells read for this worksheet over all files
    ProgressLine fileRead;       // cells read from the current file
    ProgressLine write;          // cells written for this worksheet
    // Efficiency mode: the file being taken in, and the files taken in for this worksheet on
    // the last line, which shares its caption and percentage with `write`.
    StatusLine consolidatedWorksheet;
    StatusLine consolidatedFile;
    QLabel* processCaption = nullptr;
    QLineEdit* consolidationBar = nullptr;

    std::vector<QWidget*> functionMode() const;
    std::vector<QWidget*> efficiencyMode() const;
    std::vector<QWidget*> all() const;
};

struct MainWindowControls {
    QLabel* title = nullptr;  // a click opens 关于
    QGroupBox* poolFrame = nullptr;
    QGroupBox* runFrame = nullptr;
    QListWidget* poolList = nullptr;
    QListWidget* runList = nullptr;
    QLabel* poolCount = nullptr;      // entries of the pool list
    QLabel* selectedCount = nullptr;  // selected entries of the pool list
    QLabel* runCount = nullptr;       // entries of the run list
    QPushButton* exitButton = nullptr;      // 退出系统
    QPushButton* jobSetupButton = nullptr;  // 环 境 设 定
    QPushButton* startButton = nullptr;     // 开 始 汇 表
    QPushButton* addFilesButton = nullptr;  // 添加文件
    QPushButton* exportButton = nullptr;    // 导出文件
    QPushButton* functionBar = nullptr;     // thin bar of the function mode
    QPushButton* progressButton = nullptr;  // the run's progress caption
    QPushButton* resultButton = nullptr;    // 查看结果: after a finished run, the summary with its written cells
    QPushButton* cancelRun = nullptr;  // 取消汇表: shown during a run, cancels it (as does Esc)
    QLabel* runTime = nullptr;         // during a run: files done, elapsed time, time left
    QLabel* templateLabel = nullptr;   // above the logo: the file the summary is made from
    QLabel* summaryNote = nullptr;     // below the logo: the summary is incomplete, until the next run
    // Between runs, where the time line shows during one: who has reported.
    QPushButton* rosterButton = nullptr;    // 已报 N / 应报 M, or 生成应报名单 while there is no roster
    QPushButton* unitCellButton = nullptr;  // 单位单元格: the cell that names each report's unit
    QLabel* rosterDetail = nullptr;         // who is missing, who is unknown
    QLineEdit* hintBox = nullptr;
    QLabel* logo = nullptr;
    QTimer* hintTimer = nullptr;  // recolours the hint box's text
    QMenu* poolMenu = nullptr;    // pool entry menu (its last item: 设为汇总模板)
    QMenu* helpMenu = nullptr;
    QAction* help = nullptr;
    QAction* about = nullptr;
    StatusPanel status;
};

// Creates the controls as children of `window` and sizes the window (its designed size is
// also its smallest).
MainWindowControls buildMainWindowControls(QWidget* window);

}  // namespace sbx
