// shubuxing-icons: renders the program's logo, as the splash window draws it, to the icons
// that are installed with the program: PNG files of 48, 64, 128 and 256 pixels and an SVG.
// Run at build time on the offscreen platform plugin.
//
// usage: shubuxing-icons OUTPUT_DIR  (writes OUTPUT_DIR/<size>/shubuxing.png and shubuxing.svg)
#include <iostream>

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include "packaging/svg_device.h"
#include "ui/splash_window.h"

int main(int argc, char* argv[]) {
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::cerr << "usage: shubuxing-icons OUTPUT_DIR\n";
        return 2;
    }
    const QDir out(QString::fromLocal8Bit(argv[1]));
    for (int size : {48, 64, 128, 256}) {
        QImage icon(size, size, QImage::Format_ARGB32_Premultiplied);
        icon.fill(Qt::transparent);
        {
            QPainter painter(&icon);
            sbx::paintLogo(painter, size);
        }
        const QString folder = QString::number(size);
        const QString file = out.filePath(folder + QStringLiteral("/shubuxing.png"));
        if (!out.mkpath(folder) || !icon.save(file, "PNG")) {
            std::cerr << "shubuxing-icons: cannot write " << file.toStdString() << '\n';
            return 1;
        }
    }
    sbx::packaging::SvgDevice svg(256);
    {
        QPainter painter(&svg);
        sbx::paintLogo(painter, 256);
    }
    QFile file(out.filePath(QStringLiteral("shubuxing.svg")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(svg.document().toUtf8()) < 0) {
        std::cerr << "shubuxing-icons: cannot write " << file.fileName().toStdString() << ": "
                  << file.errorString().toStdString() << '\n';
        return 1;
    }
    return 0;
}
