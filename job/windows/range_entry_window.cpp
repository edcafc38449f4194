#include "job/windows/range_entry_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <algorithm>

#include "job/range_rules.h"
#include "job/windows/remembered_job.h"
#include "job/windows/sheet_caption.h"
#include "job/windows/twips.h"
#include "job/windows/wheel_hook.h"
#include "spreadsheet/workbook_error.h"
#include "ui/window_placement.h"
#include "ui/workbook_viewer.h"
#include "workspace/summary_template.h"
#include "workspace/workbook_error_text.h"
#include "workspace/workbook_format.h"

namespace sbx {
namespace {

using twips::toPixels;

constexpr int kClientWidth = 5535;       // the scroll bar's right edge and the list's left margin
constexpr int kDesignFormHeight = 4380;  // the form as designed, before the load sizes it
constexpr int kButtonTop = 3480;
constexpr double kScrollDivisor = 125.0;
constexpr int kCellTextLength = 10;   // xfd1048576
constexpr int kRangeTextLength = 21;  // the first box also takes a whole range: xfd1048576:xfd1048576

QPushButton* makeButton(QWidget* parent, const char* name, const char* caption, const char* tip, int left) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(name);
    if (*tip != '\0') button->setToolTip(QString::fromUtf8(tip));
    button->setGeometry(toPixels(left), toPixels(kButtonTop), toPixels(975), toPixels(375));
    return button;
}

}  // namespace

RangeEntryWindow::RangeEntryWindow(const JobWindowContext& context) : context_(context) {
    setObjectName("hjxx");
    setWindowTitle(QString::fromUtf8("环境信息设定"));
    setAttribute(Qt::WA_DeleteOnClose);

    viewport_ = new QWidget(this);
    viewport_->setObjectName("Picture1");
    viewport_->setGeometry(toPixels(540), 0, toPixels(4215), toPixels(viewportHeight_));
    content_ = new QWidget(viewport_);
    content_->setObjectName("Picture2");
    content_->setToolTip(QString::fromUtf8("请输入正确的区间范围"));
    content_->setGeometry(toPixels(-840), 0, toPixels(5055), toPixels(contentHeight_));
    viewButton_ = makeButton(this, "Command3", "查看表格", "打开表格文件", 1260);
    cancelButton_ = makeButton(this, "Command2", "取  消", "", 3420);
    okButton_ = makeButton(this, "Command4", "确  定", "提交所有即定信息", 2340);
    scrollBar_ = new QScrollBar(Qt::Vertical, this);
    scrollBar_->setObjectName("VScroll1");
    scrollBar_->setGeometry(toPixels(4740), 0, toPixels(255), toPixels(viewportHeight_));
    setTabOrder(viewButton_, cancelButton_);
    setTabOrder(cancelButton_, okButton_);
    setTabOrder(okButton_, scrollBar_);

    connect(scrollBar_, &QScrollBar::valueChanged, this, &RangeEntryWindow::scrollList);
    connect(viewButton_, &QPushButton::clicked, this, &RangeEntryWindow::showWorkbook);
    connect(okButton_, &QPushButton::clicked, this, &RangeEntryWindow::accept);
    connect(cancelButton_, &QPushButton::clicked, this, [this] {
        leave("欢迎使用数簿星");
        close();
    });

    setFixedSize(toPixels(kClientWidth), twips::clientHeight(kDesignFormHeight));
    if (context_.mainWindow != nullptr) context_.mainWindow->setEnabled(false);
    WheelHook::of(context_.mainWindow).install(this, [this](int rotation) { wheel(rotation); });

    scrollBar_->setPageStep(qRound(3255.0 / 3375.0 * 1000.0));
    scrollBar_->setRange(0, 3375 - 3255);
    scrollBar_->setSingleStep(1);
    layOut(static_cast<int>(context_.job.chosenSheets.size()));
}

RangeEntryWindow* RangeEntryWindow::findOpen() {
    for (auto* widget : QApplication::topLevelWidgets())
        if (auto* window = qobject_cast<RangeEntryWindow*>(widget); window != nullptr && !window->finished_)
            return window;
    return nullptr;
}

RangeEntryWindow* RangeEntryWindow::open(const JobWindowContext& context) {
    if (auto* earlier = findOpen()) {
        earlier->finished_ = true;
        earlier->close();
    }
    auto* window = new RangeEntryWindow(context);
    placeOver(*window, context.mainWindow);
    window->show();
    window->raise();
    window->activateWindow();
    // Typing starts in the first range; Enter accepts ranges remembered from the last job.
    if (QLineEdit* first = window->box(1, 2)) first->setFocus();
    return window;
}

void RangeEntryWindow::layOut(int rows) {
    if (rows <= 0) return;
    int buttonTop = 0;
    if (rows > 9) {
        setFixedHeight(twips::clientHeight(4500));
        viewportHeight_ = 3255;
        contentHeight_ = 300 * rows + 1000;
        buttonTop = 3500;
    } else {
        scrollBar_->hide();
        setFixedHeight(twips::clientHeight(300 * rows + 1500));
        viewportHeight_ = contentHeight_ = 300 * rows + 1000;
        buttonTop = 300 * rows + 500;
    }
    viewport_->setFixedHeight(toPixels(viewportHeight_));
    content_->setFixedHeight(toPixels(contentHeight_));
    for (auto* button : {viewButton_, cancelButton_, okButton_}) {
        button->move(button->x(), toPixels(buttonTop));
        button->raise();  // the viewport reaches below the buttons' top
    }

    // Name boxes sit on the button-shadow grey; their text stays readable although disabled.
    QPalette nameGround = palette();
    nameGround.setColor(QPalette::Disabled, QPalette::Base, palette().color(QPalette::Dark));
    nameGround.setColor(QPalette::Disabled, QPalette::Text, palette().color(QPalette::Active, QPalette::Text));
    QWidget* previous = scrollBar_;  // boxes made at load come after the designed controls
    for (int i = 1; i <= rows; ++i) {
        for (int c = 1; c <= 3; ++c) {
            auto* box = new QLineEdit(content_);
            box->setObjectName(QString::fromStdString(rangeBoxName(i, c)));
            box->setGeometry(toPixels(1150 * c), toPixels(300 * i), toPixels(1150), toPixels(300));
            if (c == 1) {
                box->setText(sheetCaption(context_.job.chosenSheets.at(static_cast<size_t>(i - 1))));
                box->setEnabled(false);
                box->setPalette(nameGround);
            } else {
                box->setMaxLength(c == 2 ? kRangeTextLength : kCellTextLength);
                setTabOrder(previous, box);
                previous = box;
            }
            boxes_.push_back(box);
        }
        connect(box(i, 2), &QLineEdit::editingFinished, this, [this, i] { splitTypedRange(i); });
    }
    fillRemembered();
}

void RangeEntryWindow::fillRemembered() {
    for (int i = 1; i <= rows(); ++i) {
        const std::string& sheet = context_.job.chosenSheets.at(static_cast<size_t>(i - 1));
        for (const SheetJob& kept : context_.job.remembered)
            if (kept.worksheet == sheet) fillRange(i, kept.area);
    }
}

void RangeEntryWindow::fillRange(int row, const CellArea& area) {
    box(row, 2)->setText(QString::fromStdString(cellName(area.first())));
    box(row, 3)->setText(QString::fromStdString(cellName(area.last())));
}

bool RangeEntryWindow::splitTypedRange(int row) {
    const auto cells = splitRangeText(box(row, 2)->text().toStdString());
    if (!cells) return false;
    box(row, 2)->setText(QString::fromStdString(cells->first));
    box(row, 3)->setText(QString::fromStdString(cells->second));
    return true;
}

int RangeEntryWindow::rowOf(const std::string& worksheet) const {
    for (int i = 1; i <= rows(); ++i)
        if (context_.job.chosenSheets.at(static_cast<size_t>(i - 1)) == worksheet) return i;
    return 0;
}

QLineEdit* RangeEntryWindow::box(int row, int column) const {
    const auto index = static_cast<size_t>(3 * (row - 1) + (column - 1));
    return row >= 1 && column >= 1 && column <= 3 && index < boxes_.size() ? boxes_[index] : nullptr;
}

void RangeEntryWindow::scrollList(int value) {
    const double top = static_cast<double>(viewportHeight_ - contentHeight_) * value / kScrollDivisor;
    content_->move(content_->x(), toPixels(top));
}

void RangeEntryWindow::wheel(int rotation) {
    // Truncated toward zero; a value past either end is refused, not clamped.
    const int value = scrollBar_->value() - rotation / 120;
    if (value >= scrollBar_->minimum() && value <= scrollBar_->maximum()) scrollBar_->setValue(value);
}

void RangeEntryWindow::showWorkbook() {
    // The window waits for the look to end; its buttons must not start another meanwhile.
    setEnabled(false);
    ViewerExtras extras;
    QPointer<RangeEntryWindow> self(this);
    extras.takesRangeOf = [self](const std::string& worksheet) { return self && self->rowOf(worksheet) > 0; };
    extras.takeRange = [self](const std::string& worksheet, const CellArea& area) {
        if (self && self->rowOf(worksheet) > 0) self->fillRange(self->rowOf(worksheet), area);
    };
    try {
        lookAtWorkbook(context_.dialogs, context_.makeHost, context_.paths.summaryWorkbook(), extras);
    } catch (const WorkbookError& error) {
        // The summary is a unit's copy: the message names that unit's file too.
        context_.dialogs.message(workbookErrorText(error) + summaryMadeFromText(context_.paths));
    }
    setEnabled(true);
    // Back in the ranges, where Enter accepts what 填入区间 brought.
    activateWindow();
    if (QLineEdit* first = box(1, 2)) first->setFocus();
}

void RangeEntryWindow::accept() {
    JobDefinition& job = context_.job;
    if (context_.mainWindow != nullptr) context_.mainWindow->setEnabled(true);

    // Every box is checked before anything is kept: the job changes only when all are right.
    Job accepted;
    for (int i = 1; i <= rows(); ++i) {
        CellAddress cells[2];
        splitTypedRange(i);
        for (int c = 2; c <= 3; ++c) {
            QLineEdit* field = box(i, c);
            // Checked as the canonical text (b3 for Ｂ３); a refusal quotes what was typed.
            const std::string typed = field->text().toStdString();
            const std::string canonical = canonicalCellText(typed);
            const auto cell = acceptedCell(canonical);
            if (!cell) {
                context_.dialogs.message(
                    cellTextMessage(checkCellText(canonical), field->objectName().toStdString(), typed));
                field->setFocus();
                return;
            }
            field->setText(QString::fromStdString(canonical));
            cells[c - 2] = *cell;
        }
        accepted.push_back({job.chosenSheets.at(static_cast<size_t>(i - 1)), CellArea::between(cells[0], cells[1])});
    }
    for (const SheetJob& sheet : accepted) {
        if (rangeRunsBackwards(sheet.area.first(), sheet.area.last())) {
            const int row = static_cast<int>(&sheet - accepted.data()) + 1;
            context_.dialogs.message(backwardsRangeMessage(trimBlanks(sheet.worksheet),
                                                           trimBlanks(box(row, 2)->text().toStdString()),
                                                           trimBlanks(box(row, 3)->text().toStdString())));
            return;
        }
    }
    // An .xls summary ends at iv65536; the run would refuse such a range, so say it here.
    const SheetGrid grid = sheetGridOf(workbookFormatOf(context_.paths.summaryWorkbook()));
    for (const SheetJob& sheet : accepted) {
        if (sheet.area.validOn(grid)) continue;
        const int row = static_cast<int>(&sheet - accepted.data()) + 1;
        const bool firstBeyond = !CellArea::between(sheet.area.first(), sheet.area.first()).validOn(grid);
        context_.dialogs.message(rangeBeyondXlsMessage(trimBlanks(sheet.worksheet), sheet.area));
        box(row, firstBeyond ? 2 : 3)->setFocus();
        return;
    }
    job.rangeTable = std::move(accepted);
    rememberAcceptedJob(context_);

    context_.dialogs.message("请在左面列表框中选择汇表子文件！");
    if (context_.setHint) context_.setHint("通过单击鼠标并拖拉来实现对文件的选择,然后点击[开始汇表]!");
    job.jobReady = true;
    if (context_.jobChanged) context_.jobChanged();
    if (context_.poolList != nullptr) context_.poolList->setFocus();
    finished_ = true;
    close();
}

void RangeEntryWindow::leave(const char* hint) {
    if (context_.mainWindow != nullptr) context_.mainWindow->setEnabled(true);
    if (context_.setHint) context_.setHint(hint);
    finished_ = true;
}

void RangeEntryWindow::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (auto* focused = qobject_cast<QPushButton*>(focusWidget())) {
            focused->click();
        } else {
            okButton_->click();
        }
        return;
    case Qt::Key_Escape:
        cancelButton_->click();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void RangeEntryWindow::closeEvent(QCloseEvent* event) {
    // Unloading, however it happens: the close box counts as cancelling.
    if (!finished_) leave("欢迎使用数簿星");
    auto& hook = WheelHook::of(context_.mainWindow);
    if (hook.hookedWindow() == this) hook.remove();
    event->accept();
}

}  // namespace sbx
