#pragma once
// The check window before a run: the pool files the check flagged, as a list (file | verdict |
// first finding), with 全部汇总, 跳过有问题的文件 and 取消 (also Esc, Enter and the window's ×).
// Files that cannot be read are named apart: neither answer takes them in.
#include <QDialog>

#include "consolidate/desktop/run_setup.h"

class QTreeWidget;

namespace sbx {

class CheckWindow final : public QDialog {
public:
    CheckWindow(const CheckReport& report, QWidget* parent = nullptr);

    CheckChoice choice() const { return choice_; }

    // Shows the window modally and returns the user's choice.
    static CheckChoice ask(const CheckReport& report, QWidget* parent);

private:
    void choose(CheckChoice choice);

    CheckChoice choice_ = CheckChoice::Cancel;
};

}  // namespace sbx
