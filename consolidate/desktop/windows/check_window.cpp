#include "consolidate/desktop/windows/check_window.h"

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

CheckWindow::CheckWindow(const CheckReport& report, QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("checkWindow"));
    setWindowTitle(QString::fromUtf8(check_text::kTitle));
    auto* layout = new QVBoxLayout(this);
    auto* intro = new QLabel(QString::fromUtf8(check_text::kIntro), this);
    intro->setWordWrap(true);
    layout->addWidget(intro);

    auto* list = new QTreeWidget(this);
    list->setObjectName(QStringLiteral("checkList"));
    list->setRootIsDecorated(false);
    list->setHeaderLabels({QString::fromUtf8(check_text::kFileColumn), QString::fromUtf8(check_text::kVerdictColumn),
                           QString::fromUtf8(check_text::kFindingColumn)});
    // The flagged files first, in pool order, then the others.
    for (const bool flagged : {true, false}) {
        for (const SourceCheck& source : report.sources) {
            if (source.flagged() != flagged) continue;
            auto* row = new QTreeWidgetItem(list, {qtText(utf8String(source.file.filename())),
                                                   qtText(check_text::verdict(source)),
                                                   qtText(check_text::firstFinding(source, report))});
            row->setToolTip(2, row->text(2));
        }
    }
    list->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
    list->header()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    list->header()->setStretchLastSection(true);
    layout->addWidget(list);
    if (const std::string note = check_text::unreadableNote(report); !note.empty()) {
        auto* unreadable = new QLabel(qtText(note), this);
        unreadable->setObjectName(QStringLiteral("unreadableNote"));
        unreadable->setWordWrap(true);
        layout->addWidget(unreadable);
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
    resize(720, 360);
}

void CheckWindow::choose(CheckChoice choice) {
    choice_ = choice;
    accept();
}

CheckChoice CheckWindow::ask(const CheckReport& report, QWidget* parent) {
    CheckWindow window(report, parent);
    window.exec();
    return window.choice();
}

}  // namespace sbx
