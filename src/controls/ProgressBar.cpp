#include "controls/ProgressBar.h"

#include "controls/ControlPainting.h"
#include "controls/ControlProperties.h"

#include <QEvent>
#include <QFontMetrics>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

ProgressBar::ProgressBar(QWidget* parent) : QWidget(parent) {}

template <typename T> void ProgressBar::store(T& member, const T& value, const char* name) {
    member = value;
    emit propertyChanged(QString::fromLatin1(name));
    update();
}

void ProgressBar::setRange(ProgressBarLook::Range range, const char* name) {
    const bool valueMoved = range.value != m_range.value;
    store(m_range, range, name);
    if (valueMoved && qstrcmp(name, "Value") != 0) {
        emit propertyChanged(QStringLiteral("Value"));
    }
}

void ProgressBar::setOrientations(int orientations) {
    store(m_Orientations, orientations, "Orientations");
}

void ProgressBar::setMax(int max) {
    setRange(ProgressBarLook::withMax(m_range, max), "Max");
}

void ProgressBar::setMin(int min) {
    setRange(ProgressBarLook::withMin(m_range, min), "Min");
}

void ProgressBar::setValue(int value) {
    setRange(ProgressBarLook::withValue(m_range, value), "Value");
}

void ProgressBar::setRoundedValue(int rounded) {
    store(m_RoundedValue, rounded, "RoundedValue");
    updateMask();
}

void ProgressBar::setTheme(int theme) {
    store(m_Theme, theme, "Theme");
}

void ProgressBar::setTextStyle(int style) {
    store(m_TextStyle, style, "TextStyle");
}

void ProgressBar::setTextForeColor(WinColor::Value colour) {
    store(m_TextForeColor, colour, "TextForeColor");
}

void ProgressBar::setTextAlignment(int alignment) {
    store(m_TextAlignment, alignment, "TextAlignment");
}

void ProgressBar::setText(const QString& text) {
    store(m_Text, text, "Text");
}

void ProgressBar::setTextEffectColor(WinColor::Value colour) {
    store(m_TextEffectColor, colour, "TextEffectColor");
}

void ProgressBar::setTextEffect(int effect) {
    store(m_TextEffect, effect, "TextEffect");
}

void ProgressBar::setPBSCustomeColor2(WinColor::Value colour) {
    store(m_PBSCustomeColor2, colour, "PBSCustomeColor2");
}

void ProgressBar::setPBSCustomeColor1(WinColor::Value colour) {
    store(m_PBSCustomeColor1, colour, "PBSCustomeColor1");
}

namespace {

// Defaults of the design data; they differ from a newly placed bar in TextStyle, Text and
// TextEffect. TextFont and TextEffectColor have none.
QVariantMap defaultProperties() {
    return {
        {QStringLiteral("Orientations"), 1},
        {QStringLiteral("Max"), 100},
        {QStringLiteral("Min"), 0},
        {QStringLiteral("Value"), 50},
        {QStringLiteral("RoundedValue"), 5},
        {QStringLiteral("Enabled"), true},
        {QStringLiteral("Theme"), 1},
        {QStringLiteral("TextStyle"), 1},
        {QStringLiteral("TextForeColor"), WinColor::Rgb(0, 0, 0)},
        {QStringLiteral("TextAlignment"), 5},
        {QStringLiteral("Text"), QString()},
        {QStringLiteral("TextEffect"), 1},
        {QStringLiteral("PBSCustomeColor2"), WinColor::Rgb(0, 0, 0)},
        {QStringLiteral("PBSCustomeColor1"), WinColor::Rgb(0, 0, 0)},
    };
}

} // namespace

QVariantMap ProgressBar::writeProperties() const {
    return ControlProperties::write(*this, defaultProperties());
}

void ProgressBar::readProperties(const QVariantMap& values) {
    // Max, Min and Value are read in that order; starting from Min 0 lets each take its stored
    // value whatever the range was before.
    m_range.min = 0;
    ControlProperties::read(*this, values, defaultProperties());
    update();
}

void ProgressBar::GradientTwoColour(QPainter& painter, int direction, WinColor::Value start,
                                    WinColor::Value end, int left, int top, int right,
                                    int bottom) const {
    ControlPainting::fillGradient(painter, QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)),
                                  WinColor::ToQColor(start, palette()),
                                  WinColor::ToQColor(end, palette()),
                                  direction == 0 ? Qt::Horizontal : Qt::Vertical);
}

void ProgressBar::DrawGradientFourColour(QPainter& painter, int left, int top, int width,
                                         int height, WinColor::Value topLeft,
                                         WinColor::Value topRight, WinColor::Value bottomLeft,
                                         WinColor::Value bottomRight) const {
    if (width <= 0 || height <= 0) {
        return;
    }
    const QColor corners[4] = {
        WinColor::ToQColor(topLeft, palette()), WinColor::ToQColor(topRight, palette()),
        WinColor::ToQColor(bottomLeft, palette()), WinColor::ToQColor(bottomRight, palette())};
    auto channel = [](int tl, int tr, int bl, int br, double fx, double fy) {
        const double upper = tl + (tr - tl) * fx;
        const double lower = bl + (br - bl) * fx;
        return static_cast<int>(upper + (lower - upper) * fy + 0.5);
    };
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        const double fy = height > 1 ? static_cast<double>(y) / (height - 1) : 0.0;
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const double fx = width > 1 ? static_cast<double>(x) / (width - 1) : 0.0;
            line[x] = qRgb(channel(corners[0].red(), corners[1].red(), corners[2].red(),
                                   corners[3].red(), fx, fy),
                           channel(corners[0].green(), corners[1].green(), corners[2].green(),
                                   corners[3].green(), fx, fy),
                           channel(corners[0].blue(), corners[1].blue(), corners[2].blue(),
                                   corners[3].blue(), fx, fy));
        }
    }
    painter.drawImage(left, top, image);
}

QSize ProgressBar::sizeHint() const {
    return {200, 20};
}

QPainterPath ProgressBar::outlinePath() const {
    const double radius = m_RoundedValue / 2.0;
    QPainterPath path;
    path.addRoundedRect(QRectF(0, 0, width() - 1, height() - 1), radius, radius);
    return path;
}

void ProgressBar::updateMask() {
    if (m_RoundedValue <= 0 || size().isEmpty()) {
        clearMask();
    } else {
        setMask(ControlPainting::outlineMask(size(), outlinePath()));
    }
}

void ProgressBar::paintEvent(QPaintEvent* /*event*/) {
    using namespace ProgressBarLook;
    const int w = width();
    const int h = height();
    const bool vertical = m_Orientations == 2;
    const int fill = fillLength(vertical ? h : w, m_range.value, m_range.max);

    fillColourTable(m_colours, m_Theme, WinColor::Resolve(m_PBSCustomeColor1, palette()),
                    WinColor::Resolve(m_PBSCustomeColor2, palette()));
    ColourTable colours = m_colours;
    WinColor::Value fore = m_TextForeColor;
    WinColor::Value effect = m_TextEffectColor;
    if (!isEnabled()) {
        for (WinColor::Value& c : colours) {
            c = disabledGrey(c);
        }
        fore = disabledGrey(WinColor::Resolve(fore, palette()));
        effect = disabledGrey(WinColor::Resolve(effect, palette()));
    }

    QPainter painter(this);
    if (vertical) {
        const int half = ControlGeometry::roundHalfEven(w / 2.0);
        GradientTwoColour(painter, 0, colours[EmptyTopFrom], colours[EmptyTopTo], 0, 0, half, h);
        GradientTwoColour(painter, 0, colours[EmptyBottomFrom], colours[EmptyBottomTo], half, 0, w,
                          h);
        if (fill >= 1) {
            GradientTwoColour(painter, 0, colours[FilledTopFrom], colours[FilledTopTo], 0, 0, half,
                              fill);
            GradientTwoColour(painter, 0, colours[FilledBottomFrom], colours[FilledBottomTo], half,
                              0, w, fill);
        }
    } else {
        const int half = ControlGeometry::roundHalfEven(h / 2.0);
        GradientTwoColour(painter, 1, colours[EmptyTopFrom], colours[EmptyTopTo], 0, 0, w, half);
        GradientTwoColour(painter, 1, colours[EmptyBottomFrom], colours[EmptyBottomTo], 0, half, w,
                          h);
        if (fill >= 1) {
            GradientTwoColour(painter, 1, colours[FilledTopFrom], colours[FilledTopTo], 0, 0, fill,
                              half);
            GradientTwoColour(painter, 1, colours[FilledBottomFrom], colours[FilledBottomTo], 0,
                              half, fill, h);
        }
    }

    painter.setPen(WinColor::ToQColor(colours[Border], palette()));
    painter.setBrush(Qt::NoBrush);
    painter.drawPath(outlinePath());

    const QString text = QString::fromStdString(
        barText(m_TextStyle, m_range.value, m_range.max, m_Text.toStdString()));
    if (text.isEmpty()) {
        return;
    }
    const QFontMetrics metrics(font());
    const Point at =
        textPosition(w, h, metrics.horizontalAdvance(text), metrics.height(), m_TextAlignment);
    painter.setFont(font());
    auto print = [&](Point offset, WinColor::Value colour) {
        painter.setPen(WinColor::ToQColor(colour, palette()));
        painter.drawText(at.x + offset.x, at.y + offset.y + metrics.ascent(), text);
    };
    for (const Point offset : textEffectOffsets(m_TextEffect)) {
        print(offset, effect);
    }
    print({0, 0}, fore);
}

void ProgressBar::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateMask();
}

void ProgressBar::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        emit propertyChanged(QStringLiteral("Enabled"));
        update();
    } else if (event->type() == QEvent::FontChange) {
        emit propertyChanged(QStringLiteral("TextFont"));
        update();
    }
    QWidget::changeEvent(event);
}
