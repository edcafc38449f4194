#include "consolidate/desktop/windows/check_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "consolidate/check/check_texts.h"
#include "consolidate/desktop/windows/qt_text.h"
#include "spreadsheet/utf8_path.h"

namespace sbx {

CheckWindow::CheckWindow(const CheckReport& report, QWidget* parent, Recheck recheck, bool aligned)
    : QDialog(parent), recheck_(std::move(recheck)) {
    setObjectName(QStringLiteral("checkWindow"));
    setWindowTitle(QString::fromUtf8(check_text::kTitle));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QString::fromUtf8(check_text::kIntro), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    list_ = new QTreeWidget(this);
    list_->setObjectName(QStringLiteral("checkList"));
    list_->setRootIsDecorated(false);
    list_->setHeaderLabels({QString::fromUtf8(check_text::kFileColumn), QString::fromUtf8(check_text::kVerdictColumn),
                            QString::fromUtf8(check_text::kFindingColumn)});
    list_->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list_->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list_->header()->setStretchLastSection(true);
    layout->addWidget(list_);
    unreadable_ = new QLabel(this);
    unreadable_->setObjectName(QStringLiteral("unreadableNote"));
    unreadable_->setWordWrap(true);
    layout->addWidget(unreadable_);

    if (recheck_) {
        auto* align = new QCheckBox(QString::fromUtf8(check_text::kAlignLabels), this);
        align->setObjectName(QStringLiteral("alignLabelsBox"));
        align->setToolTip(QString::fromUtf8(check_text::kAlignLabelsTip));
        align->setChecked(aligned);
        connect(align, &QCheckBox::toggled, this, [this](bool on) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            const CheckReport& again = recheck_(on);
            QApplication::restoreOverrideCursor();
            fill(again);
        });
        layout->addWidget(align);
    }

    auto* buttons = new QDialogButtonBox(this);
    auto* includeAll = buttons->addButton(QString::fromUtf8(check_text::kIncludeAll), QDialogButtonBox::AcceptRole);
    auto* skip = buttons->addButton(QString::fromUtf8(check_text::kSkipFlagged), QDialogButtonBox::AcceptRole);
    auto* cancel = buttons->addButton(QString::fromUtf8(check_text::kCancel), QDialogButtonBox::RejectRole);
    includeAll->setObjectName(QStringLiteral("includeAllButton"));
    skip->setObjectName(QStringLiteral("skipFlaggedButton"));
    cancel->setObjectName(QStringLiteral("cancelButton"));
    // Enter must not decide which units the total covers: it cancels, unless the user has
    // moved the focus to one of the other buttons.
    cancel->setDefault(true);
    connect(includeAll, &QPushButton::clicked, this, [this] { choose(CheckChoice::IncludeAll); });
    connect(skip, &QPushButton::clicked, this, [this] { choose(CheckChoice::SkipFlagged); });
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(buttons);
    fill(report);
    resize(720, 360);
}

void CheckWindow::fill(const CheckReport& report) {
    list_->clear();
    // The flagged files first, in pool order, then the others.
    for (const bool flagged : {true, false}) {
        for (const SourceCheck& source : report.sources) {
            if (source.flagged() != flagged) continue;
            auto* row = new QTreeWidgetItem(list_, {qtText(utf8String(source.file.filename())),
                                                    qtText(check_text::verdict(source)),
                                                    qtText(check_text::firstFinding(source, report))});
            row->setToolTip(2, row->text(2));
        }
    }
    const std::string note = check_text::unreadableNote(report);
    unreadable_->setText(qtText(note));
    unreadable_->setVisible(!note.empty());
}

void CheckWindow::choose(CheckChoice choice) {
    choice_ = choice;
    accept();
}

CheckChoice CheckWindow::ask(const CheckReport& report, QWidget* parent, const Recheck& recheck) {
    CheckWindow window(report, parent, recheck);
    window.exec();
    return window.choice();
}

}  // namespace sbx
