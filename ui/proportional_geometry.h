#pragma once
// A window laid out in fixed positions that the user may still enlarge: the geometry each
// named control had at the designed size is kept, and on every resize each is stretched in
// proportion, so that lists, buttons and boxes follow the window's edges.
#include <QPointer>
#include <QRect>
#include <QSize>
#include <vector>

class QWidget;

namespace sbx {

class ProportionalGeometry {
public:
    // Takes the current layout of `window`'s named controls (Qt's own inner widgets are left
    // to their owners) as the design for its current size.
    explicit ProportionalGeometry(QWidget& window);

    // Lays the controls out for the window at `size`.
    void apply(const QSize& size) const;

    QSize designSize() const { return design_; }

private:
    struct Placed {
        QPointer<QWidget> widget;
        QRect designed;
    };
    QSize design_;
    std::vector<Placed> placed_;
};

}  // namespace sbx
