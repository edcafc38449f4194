#pragma once
// hjxx, "环境信息设定": one row per chosen worksheet, its name and the first and last cell of
// the rectangle to add up; its OK checks every text and accepts the job.
#include <QWidget>
#include <string>
#include <vector>

#include "job/windows/job_window_context.h"
#include "spreadsheet/cell_address.h"

class QLineEdit;
class QPushButton;
class QScrollBar;

namespace sbx {

class RangeEntryWindow final : public QWidget {
    Q_OBJECT
public:
    explicit RangeEntryWindow(const JobWindowContext& context);

    // Builds and shows the window for the current chosenSheets; an earlier one still open
    // (left after a refused entry) is closed first, since its rows belong to another choice.
    static RangeEntryWindow* open(const JobWindowContext& context);
    static RangeEntryWindow* findOpen();

    QScrollBar& scrollBar() const { return *scrollBar_; }
    // The text box of chosen worksheet `row` (from 1), column 1 name, 2 first cell, 3 last cell.
    QLineEdit* box(int row, int column) const;
    int rows() const { return static_cast<int>(boxes_.size() / 3); }

    // One wheel rotation over the hooked window: one step a notch, nothing at the ends.
    void wheel(int rotation);

    // The row (from 1) of a chosen worksheet by its real name; 0 when it is not chosen.
    int rowOf(const std::string& worksheet) const;
    // Writes the first and last cell of `area` into the boxes of `row`.
    void fillRange(int row, const CellArea& area);

protected:
    void closeEvent(QCloseEvent* event) override;
    // Enter accepts (a focused button is pressed instead), Esc cancels.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void layOut(int rows);
    void scrollList(int value);
    void showWorkbook();
    void fillRemembered();
    // A whole range typed into the first box ("b3:d5") goes into both; false when there is none.
    bool splitTypedRange(int row);
    void accept();
    void leave(const char* hint);

    JobWindowContext context_;
    QWidget* viewport_;
    QWidget* content_;  // the rows of boxes, scrolled inside viewport_
    QScrollBar* scrollBar_;
    QPushButton* viewButton_;
    QPushButton* cancelButton_;
    QPushButton* okButton_;
    std::vector<QLineEdit*> boxes_;  // creation order: row by row, columns 1..3
    int viewportHeight_ = 3255;      // twips
    int contentHeight_ = 3375;
    bool finished_ = false;
};

}  // namespace sbx
