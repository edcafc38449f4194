#pragma once
// frmSplash: the window shown while the program starts. A key press, or a click on its frame
// (not on a label or the picture), dismisses it and ends the start-up wait.
#include <chrono>

#include <QPixmap>
#include <QWidget>

class QFrame;
class QPainter;

namespace sbx {

// The program's logo, drawn (no image files to ship): used by the splash and the main window,
// and painted on any device (the installed icons) by paintLogo, in a square of `size`.
QPixmap drawLogo(int size);
void paintLogo(QPainter& painter, int size);

class SplashWindow : public QWidget {
    Q_OBJECT
public:
    // Sets `dismissedFlag` (the job's splashDismissed) to false; a dismissal sets it to true.
    explicit SplashWindow(bool& dismissedFlag, QWidget* parent = nullptr);

signals:
    void dismissed();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void dismiss();

    bool& dismissed_;
    QFrame* frame_ = nullptr;
};

// Shows the splash, keeps the event loop running until it is dismissed or `limit` has passed
// (a monotonic clock: midnight does not matter), then closes it. A zero limit skips the wait.
void showSplashAndWait(SplashWindow& splash, std::chrono::milliseconds limit);

}  // namespace sbx
