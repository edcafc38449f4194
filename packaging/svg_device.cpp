#include "packaging/svg_device.h"

#include <QLinearGradient>
#include <QPainterPath>
#include <QTextStream>

#include <cmath>

namespace sbx::packaging {

namespace {

QString number(double value) { return QString::number(value, 'g', 7); }

QString colour(const QColor& c) { return c.name(QColor::HexRgb); }

// Subpaths that end where they began are closed, so that strokes join at that corner.
QString pathData(const QPainterPath& path) {
    QString d;
    QTextStream out(&d);
    QPointF start, last;
    const auto closeIfBack = [&] {
        if (!d.isEmpty() && last == start) out << "Z ";
    };
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        if (e.isMoveTo()) {
            closeIfBack();
            out << 'M' << number(e.x) << ' ' << number(e.y) << ' ';
            start = last = QPointF(e.x, e.y);
            continue;
        }
        last = QPointF(e.x, e.y);
        if (e.isLineTo()) {
            out << 'L' << number(e.x) << ' ' << number(e.y) << ' ';
        } else if (e.isCurveTo() && i + 2 < path.elementCount()) {
            const QPainterPath::Element c2 = path.elementAt(i + 1), end = path.elementAt(i + 2);
            out << 'C' << number(e.x) << ' ' << number(e.y) << ' ' << number(c2.x) << ' ' << number(c2.y) << ' '
                << number(end.x) << ' ' << number(end.y) << ' ';
            last = QPointF(end.x, end.y);
            i += 2;
        }
    }
    closeIfBack();
    return d.trimmed();
}

}  // namespace

class SvgEngine final : public QPaintEngine {
public:
    SvgEngine() : QPaintEngine(AllFeatures) {}

    bool begin(QPaintDevice*) override { return true; }
    bool end() override { return true; }
    Type type() const override { return User; }

    void updateState(const QPaintEngineState& changed) override {
        if (changed.state() & DirtyPen) pen_ = changed.pen();
        if (changed.state() & DirtyBrush) brush_ = changed.brush();
        if (changed.state() & DirtyTransform) transform_ = changed.transform();
    }

    void drawPath(const QPainterPath& path) override { shape(path, true); }
    void drawPolygon(const QPointF* points, int count, PolygonDrawMode mode) override {
        QPainterPath path;
        if (count == 0) return;
        path.moveTo(points[0]);
        for (int i = 1; i < count; ++i) path.lineTo(points[i]);
        if (mode != PolylineMode) path.closeSubpath();
        path.setFillRule(mode == WindingMode ? Qt::WindingFill : Qt::OddEvenFill);
        shape(path, mode != PolylineMode);
    }
    void drawLines(const QLineF* lines, int count) override {
        QPainterPath path;
        for (int i = 0; i < count; ++i) {
            path.moveTo(lines[i].p1());
            path.lineTo(lines[i].p2());
        }
        shape(path, false);
    }
    void drawRects(const QRectF* rects, int count) override {
        for (int i = 0; i < count; ++i) {
            QPainterPath path;
            path.addRect(rects[i]);
            shape(path, true);
        }
    }
    void drawEllipse(const QRectF& rect) override {
        QPainterPath path;
        path.addEllipse(rect);
        shape(path, true);
    }
    // Pictures are not part of the logo.
    void drawPixmap(const QRectF&, const QPixmap&, const QRectF&) override {}

    QString body() const { return definitions_.isEmpty() ? shapes_ : "<defs>\n" + definitions_ + "</defs>\n" + shapes_; }

private:
    QString fill(bool filled) {
        if (!filled || brush_.style() == Qt::NoBrush) return QStringLiteral("fill=\"none\"");
        if (brush_.style() == Qt::LinearGradientPattern) {
            const auto* g = static_cast<const QLinearGradient*>(brush_.gradient());
            const QString id = QStringLiteral("g%1").arg(++gradients_);
            const QPointF a = transform_.map(g->start()), b = transform_.map(g->finalStop());
            definitions_ += QStringLiteral("<linearGradient id=\"%1\" gradientUnits=\"userSpaceOnUse\" x1=\"%2\" y1=\"%3\" "
                                           "x2=\"%4\" y2=\"%5\">\n")
                                .arg(id, number(a.x()), number(a.y()), number(b.x()), number(b.y()));
            for (const auto& [at, c] : g->stops()) {
                definitions_ += QStringLiteral("<stop offset=\"%1\" stop-color=\"%2\" stop-opacity=\"%3\"/>\n")
                                    .arg(number(at), colour(c), number(c.alphaF()));
            }
            definitions_ += QStringLiteral("</linearGradient>\n");
            return QStringLiteral("fill=\"url(#%1)\"").arg(id);
        }
        const QColor c = brush_.color();
        return QStringLiteral("fill=\"%1\" fill-opacity=\"%2\"").arg(colour(c), number(c.alphaF()));
    }

    QString stroke() const {
        if (pen_.style() == Qt::NoPen) return QStringLiteral("stroke=\"none\"");
        // Widths scale with the painter's transformation (uniform scaling is all the logo uses).
        const double scale = std::sqrt(std::abs(transform_.determinant()));
        const double width = (pen_.widthF() > 0 ? pen_.widthF() : 1.0) * (pen_.isCosmetic() ? 1.0 : scale);
        const char* cap = pen_.capStyle() == Qt::FlatCap ? "butt" : pen_.capStyle() == Qt::RoundCap ? "round" : "square";
        const char* join = pen_.joinStyle() == Qt::RoundJoin ? "round" : pen_.joinStyle() == Qt::MiterJoin ? "miter" : "bevel";
        const QColor c = pen_.color();
        return QStringLiteral("stroke=\"%1\" stroke-opacity=\"%2\" stroke-width=\"%3\" stroke-linecap=\"%4\" "
                              "stroke-linejoin=\"%5\"")
            .arg(colour(c), number(c.alphaF()), number(width), QLatin1String(cap), QLatin1String(join));
    }

    void shape(const QPainterPath& path, bool filled) {
        const QPainterPath mapped = transform_.map(path);
        if (mapped.isEmpty()) return;
        const char* rule = mapped.fillRule() == Qt::WindingFill ? "nonzero" : "evenodd";
        shapes_ += QStringLiteral("<path d=\"%1\" fill-rule=\"%2\" %3 %4/>\n")
                       .arg(pathData(mapped), QLatin1String(rule), fill(filled), stroke());
    }

    QPen pen_;
    QBrush brush_;
    QTransform transform_;
    QString definitions_;
    QString shapes_;
    int gradients_ = 0;
};

SvgDevice::SvgDevice(int size) : size_(size), engine_(std::make_unique<SvgEngine>()) {}
SvgDevice::~SvgDevice() = default;

QPaintEngine* SvgDevice::paintEngine() const { return engine_.get(); }

QString SvgDevice::document() const {
    return QStringLiteral("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%1\" height=\"%1\" viewBox=\"0 0 %1 %1\">\n")
               .arg(size_) +
           engine_->body() + QStringLiteral("</svg>\n");
}

int SvgDevice::metric(PaintDeviceMetric metric) const {
    switch (metric) {
    case PdmWidth:
    case PdmHeight:
        return size_;
    case PdmWidthMM:
    case PdmHeightMM:
        return size_ * 254 / 960;  // at 96 dots per inch
    case PdmNumColors:
        return 0x7fffffff;
    case PdmDepth:
        return 32;
    case PdmDpiX:
    case PdmDpiY:
    case PdmPhysicalDpiX:
    case PdmPhysicalDpiY:
        return 96;
    case PdmDevicePixelRatio:
        return 1;
    case PdmDevicePixelRatioScaled:
        return static_cast<int>(devicePixelRatioFScale());
    default:
        return 0;
    }
}

}  // namespace sbx::packaging
