#include "controls/XPFrame.h"

#include "controls/ControlAccessibility.h"
#include "controls/ControlError.h"
#include "controls/ControlProperties.h"
#include "controls/DevicePixels.h"
#include "controls/InputCodes.h"
#include "controls/XPFrameLook.h"

#include <QApplication>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <utility>

namespace {

using InputCodes::buttonCode;
using InputCodes::shiftCode;

XPFrame::IconLoader& iconLoader() {
    static XPFrame::IconLoader loader;
    return loader;
}

bool isNoIcon(const QVariant& id) {
    const QString text = id.toString();
    return !id.isValid() || text.isEmpty() || text == QStringLiteral("0");
}

QImage loadIcon(const QVariant& id) {
    if (iconLoader()) {
        return iconLoader()(id);
    }
    return QImage(QStringLiteral(":/frame-icons/%1").arg(id.toString()));
}

QRgb opaque(WinColor::Value c) {
    return qRgb(WinColor::Red(c), WinColor::Green(c), WinColor::Blue(c));
}

// Paints a gradient over the top-left width × height device pixels of the image.
void fillGradient(QImage& image, int width, int height, WinColor::Value first,
                  WinColor::Value second, int degrees) {
    const XPFrameLook::Gradient gradient(width, height, first, second, degrees);
    if (gradient.lineCount() == 0) {
        return;
    }
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            line[x] = opaque(gradient.colourAt(x, y));
        }
    }
}

} // namespace

XPFrame::IconLoader XPFrame::SetIconLoader(IconLoader loader) {
    return std::exchange(iconLoader(), std::move(loader));
}

XPFrame::XPFrame(QWidget* parent) : QWidget(parent) {
    ControlAccessibility::setRole(*this, QAccessible::Grouping);
    setAccessibleName(m_Caption);
    resize(sizeHint());
}

template <typename T> void XPFrame::store(T& member, const T& value, const char* name) {
    member = value;
    emit propertyChanged(QString::fromLatin1(name));
    update();
}

void XPFrame::setHeaderAngle(int degrees) {
    store(m_HeaderAngle, degrees, "HeaderAngle");
}

void XPFrame::setBackAngle(int degrees) {
    store(m_BackAngle, degrees, "BackAngle");
}

void XPFrame::setHeaderLightColor(WinColor::Value colour) {
    store(m_HeaderLightColor, colour, "HeaderLightColor");
}

void XPFrame::setHeaderDarkColor(WinColor::Value colour) {
    store(m_HeaderDarkColor, colour, "HeaderDarkColor");
}

void XPFrame::setBackLightColor(WinColor::Value colour) {
    store(m_BackLightColor, colour, "BackLightColor");
}

void XPFrame::setBackDarkColor(WinColor::Value colour) {
    store(m_BackDarkColor, colour, "BackDarkColor");
}

void XPFrame::setBorderColor(WinColor::Value colour) {
    store(m_BorderColor, colour, "BorderColor");
}

void XPFrame::setTextColor(WinColor::Value colour) {
    store(m_TextColor, colour, "TextColor");
}

void XPFrame::setCaption(const QString& caption) {
    setAccessibleName(caption);
    store(m_Caption, caption, "Caption");
}

void XPFrame::setStyle(int style) {
    store(m_Style, style, "Style");
}

void XPFrame::setCaptionAlignment(int alignment) {
    store(m_CaptionAlignment, alignment, "CaptionAlignment");
}

void XPFrame::setHeaderHeight(int pixels) {
    store(m_HeaderHeight, pixels, "HeaderHeight");
}

void XPFrame::setCurvature(int pixels) {
    store(m_Curvature, pixels, "Curvature");
    updateMask();
}

void XPFrame::setIconResID(const QVariant& id) {
    if (isNoIcon(id)) {
        m_icon = QImage();
    } else {
        QImage loaded = loadIcon(id);
        if (loaded.isNull()) {
            throw ControlError(IconNotFound, IconNotFoundText);
        }
        m_icon = std::move(loaded);
    }
    store(m_IconResID, id, "IconResID");
}

namespace {

QVariantMap defaultProperties(const QWidget& frame) {
    const QWidget* host = frame.parentWidget();
    return {
        {QStringLiteral("HeaderAngle"), 180},
        {QStringLiteral("BackAngle"), 180},
        {QStringLiteral("HeaderLightColor"), WinColor::Rgb(211, 224, 247)},
        {QStringLiteral("HeaderDarkColor"), WinColor::Rgb(167, 197, 237)},
        {QStringLiteral("BackLightColor"), WinColor::Rgb(239, 244, 252)},
        {QStringLiteral("BackDarkColor"), WinColor::Rgb(220, 231, 250)},
        {QStringLiteral("BorderColor"), WinColor::Rgb(173, 193, 220)},
        {QStringLiteral("TextColor"), WinColor::Rgb(2, 45, 123)},
        {QStringLiteral("Caption"), QStringLiteral("XPFrame")},
        {QStringLiteral("Style"), 0},
        {QStringLiteral("CaptionAlignment"), 0},
        {QStringLiteral("HeaderHeight"), 25},
        {QStringLiteral("HeaderFont"), host != nullptr ? host->font() : QApplication::font()},
        {QStringLiteral("Curvature"), 10},
        {QStringLiteral("IconResID"), 0},
    };
}

} // namespace

QVariantMap XPFrame::writeProperties() const {
    return ControlProperties::write(*this, defaultProperties(*this));
}

void XPFrame::readProperties(const QVariantMap& values) {
    // IconResID comes last, so a missing icon leaves every other property loaded.
    ControlProperties::read(*this, values, defaultProperties(*this));
    setAccessibleName(m_Caption);
    updateMask();
    update();
}

void XPFrame::DrawGradient(QPainter& painter, int width, int height, WinColor::Value first,
                           WinColor::Value second, int degrees) const {
    const double ratio = painter.device()->devicePixelRatioF();
    const int w = DevicePixels::edge(width, ratio);
    const int h = DevicePixels::edge(height, ratio);
    if (w < 2 || h < 2) {
        return;
    }
    QImage image(w, h, QImage::Format_RGB32);
    fillGradient(image, w, h, first, second, degrees);
    image.setDevicePixelRatio(ratio);
    painter.drawImage(QPointF(0, 0), image);
}

QSize XPFrame::sizeHint() const {
    return {200, 120};
}

void XPFrame::updateMask() {
    const int w = width();
    const int h = height();
    if (w <= 0 || h <= 0) {
        clearMask();
        return;
    }
    const XPFrameLook::RoundedRect outer = XPFrameLook::ring(w, h, m_Curvature, 1).outer;
    QRegion region;
    for (int y = 0; y < h; ++y) {
        const XPFrameLook::RoundedRect::Span span = outer.span(y);
        if (span.first <= span.last) {
            region += QRect(span.first, y, span.last - span.first + 1, 1);
        }
    }
    setMask(region);
}

void XPFrame::paintEvent(QPaintEvent* /*event*/) {
    const double ratio = devicePixelRatioF();
    const int w = DevicePixels::edge(width(), ratio);
    const int h = DevicePixels::edge(height(), ratio);
    if (w <= 0 || h <= 0) {
        return;
    }
    const QPalette& pal = palette();
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    fillGradient(image, w, h, WinColor::Resolve(m_BackLightColor, pal),
                 WinColor::Resolve(m_BackDarkColor, pal), m_BackAngle);

    const int band = XPFrameLook::headerBand(m_Style, m_HeaderHeight, height());
    if (band > 0) {
        fillGradient(image, w, std::min(h, DevicePixels::edge(band, ratio)),
                     WinColor::Resolve(m_HeaderLightColor, pal),
                     WinColor::Resolve(m_HeaderDarkColor, pal), m_HeaderAngle);
        // Icon and caption are placed in logical pixels; the painter maps them to the device.
        image.setDevicePixelRatio(ratio);
        QPainter header(&image);
        header.setClipRect(QRect(0, 0, width(), band));
        const bool withIcon = !m_icon.isNull();
        if (withIcon) {
            const XPFrameLook::IconBox box = XPFrameLook::iconBox(band);
            header.setRenderHint(QPainter::SmoothPixmapTransform);
            header.drawImage(QRect(box.x, box.y, box.side, box.side), m_icon);
        }
        const QFontMetrics metrics(font());
        const XPFrameLook::Point at = XPFrameLook::captionPosition(
            width(), band, metrics.horizontalAdvance(m_Caption), metrics.height(),
            metrics.horizontalAdvance(QLatin1Char('A')), m_CaptionAlignment, withIcon);
        header.setFont(font());
        header.setPen(WinColor::ToQColor(m_TextColor, pal));
        header.drawText(at.x, at.y + metrics.ascent(), m_Caption);
        header.end();
        image.setDevicePixelRatio(1.0);
    }

    const XPFrameLook::Ring border = XPFrameLook::ring(w, h, DevicePixels::edge(m_Curvature, ratio),
                                                       DevicePixels::lineWidth(ratio));
    const QRgb borderColour = opaque(WinColor::Resolve(m_BorderColor, pal));
    for (int y = 0; y < h; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        const XPFrameLook::RoundedRect::Span outer = border.outer.span(y);
        const XPFrameLook::RoundedRect::Span inner = border.inner.span(y);
        for (int x = 0; x < w; ++x) {
            if (x < outer.first || x > outer.last) {
                line[x] = qRgba(0, 0, 0, 0);
            } else if (x < inner.first || x > inner.last) {
                line[x] = borderColour;
            }
        }
    }
    image.setDevicePixelRatio(ratio);
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), image);
}

void XPFrame::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateMask();
    emit Resize();
}

void XPFrame::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        emit propertyChanged(QStringLiteral("HeaderFont"));
        update();
    }
    QWidget::changeEvent(event);
}

void XPFrame::mousePressEvent(QMouseEvent* event) {
    m_clickArmed = event->button() == Qt::LeftButton;
    const QPoint at = event->position().toPoint();
    emit MouseDown(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
}

void XPFrame::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    emit MouseMove(buttonCode(event->buttons()), shiftCode(event->modifiers()), at.x(), at.y());
}

void XPFrame::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const bool clicked = m_clickArmed && event->button() == Qt::LeftButton && rect().contains(at);
    if (event->button() == Qt::LeftButton) {
        m_clickArmed = false;
    }
    emit MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
    if (clicked) {
        emit Click();
    }
}
