#include "controls/ControlPainting.h"

#include <QImage>
#include <QPainter>
#include <QPainterPath>

namespace ControlPainting {

namespace {

int step(int from, int to, int k, int n) {
    return from + (to - from) * k / n;
}

} // namespace

void fillGradient(QPainter& painter, const QRect& rect, const QColor& from, const QColor& to,
                  Qt::Orientation along) {
    const int lines = along == Qt::Vertical ? rect.height() : rect.width();
    for (int k = 0; k < lines; ++k) {
        const QColor colour(step(from.red(), to.red(), k, lines),
                            step(from.green(), to.green(), k, lines),
                            step(from.blue(), to.blue(), k, lines));
        if (along == Qt::Vertical) {
            painter.fillRect(rect.left(), rect.top() + k, rect.width(), 1, colour);
        } else {
            painter.fillRect(rect.left() + k, rect.top(), 1, rect.height(), colour);
        }
    }
}

QBitmap outlineMask(const QSize& size, const QPainterPath& outline) {
    QBitmap mask(size);
    mask.fill(Qt::color0);
    QPainter painter(&mask);
    painter.setPen(QPen(Qt::color1, 1));
    painter.setBrush(Qt::color1);
    painter.drawPath(outline);
    return mask;
}

QPixmap greyed(const QPixmap& picture) {
    QImage image = picture.toImage().convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const int grey = qGray(line[x]);
            line[x] = qRgba(grey, grey, grey, qAlpha(line[x]));
        }
    }
    return QPixmap::fromImage(image);
}

} // namespace ControlPainting
