// quillon-render-icons SVG OUTDIR: renders the program's icon from its SVG
// source into OUTDIR/quillon-<size>.png for every size the desktop asks for.
// The PNGs are kept in the source tree, so a build needs no SVG renderer; run
// this (the `quillon_icons` target) after changing the SVG.
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>
#include <cstdio>

#include "ui/qt/icon_sizes.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: quillon-render-icons SVG OUTDIR\n");
        return 2;
    }
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QSvgRenderer svg(QString::fromLocal8Bit(argv[1]));
    if (!svg.isValid()) {
        std::fprintf(stderr, "quillon-render-icons: %s is not a usable SVG file\n", argv[1]);
        return 1;
    }
    for (const int size : ui::qt::kIconSizes) {
        QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        svg.render(&painter);
        painter.end();
        const QString out =
            QString::fromLocal8Bit(argv[2]) + QStringLiteral("/quillon-%1.png").arg(size);
        if (!image.save(out)) {
            std::fprintf(stderr, "quillon-render-icons: cannot write %s\n", qPrintable(out));
            return 1;
        }
    }
    return 0;
}
