#include "ui/pool_list_drops.h"

#include <QDropEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QUrl>

#include "spreadsheet/utf8_path.h"
#include "workspace/drop_intake.h"
#include "workspace/intake.h"

namespace sbx {

namespace {

std::vector<std::filesystem::path> localFiles(const QMimeData* data) {
    std::vector<std::filesystem::path> files;
    if (data == nullptr || !data->hasUrls()) return files;
    for (const QUrl& url : data->urls()) {
        if (url.isLocalFile()) files.push_back(utf8Path(url.toLocalFile().toUtf8().toStdString()));
    }
    return files;
}

class PoolListDropTarget final : public QObject {
public:
    PoolListDropTarget(const PoolWindowContext& context, QObject* parent) : QObject(parent), context_(context) {}

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        switch (event->type()) {
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDropEvent*>(event);
                if (localFiles(drag->mimeData()).empty()) {
                    drag->ignore();
                } else {
                    drag->setDropAction(Qt::CopyAction);
                    drag->accept();
                }
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                std::vector<std::filesystem::path> files = localFiles(drop->mimeData());
                if (files.empty()) {
                    drop->ignore();
                    return true;
                }
                drop->setDropAction(Qt::CopyAction);
                drop->accept();
                QMetaObject::invokeMethod(this, [this, files] { takeIn(files); }, Qt::QueuedConnection);
                return true;
            }
            case QEvent::Paint: {
                // An empty list says what it takes.
                if (context_.poolList->count() != 0) return false;
                QWidget* viewport = context_.poolList->viewport();
                QPainter painter(viewport);
                painter.fillRect(viewport->rect(), viewport->palette().base());
                painter.setPen(viewport->palette().color(QPalette::PlaceholderText));
                painter.drawText(viewport->rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap,
                                 QString::fromUtf8(kEmptyPoolListText));
                return true;
            }
            default:
                return false;
        }
    }

private:
    void takeIn(const std::vector<std::filesystem::path>& files) {
        ListWidgetPoolList list(*context_.poolList);
        const DropIntake intake = takeInDropped(context_.paths, context_.dialogs, list, files,
                                                  IntakeTools{copyFileContents, screenOn(context_.makeHost)});
        if (!intake.taken.empty() && context_.setHint) context_.setHint(intake_text::kNextStepHint);
        if (!intake.taken.empty() && context_.summaryReplaced) context_.summaryReplaced();
        if (context_.refreshCounts) context_.refreshCounts();
        if (context_.poolList->count() != 0 && context_.jobSetupButton != nullptr) context_.jobSetupButton->setEnabled(true);
    }

    PoolWindowContext context_;
};

}  // namespace

void acceptPoolListDrops(const PoolWindowContext& context) {
    QWidget* viewport = context.poolList->viewport();
    viewport->setAcceptDrops(true);
    viewport->installEventFilter(new PoolListDropTarget(context, context.poolList));
}

}  // namespace sbx
