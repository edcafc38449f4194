#include "ui/help_window.h"

#include <QShortcut>
#include <QFontDatabase>
#include <QLabel>
#include <QPushButton>

#include "ui/open_windows.h"
#include "workspace/working_folder_text.h"

namespace sbx {

namespace {

// A font whose ideographs are exactly two blanks wide, so the blank runs line the text up
// as designed.
QFont guideFont() {
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setFamilies({QStringLiteral("Noto Sans Mono CJK SC"), QStringLiteral("NSimSun"),
                      QStringLiteral("Sarasa Mono SC"), font.family()});
    font.setPixelSize(13);
    return font;
}

}  // namespace

QString guideText(const WorkspacePaths& paths) {
    const std::string guide = namingWorkingFolder(kGuideText, paths);
    QString shown = QString::fromStdString(guide);
    if (guide != kGuideText) {
        const qsizetype next = shown.indexOf(QString::fromUtf8("三、"));
        if (next >= 0) shown.insert(next, QString(kGuideLineBlanks, QLatin1Char(' ')));
    }
    return shown;
}

HelpWindow::HelpWindow(const WorkspacePaths& paths, QWidget* parent) : QWidget(parent, Qt::Window) {
    setObjectName("help_u");
    setWindowTitle(QString::fromUtf8("系统上手指南"));
    setAttribute(Qt::WA_DeleteOnClose);
    connect(new QShortcut(QKeySequence(Qt::Key_Escape), this), &QShortcut::activated, this, &QWidget::close);

    guideLabel_ = new QLabel(guideText(paths), this);
    guideLabel_->setObjectName("Label1");
    guideLabel_->setToolTip(QString::fromUtf8("详细内容请参见<操作指南>"));
    guideLabel_->setTextFormat(Qt::PlainText);
    guideLabel_->setWordWrap(true);
    guideLabel_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    guideLabel_->setFont(guideFont());
    guideLabel_->setMargin(0);
    guideLabel_->setIndent(0);
    const QFontMetricsF metrics(guideLabel_->font());
    // Half a blank to spare, so rounding never takes a whole blank from a line.
    const int width = static_cast<int>(metrics.horizontalAdvance(QLatin1Char(' ')) * (kGuideLineBlanks + 0.5));
    const int height = guideLabel_->heightForWidth(width);
    constexpr int margin = 16;
    guideLabel_->setGeometry(margin, margin, width, height);

    auto* okButton = new QPushButton(QString::fromUtf8("确  定"), this);
    okButton->setObjectName("Command1");
    okButton->setGeometry(margin + width - 100, margin * 2 + height, 100, 30);
    connect(okButton, &QPushButton::clicked, this, &QWidget::close);

    setFixedSize(width + 2 * margin, height + 3 * margin + 30);
}

HelpWindow* openHelpWindow(QWidget* owner, const WorkspacePaths& paths) {
    return showCompanionWindowOnce<HelpWindow>(owner, [&] { return new HelpWindow(paths); });
}

}  // namespace sbx
