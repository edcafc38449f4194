#pragma once
// checkfrm, "请选择EXCEL表格之工作表": one check box per worksheet of the summary workbook;
// its OK stores the ticked names and opens the range entry window.
#include <QWidget>
#include <vector>

#include "job/windows/job_window_context.h"

class QCheckBox;
class QPushButton;
class QScrollBar;

namespace sbx {

class SheetSelectionWindow final : public QWidget {
    Q_OBJECT
public:
    explicit SheetSelectionWindow(const JobWindowContext& context);

    // The open worksheet selection window, if any: a second click on the main window's
    // 环境设定 shows it again instead of building another.
    static SheetSelectionWindow* findOpen();

    QScrollBar& scrollBar() const { return *scrollBar_; }
    const std::vector<QCheckBox*>& checkBoxes() const { return boxes_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    // Esc cancels.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void layOut(int sheets);
    void scrollList(int value);
    void accept();
    void cancel();
    void leaveCancelled();
    void finish();
    void setMainCommand2Enabled(bool enabled);

    JobWindowContext context_;
    QWidget* viewport_;
    QWidget* content_;  // the check boxes, scrolled inside viewport_
    QScrollBar* scrollBar_;
    QPushButton* okButton_;
    QPushButton* cancelButton_;
    QPushButton* allButton_;
    QPushButton* clearButton_;
    std::vector<QCheckBox*> boxes_;
    int viewportHeight_ = 2775;   // twips
    int contentHeight_ = 3375;
    bool finished_ = false;
};

}  // namespace sbx
