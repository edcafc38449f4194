#pragma once
// The check window before a run: the pool files the check flagged, as a list (file | verdict |
// first finding), with 全部汇总, 跳过有问题的文件 and 取消 (also Esc, Enter and the window's ×).
// Files that cannot be read are named apart: neither answer takes them in. Given a way to
// check again, the box 按标签对齐汇总 checks the files again with their rows and columns
// matched by their labels (or, cleared, where they stand) and shows the new findings.
#include <QDialog>

#include "consolidate/desktop/run_setup.h"

class QLabel;
class QTreeWidget;

namespace sbx {

class CheckWindow final : public QDialog {
public:
    // `aligned`: whether `report` is of a check with labels aligned.
    CheckWindow(const CheckReport& report, QWidget* parent = nullptr, Recheck recheck = {}, bool aligned = false);

    CheckChoice choice() const { return choice_; }

    // Shows the window modally and returns the user's choice.
    static CheckChoice ask(const CheckReport& report, QWidget* parent, const Recheck& recheck = {});

private:
    void fill(const CheckReport& report);
    void choose(CheckChoice choice);

    CheckChoice choice_ = CheckChoice::Cancel;
    Recheck recheck_;
    QTreeWidget* list_;
    QLabel* unreadable_;
};

}  // namespace sbx
