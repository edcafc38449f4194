#pragma once
// A window laid out in fixed positions that the user may still enlarge: the geometry each
// named control had at the designed size is kept, and on every resize each is stretched in
// proportion, so that lists, frames and boxes follow the window's edges. What holds one line
// of text grows only a little (kOneLineGrowth) and stays centred in its stretched place: a
// maximised window keeps buttons and one-line boxes at a size made for a hand and an eye.
#include <QPointer>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace sbx {

// How much larger than designed a button may grow (both ways), and a one-line box in height.
inline constexpr double kOneLineGrowth = 1.25;

class ProportionalGeometry {
public:
    // Takes the current layout of `window`'s named controls (Qt's own inner widgets are left
    // to their owners) as the design for its current size.
    explicit ProportionalGeometry(QWidget& window);

    // Lays the controls out for the window at `size`.
    void apply(const QSize& size) const;

    QSize designSize() const { return design_; }

private:
    enum class Growth { Stretch, KeepHeight, KeepSize };
    struct Placed {
        QPointer<QWidget> widget;
        QRect designed;
        Growth growth;
    };
    QSize design_;
    std::vector<Placed> placed_;
};

}  // namespace sbx
