#include "job/windows/sheet_selection_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>

#include "job/windows/range_entry_window.h"
#include "job/windows/sheet_caption.h"
#include "job/windows/twips.h"
#include "job/windows/wheel_hook.h"

namespace sbx {
namespace {

using twips::toPixels;

constexpr int kClientWidth = 3781;       // the scroll bar's right edge and the list's left margin
constexpr int kDesignFormHeight = 3990;  // the form as designed, before the load sizes it
constexpr int kButtonTop = 3120;
constexpr double kScrollDivisor = 613.0;

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, const char* tip, int left) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    button->setToolTip(QString::fromUtf8(tip));
    button->setGeometry(toPixels(left), toPixels(kButtonTop), toPixels(700), toPixels(375));
    return button;
}

}  // namespace

SheetSelectionWindow::SheetSelectionWindow(const JobWindowContext& context) : context_(context) {
    setObjectName("checkfrm");
    setWindowTitle(QString::fromUtf8("请选择EXCEL表格之工作表"));
    setAttribute(Qt::WA_DeleteOnClose);

    viewport_ = new QWidget(this);
    viewport_->setObjectName("Picture1");
    viewport_->setGeometry(toPixels(263), toPixels(120), toPixels(3015), toPixels(viewportHeight_));
    viewport_->setAutoFillBackground(true);
    content_ = new QWidget(viewport_);
    content_->setObjectName("Picture2");
    content_->setGeometry(toPixels(-840), 0, toPixels(5055), toPixels(contentHeight_));
    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->setObjectName("VScroll1");
    scrollBar_->setGeometry(toPixels(3263), toPixels(120), toPixels(255), toPixels(viewportHeight_));

    allButton_ = makeButton(this, "Command3", "全选", "全部选定所有工作表", 460);
    clearButton_ = makeButton(this, "Command4", "清除", "清除所选", 1180);
    okButton_ = makeButton(this, "Command1", "确 定", "提交所选", 1900);
    cancelButton_ = makeButton(this, "Command2", "取 消", "取消退出", 2640);
    setTabOrder(okButton_, cancelButton_);
    setTabOrder(cancelButton_, allButton_);
    setTabOrder(allButton_, clearButton_);
    setTabOrder(clearButton_, scrollBar_);

    connect(scrollBar_, &QScrollBar::valueChanged, this, &SheetSelectionWindow::scrollList);
    connect(okButton_, &QPushButton::clicked, this, &SheetSelectionWindow::accept);
    connect(cancelButton_, &QPushButton::clicked, this, &SheetSelectionWindow::cancel);
    connect(allButton_, &QPushButton::clicked, this, [this] {
        for (auto* box : boxes_) box->setChecked(true);
    });
    connect(clearButton_, &QPushButton::clicked, this, [this] {
        for (auto* box : boxes_)
            if (box->isChecked()) box->setChecked(false);
    });

    setFixedSize(toPixels(kClientWidth), twips::clientHeight(kDesignFormHeight));
    if (context_.mainWindow != nullptr) context_.mainWindow->setEnabled(false);
    // The wheel scrolls this window's own list, one small step a notch, while it is hooked.
    WheelHook::of(context_.mainWindow).install(this, [this](int rotation) {
        scrollBar_->setValue(scrollBar_->value() - rotation / 120 * 15);
    });
    layOut(static_cast<int>(context_.job.sheetNames.size()));
}

SheetSelectionWindow* SheetSelectionWindow::findOpen() {
    for (auto* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<SheetSelectionWindow*>(widget); window != nullptr && !window->finished_)
            return window;
    return nullptr;
}

void SheetSelectionWindow::layOut(int sheets) {
    // The list scrolls over a fixed value range, whatever the number of worksheets.
    scrollBar_->setPageStep(qRound(2775.0 / 3375.0 * 3100.0));
    scrollBar_->setRange(0, 3375 - 2775);
    if (sheets <= 0) return;

    int buttonTop = 0;
    if (sheets <= 9) {
        scrollBar_->hide();
        setFixedHeight(twips::clientHeight(300 * sheets + 1700));
        viewportHeight_ = contentHeight_ = 300 * sheets + 500;
        buttonTop = 300 * sheets + 800;
    } else {
        setFixedHeight(twips::clientHeight(3978));
        viewportHeight_ = 2775;
        contentHeight_ = 300 * sheets + 1000;
        scrollBar_->setFixedHeight(toPixels(viewportHeight_));
        buttonTop = 3051;
    }
    viewport_->setFixedHeight(toPixels(viewportHeight_));
    content_->setFixedHeight(toPixels(contentHeight_));
    for (auto* button : {okButton_, cancelButton_, allButton_, clearButton_}) button->move(button->x(), toPixels(buttonTop));

    for (int k = 1; k <= sheets; ++k) {
        auto* box = new QCheckBox(checkBoxCaption(context_.job.sheetNames.at(static_cast<size_t>(k - 1))), content_);
        box->setObjectName(QStringLiteral("chk%1").arg(10 * k + 1));
        box->setGeometry(toPixels(1150), toPixels(300 * k), toPixels(2811), toPixels(300));
        // The remembered job's worksheets come ticked; the user may change them.
        for (const SheetJob& kept : context_.job.remembered)
            if (kept.worksheet == context_.job.sheetNames.at(static_cast<size_t>(k - 1))) box->setChecked(true);
        boxes_.push_back(box);
    }
}

void SheetSelectionWindow::scrollList(int value) {
    const double top = static_cast<double>(viewportHeight_ - contentHeight_) * value / kScrollDivisor;
    content_->move(content_->x(), toPixels(top));
    scrollBar_->setSingleStep(15);
}

void SheetSelectionWindow::accept() {
    JobDefinition& job = context_.job;
    if (context_.mainWindow != nullptr) context_.mainWindow->setEnabled(true);
    std::vector<std::string> ticked;  // real names: the captions only show them
    for (size_t k = 0; k < boxes_.size(); ++k)
        if (boxes_[k]->isChecked()) ticked.push_back(job.sheetNames.at(k));
    const size_t chosen = ticked.size();
    if (chosen == 0) {
        context_.dialogs.message("请选择需要汇总合并的工作表!");
        return;
    }
    context_.dialogs.message("你选择了  " + std::to_string(chosen) + " 个工作表.");
    if (chosen > 10)
        context_.dialogs.message("由于你一次选择了10个以上工作表，程序会占用大量系统资源\r建议停止其它应用程序的运行，以保证正常工作！");
    if (chosen > 50) {
        context_.dialogs.message("抱歉，该版本所汇工作表数不能超过50个！");
        setMainCommand2Enabled(true);
        return;
    }
    job.chosenSheets = std::move(ticked);
    finish();
    close();
    RangeEntryWindow::open(context_);
    if (context_.setHint) context_.setHint("通过查看表格来确定所汇工作表的数据区间,并正确录入!");
    setMainCommand2Enabled(true);
}

void SheetSelectionWindow::cancel() {
    leaveCancelled();
    close();
}

void SheetSelectionWindow::leaveCancelled() {
    if (context_.setHint) context_.setHint("欢迎使用数簿星!");
    if (context_.mainWindow != nullptr) context_.mainWindow->setEnabled(true);
    setMainCommand2Enabled(true);
    finish();
}

void SheetSelectionWindow::finish() {
    finished_ = true;
    auto& hook = WheelHook::of(context_.mainWindow);
    if (hook.hookedWindow() == this) hook.remove();
}

void SheetSelectionWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape) {
        cancelButton_->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SheetSelectionWindow::closeEvent(QCloseEvent* event) {
    // The close box counts as cancelling, so the main window is never left disabled.
    if (!finished_) leaveCancelled();
    event->accept();
}

void SheetSelectionWindow::setMainCommand2Enabled(bool enabled) {
    if (context_.jobSetupButton != nullptr) context_.jobSetupButton->setEnabled(enabled);
}

}  // namespace sbx
