#include "consolidate/desktop/windows/mode_window.h"

#include <algorithm>
#include <exception>

#include <QShortcut>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

#include "consolidate/desktop/windows/run_presenter.h"
#include "ui/window_placement.h"

namespace sbx {

namespace {

constexpr int px(int twips) { return twips / 15; }
QRect twipsRect(int left, int top, int width, int height) { return {px(left), px(top), px(width), px(height)}; }

// The explanations break their lines with runs of blanks, counted for a font whose blank is
// half as wide as a Chinese character and a label 22 characters wide.
constexpr int kExplanationCharacters = 22;

QFont explanationFont(const QFont& base) {
    QFont font = base;
    font.setFamilies({QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("NSimSun"), QStringLiteral("SimSun")});
    font.setStyleHint(QFont::Monospace);
    return font;
}

QLabel* explanation(QWidget* parent, const char* name, const char* text, QPoint topLeft, int lines) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setFont(explanationFont(label->font()));
    const QFontMetrics metrics(label->font());
    const int width = metrics.horizontalAdvance(QString(kExplanationCharacters, QChar(0x4E2D))) + 2;
    label->setGeometry(QRect(topLeft, QSize(width, metrics.lineSpacing() * lines + 4)));
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QPushButton* modeButton(QWidget* parent, const char* name, const char* caption, const char* tip, QRect geometry) {
    auto* button = new QPushButton(QString::fromUtf8(caption), parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setToolTip(QString::fromUtf8(tip));
    button->setGeometry(geometry);
    return button;
}

}  // namespace

ModeWindow::ModeWindow(RunWindowContext context, QWidget* parent)
    : QWidget(parent, Qt::Window), context_(std::move(context)) {
    setObjectName("modfrm");
    setWindowTitle(QString::fromUtf8(mode_text::kCaption));
    setAttribute(Qt::WA_DeleteOnClose);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);
    setFixedSize(px(5400), px(4200));

    efficiencyButton_ = modeButton(this, "Command1", mode_text::kEfficiency, mode_text::kEfficiencyTip,
                           twipsRect(600, 300, 1800, 600));
    functionButton_ = modeButton(this, "Command2", mode_text::kFunction, mode_text::kFunctionTip,
                           twipsRect(3000, 300, 1800, 600));
    auto* frame = new QGroupBox(this);
    frame->setObjectName("Frame1");
    frame->setGeometry(twipsRect(240, 1140, 4920, 2820));
    QLabel* efficiencyLabel =
        explanation(frame, "Label2", mode_text::kEfficiencyExplained, QPoint(px(150), px(300)), 3);
    QLabel* functionLabel = explanation(frame, "Label1", mode_text::kFunctionExplained,
                                        efficiencyLabel->geometry().bottomLeft() + QPoint(0, px(300)), 2);
    // The window grows where the font is wider than the design's.
    const int frameWidth = std::max(frame->width(), efficiencyLabel->geometry().right() + px(150));
    const int frameHeight = std::max(frame->height(), functionLabel->geometry().bottom() + px(240));
    frame->resize(frameWidth, frameHeight);
    setFixedSize(std::max(width(), frame->geometry().right() + px(240)),
                 std::max(height(), frame->geometry().bottom() + px(240)));

    connect(efficiencyButton_, &QPushButton::clicked, this, &ModeWindow::runEfficiency);
    connect(functionButton_, &QPushButton::clicked, this, &ModeWindow::runFunction);
    applyEfficiencyBlock();
}

void ModeWindow::applyEfficiencyBlock() { efficiencyButton_->setEnabled(!context_.job.efficiencyBlocked); }

void ModeWindow::runEfficiency() { runMode(Mode::Efficiency); }

void ModeWindow::runFunction() { runMode(Mode::Function); }

void ModeWindow::runMode(Mode mode) {
    QWidget* main = context_.mainWindow;
    try {
        RunPresenter presenter(context_);
        if (!presenter.confirm(mode)) {
            close();
            main->activateWindow();
            return;
        }
        hide();
        // The run shows itself in the main window; the focus moves there with it.
        main->activateWindow();
        presenter.run(mode);
    } catch (const std::exception& e) {
        // The runs report their own failures; this is a fault of the windows around them.
        qWarning("the consolidation run ended abnormally: %s", e.what());
    }
    applyEfficiencyBlock();
    close();
}

ModeWindow* openModeWindow(const RunWindowContext& context) {
    // By type: the window is a child of the main window, whatever its object name.
    for (auto* open : context.mainWindow->findChildren<ModeWindow*>(Qt::FindDirectChildrenOnly)) {
        if (open->isVisible()) {
            open->applyEfficiencyBlock();
            open->raise();
            open->activateWindow();
            return open;
        }
    }
    auto* window = new ModeWindow(context, context.mainWindow);
    placeOver(*window, context.mainWindow);
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace sbx
