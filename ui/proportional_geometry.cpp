#include "ui/proportional_geometry.h"

#include <QAbstractButton>
#include <QLineEdit>
#include <QWidget>
#include <algorithm>
#include <cmath>

namespace sbx {

ProportionalGeometry::ProportionalGeometry(QWidget& window) : design_(window.size()) {
    for (QWidget* child : window.findChildren<QWidget*>()) {
        const QString name = child->objectName();
        if (child->isWindow() || name.isEmpty() || name.startsWith(QLatin1String("qt_"))) continue;
        const Growth growth = qobject_cast<QAbstractButton*>(child) ? Growth::KeepSize
                              : qobject_cast<QLineEdit*>(child)    ? Growth::KeepHeight
                                                                   : Growth::Stretch;
        placed_.push_back({child, child->geometry(), growth});
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
        QRect stretched(left, top, x(r.left() + r.width()) - left, y(r.top() + r.height()) - top);
        if (placed.growth != Growth::Stretch) {
            const auto limit = [](int designed, int scaled) {
                return std::min(scaled, static_cast<int>(std::lround(designed * kOneLineGrowth)));
            };
            const QPoint centre = stretched.center();
            const int width = placed.growth == Growth::KeepSize ? limit(r.width(), stretched.width()) : stretched.width();
            stretched.setSize({width, limit(r.height(), stretched.height())});
            stretched.moveCenter(centre);
        }
        placed.widget->setGeometry(stretched);
    }
}

}  // namespace sbx
