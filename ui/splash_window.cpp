#include "ui/splash_window.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

#include "ui/window_placement.h"


namespace sbx {

namespace {

// Layout in twips, as the windows were designed; 15 twips make a pixel.
constexpr int px(int twips) { return twips / 15; }

QLabel* addLabel(QWidget* parent, const char* name, const char* text, QRect twips, int pointSize = 0,
                 bool bold = false) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setObjectName(QString::fromLatin1(name));
    label->setGeometry(px(twips.x()), px(twips.y()), px(twips.width()), px(twips.height()));
    if (pointSize > 0 || bold) {
        QFont font = label->font();
        if (pointSize > 0) font.setPointSize(pointSize);
        font.setBold(bold);
        label->setFont(font);
    }
    // A click on a label belongs to the label, not to the frame behind it.
    label->setAttribute(Qt::WA_NoMousePropagation);
    return label;
}

}  // namespace

QPixmap drawLogo(int size) {
    QPixmap logo(size, size);
    logo.fill(Qt::transparent);
    QPainter painter(&logo);
    paintLogo(painter, size);
    return logo;
}

void paintLogo(QPainter& painter, int size) {
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF box(1, 1, size - 2, size - 2);
    QLinearGradient ground(box.topLeft(), box.bottomRight());
    ground.setColorAt(0, QColor(40, 120, 70));
    ground.setColorAt(1, QColor(20, 70, 40));
    painter.setBrush(ground);
    painter.setPen(QPen(QColor(230, 200, 80), size / 24.0));
    painter.drawRoundedRect(box, size / 6.0, size / 6.0);
    // A small grid of cells, the star of the name above it.
    painter.setPen(QPen(QColor(230, 240, 230), size / 48.0));
    const double left = size * 0.2, top = size * 0.5, cell = size * 0.15;
    for (int i = 0; i <= 4; ++i) painter.drawLine(QPointF(left + i * cell, top), QPointF(left + i * cell, top + 2 * cell));
    for (int j = 0; j <= 2; ++j) painter.drawLine(QPointF(left, top + j * cell), QPointF(left + 4 * cell, top + j * cell));
    QFont font = painter.font();
    font.setPixelSize(size * 3 / 8);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(QColor(250, 220, 90));
    painter.drawText(QRectF(0, size * 0.08, size, size * 0.42), Qt::AlignCenter, QString::fromUtf8("★"));
}

SplashWindow::SplashWindow(bool& dismissedFlag, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint), dismissed_(dismissedFlag) {
    setObjectName("frmSplash");
    dismissed_ = false;
    setFixedSize(px(7380), px(4350));

    frame_ = new QFrame(this);
    frame_->setObjectName("Frame1");
    frame_->setFrameShape(QFrame::Box);
    frame_->setGeometry(px(150), px(60), px(7080), px(4150));
    frame_->setToolTip(QString::fromUtf8("在程序主介面空白地方，单击鼠标右键弹出帮助文档"));
    frame_->installEventFilter(this);

    auto* logo = new QLabel(frame_);
    logo->setObjectName("imgLogo");
    logo->setGeometry(px(510), px(795), px(1800), px(1800));
    logo->setPixmap(drawLogo(px(1800)));
    logo->setAttribute(Qt::WA_NoMousePropagation);

    addLabel(frame_, "lblCompanyProduct", "EXCEL数簿星", QRect(2505, 765, 4200, 600), 22, true);
    addLabel(frame_, "lblPlatform", "Windows 系列平台", QRect(3900, 1500, 3100, 420), 13, true);
    addLabel(frame_, "lblVersion", "1.04 测试版本", QRect(3900, 1950, 3100, 360), 11);
    addLabel(frame_, "lblCompany", "   Office  环境", QRect(3900, 2400, 3100, 360), 11);
    addLabel(frame_, "Label1", "智本无限", QRect(510, 240, 2000, 420), 13, true);
    addLabel(frame_, "Label3", "资本有限", QRect(5300, 240, 1600, 420), 13, true);
    addLabel(frame_, "Label2", "二○○四年十一月", QRect(3900, 2850, 3100, 360));
    auto* warning = addLabel(frame_, "lblWarning",
                             "        没有永恒的时代,只有永恒的历史;时代的更叠正如潮起潮落花开花谢!",
                             QRect(300, 3350, 6500, 600));
    warning->setWordWrap(true);
}

void SplashWindow::dismiss() {
    dismissed_ = true;
    close();
    emit dismissed();
}

void SplashWindow::keyPressEvent(QKeyEvent* event) {
    event->accept();
    dismiss();
}

bool SplashWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == frame_ && event->type() == QEvent::MouseButtonPress) {
        dismiss();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void showSplashAndWait(SplashWindow& splash, std::chrono::milliseconds limit) {
    placeOver(splash, nullptr);
    splash.show();
    splash.raise();
    splash.activateWindow();
    if (limit.count() > 0 && splash.isVisible()) {
        QEventLoop loop;
        QObject::connect(&splash, &SplashWindow::dismissed, &loop, &QEventLoop::quit);
        QElapsedTimer elapsed;  // monotonic
        elapsed.start();
        QTimer deadline;
        deadline.setSingleShot(true);
        QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
        deadline.start(static_cast<int>(limit.count()));
        // A timer may fire early on some platforms: wait out the rest.
        while (splash.isVisible() && elapsed.elapsed() < limit.count()) {
            loop.exec();
            if (splash.isVisible() && elapsed.elapsed() < limit.count()) {
                deadline.start(static_cast<int>(limit.count() - elapsed.elapsed()));
            }
        }
    }
    splash.close();
}

}  // namespace sbx
