#include "ui/proportional_geometry.h"

#include <QWidget>
#include <cmath>

namespace sbx {

ProportionalGeometry::ProportionalGeometry(QWidget& window) : design_(window.size()) {
    for (QWidget* child : window.findChildren<QWidget*>()) {
        const QString name = child->objectName();
        if (child->isWindow() || name.isEmpty() || name.startsWith(QLatin1String("qt_"))) continue;
        placed_.push_back({child, child->geometry()});
    }
}

void ProportionalGeometry::apply(const QSize& size) const {
    if (design_.isEmpty()) return;
    const double fx = static_cast<double>(size.width()) / design_.width();
    const double fy = static_cast<double>(size.height()) / design_.height();
    // Both edges are scaled and rounded, so neighbours that touched in the design still touch.
    const auto x = [fx](int value) { return static_cast<int>(std::lround(value * fx)); };
    const auto y = [fy](int value) { return static_cast<int>(std::lround(value * fy)); };
    for (const Placed& placed : placed_) {
        if (placed.widget.isNull()) continue;
        const QRect& r = placed.designed;
        const int left = x(r.left());
        const int top = y(r.top());
        placed.widget->setGeometry(left, top, x(r.left() + r.width()) - left, y(r.top() + r.height()) - top);
    }
}

}  // namespace sbx
