#pragma once
// The controls of the main window, named as the rest of the program knows them (each
// widget's objectName is the control's name), laid out in twips at 15 twips per pixel.
#include <vector>

class QAction;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QMenu;
class QPushButton;
class QTimer;
class QWidget;

namespace sbx {

struct MainWindowControls {
    QLabel* label1 = nullptr;  // title
    QGroupBox* frame1 = nullptr;
    QGroupBox* frame2 = nullptr;
    QListWidget* list1 = nullptr;  // pool list
    QListWidget* list2 = nullptr;  // run list
    QLabel* label4 = nullptr;      // entries of List1
    QLabel* label13 = nullptr;     // selected entries of List1
    QLabel* label10 = nullptr;     // entries of List2
    QPushButton* command1 = nullptr;  // 退出系统
    QPushButton* command2 = nullptr;  // 环 境 设 定
    QPushButton* command3 = nullptr;  // 开 始 汇 表
    QPushButton* command4 = nullptr;  // 添加文件
    QPushButton* command5 = nullptr;  // 导出文件
    QPushButton* command6 = nullptr;  // thin bar of the function mode
    QPushButton* command7 = nullptr;  // progress caption
    QPushButton* command8 = nullptr;  // 查看结果: after a finished run, the summary with its written cells
    QPushButton* cancelRun = nullptr;  // 取消汇表: shown during a run, cancels it (as does Esc)
    QLabel* runTime = nullptr;         // during a run: files done, elapsed time, time left
    QLabel* templateLabel = nullptr;   // above Image1: the file the summary is made from
    QLabel* summaryNote = nullptr;     // below Image1: the summary is incomplete, until the next run
    QLineEdit* text11 = nullptr;      // hint box
    QLabel* image1 = nullptr;
    QTimer* timer1 = nullptr;
    QMenu* op = nullptr;   // pool entry menu (its last item TEMPLATE: 设为汇总模板)
    QMenu* hlp = nullptr;  // help menu
    QAction* help = nullptr;
    QAction* about = nullptr;
    // Text1..Text10 by number (index 0 unused).
    std::vector<QLineEdit*> statusFields;
    // The status panel's labels Label2..Label23 by number (the others null).
    std::vector<QLabel*> statusLabels;
    // Every label and field of the status panel.
    std::vector<QWidget*> statusPanel;
};

// Creates the controls as children of `window` and sizes the window (its designed size is
// also its smallest).
MainWindowControls buildMainWindowControls(QWidget* window);

}  // namespace sbx
