#pragma once
// A paint device that records what a QPainter draws as SVG shapes: paths with solid or linear
// gradient fills and plain strokes. Text arrives as glyph outlines, so the picture needs no
// fonts where it is shown. Enough for the logo; images and patterns are not kept.
#include <QPaintDevice>
#include <QPaintEngine>
#include <QString>

#include <memory>

namespace sbx::packaging {

class SvgEngine;

class SvgDevice final : public QPaintDevice {
public:
    explicit SvgDevice(int size);
    ~SvgDevice() override;

    QPaintEngine* paintEngine() const override;
    // The whole document; call after the painter has ended.
    QString document() const;

protected:
    int metric(PaintDeviceMetric metric) const override;

private:
    int size_;
    std::unique_ptr<SvgEngine> engine_;
};

}  // namespace sbx::packaging
