#include "controls/Button.h"
#include "controls/ControlPainting.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <array>

namespace {

using ButtonLook::Point;
using WinColor::System;

} // namespace

QPainterPath Button::outlinePath() const {
    const QRectF box(0, 0, width() - 1, height() - 1);
    QPainterPath path;
    if (m_ButtonShape == 1) {
        path.addRoundedRect(box, ButtonLook::RoundCorner / 2.0, ButtonLook::RoundCorner / 2.0);
    } else if (m_ButtonShape == 2) {
        path.addEllipse(box);
    } else if (const auto corners = ButtonLook::shapePolygon(m_ButtonShape, width());
               !corners.empty()) {
        QPolygon polygon;
        for (const Point& corner : corners) {
            polygon << QPoint(corner.x, corner.y);
        }
        path.addPolygon(polygon);
        path.closeSubpath();
    } else {
        path.addRect(box);
    }
    return path;
}

Button::CaptionBox Button::captionBox() const {
    const QFontMetrics metrics(font());
    const int textWidth = metrics.horizontalAdvance(m_Caption);
    const int textHeight = metrics.height();
    return {
        ButtonLook::captionPosition(width(), height(), textWidth, textHeight, m_CaptionAlignment),
        textWidth, textHeight};
}

void Button::paintEvent(QPaintEvent* /*event*/) {
    settle();
    const ButtonLook::State current = lookState();
    QPainter painter(this);
    if (m_ButtonStyleColors != 0) {
        paintBackground(painter, current);
    }
    if (!m_Picture.isNull()) {
        paintPicture(painter);
    }
    paintCaption(painter, current);
    paintOutline(painter, current);
    if (ButtonLook::drawsFocusDots(m_ButtonStyle) && m_FocusRect && m_input.focused()) {
        paintFocusDots(painter);
    }
    if (m_DropDown == 1 || m_DropDown == 2) {
        paintDropDown(painter);
    }
}

void Button::paintBackground(QPainter& painter, ButtonLook::State current) const {
    const QPalette& pal = palette();
    const ButtonLook::Gradient g =
        ButtonLook::gradientColours(m_ButtonStyle, m_ButtonStyleColors, m_colours, current);
    const QColor c0 = WinColor::ToQColor(g.c0, pal);
    const QColor c1 = WinColor::ToQColor(g.c1, pal);
    const int w = width();
    const int h = height();
    if (m_ButtonStyle == 7) {
        const bool across = ButtonLook::horizontalGradient(m_ButtonShape);
        const Qt::Orientation along = across ? Qt::Horizontal : Qt::Vertical;
        const auto bands = ButtonLook::glassBands(across ? w : h);
        auto bandRect = [&](ButtonLook::Band band) {
            const int length = band.end - band.start;
            return across ? QRect(band.start, 0, length, h) : QRect(0, band.start, w, length);
        };
        ControlPainting::fillGradient(painter, bandRect(bands[0]), c1, c0, along);
        ControlPainting::fillGradient(painter, bandRect(bands[1]), c0, c1, along);
        return;
    }
    if (m_ButtonStyleColors == 2 || m_ButtonStyleColors == 3) {
        const bool lightTop = m_ButtonStyleColors == 3;
        ControlPainting::fillGradient(painter, rect(), lightTop ? c1 : c0, lightTop ? c0 : c1,
                                      Qt::Vertical);
        return;
    }
    const QColor back =
        WinColor::ToQColor(ButtonLook::stateColour(current, m_colours.back, m_colours.backPressed,
                                                   m_colours.backHover),
                           pal);
    if (m_ButtonStyle == 5) {
        ControlPainting::fillGradient(painter, rect(), back.lighter(125), back, Qt::Vertical);
    } else {
        painter.fillRect(rect(), back);
    }
}

void Button::paintPicture(QPainter& painter) const {
    const QPixmap picture =
        m_PictureGray || !isEnabled() ? ControlPainting::greyed(m_Picture) : m_Picture;
    const Point at = ButtonLook::picturePosition(width(), height(), picture.width(),
                                                 picture.height(), m_PictureAlignment);
    painter.drawPixmap(at.x, at.y, picture);
}

void Button::paintCaption(QPainter& painter, ButtonLook::State current) const {
    const QPalette& pal = palette();
    const CaptionBox box = captionBox();
    const int ascent = QFontMetrics(font()).ascent();
    painter.setFont(font());
    auto print = [&](Point offset, WinColor::Value colour) {
        painter.setPen(WinColor::ToQColor(colour, pal));
        painter.drawText(box.at.x + offset.x, box.at.y + offset.y + ascent, m_Caption);
    };
    if (m_CaptionStyle == 1) {
        // A rounded plate in the state's background colours, outlined in its caption colour.
        const QRect plate(box.at.x - 4, box.at.y - 1, box.width + 8, box.height + 2);
        const auto g =
            ButtonLook::gradientColours(m_ButtonStyle, m_ButtonStyleColors, m_colours, current);
        QPainterPath path;
        path.addRoundedRect(plate, 4, 4);
        painter.save();
        painter.setClipPath(path);
        ControlPainting::fillGradient(painter, plate, WinColor::ToQColor(m_EffectColor, pal),
                                      WinColor::ToQColor(g.c0, pal), Qt::Vertical);
        painter.restore();
        painter.setPen(WinColor::ToQColor(
            ButtonLook::stateColour(current, m_ForeColor, m_ForeColorPressed, m_ForeColorHover),
            pal));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path);
    }
    if (!current.enabled) {
        if (ButtonLook::embossedDisabledCaption(m_ButtonStyle)) {
            print({1, 1}, System(WinColor::ButtonHighlight));
        }
        print({0, 0}, System(WinColor::ButtonShadow));
        return;
    }
    for (const Point offset : ButtonLook::captionEffectOffsets(m_CaptionEffect, current.pressed)) {
        print(offset, m_EffectColor);
    }
    print({0, 0},
          ButtonLook::stateColour(current, m_ForeColor, m_ForeColorPressed, m_ForeColorHover));
}

void Button::paintOutline(QPainter& painter, ButtonLook::State current) const {
    painter.setPen(
        WinColor::ToQColor(ButtonLook::stateColour(current, m_colours.border,
                                                   m_colours.borderPressed, m_colours.borderHover),
                           palette()));
    painter.setBrush(Qt::NoBrush);
    if (m_ButtonShape != 0) {
        painter.drawPath(outlinePath());
        return;
    }
    painter.drawRect(QRect(0, 0, width() - 1, height() - 1));
    paintInnerDecoration(painter, current);
}

void Button::paintInnerDecoration(QPainter& painter, ButtonLook::State current) const {
    const QPalette& pal = palette();
    const int right = width() - 2;
    const int bottom = height() - 2;
    auto colour = [&pal](WinColor::Value value) { return WinColor::ToQColor(value, pal); };
    auto frame = [&](WinColor::Value value) {
        painter.setPen(colour(value));
        painter.drawRect(QRect(1, 1, right - 1, bottom - 1));
    };
    // Raised edges are light at the top left and dark at the bottom right; sunken ones swap.
    auto edges = [&](WinColor::Value light, WinColor::Value dark, bool sunken) {
        painter.setPen(colour(sunken ? dark : light));
        painter.drawLine(1, 1, right - 1, 1);
        painter.drawLine(1, 1, 1, bottom - 1);
        painter.setPen(colour(sunken ? light : dark));
        painter.drawLine(1, bottom, right, bottom);
        painter.drawLine(right, 1, right, bottom);
    };
    // Two nested frames: light lines at the top, deep ones at the bottom, mid ones on the sides.
    auto glow = [&](const std::array<WinColor::Value, 5>& c) {
        for (int inset = 1; inset <= 2; ++inset) {
            const int r = width() - 1 - inset;
            const int b = height() - 1 - inset;
            painter.setPen(colour(c[2]));
            painter.drawLine(inset, inset, inset, b);
            painter.drawLine(r, inset, r, b);
            painter.setPen(colour(inset == 1 ? c[3] : c[4]));
            painter.drawLine(inset, inset, r, inset);
            painter.setPen(colour(inset == 1 ? c[0] : c[1]));
            painter.drawLine(inset, b, r, b);
        }
    };
    const WinColor::Value highlight = System(WinColor::ButtonHighlight);
    const WinColor::Value shadow = System(WinColor::ButtonShadow);
    const WinColor::Value darkShadow = System(WinColor::DarkShadow);
    const bool focusMarked = m_FocusRect && m_input.focused();
    switch (m_ButtonStyle) {
    case 1:
        edges(highlight, shadow, current.pressed);
        break;
    case 2:
        edges(highlight, darkShadow, current.pressed);
        break;
    case 3:
        if (current.pressed || current.hovered) {
            edges(highlight, darkShadow, current.pressed);
        }
        break;
    case 4:
        if (current.pressed || current.hovered) {
            edges(highlight, shadow, current.pressed);
        }
        break;
    case 6:
        if (current.hovered && current.enabled) {
            glow(ButtonLook::HoverFrames);
        } else if (focusMarked && current.enabled) {
            glow(ButtonLook::FocusFrames);
        }
        break;
    case 7:
        frame(current.pressed ? ButtonLook::GlassInnerPressed : ButtonLook::GlassInner);
        if (focusMarked) {
            frame(ButtonLook::GlassInnerFocus);
        }
        break;
    default:
        break;
    }
}

void Button::paintFocusDots(QPainter& painter) const {
    const int right = width() - 4;
    const int bottom = height() - 4;
    painter.setPen(Qt::black);
    for (int x = 3; x <= right; x += 2) {
        painter.drawPoint(x, 3);
        painter.drawPoint(x, bottom);
    }
    for (int y = 3; y <= bottom; y += 2) {
        painter.drawPoint(3, y);
        painter.drawPoint(right, y);
    }
}

void Button::paintDropDown(QPainter& painter) const {
    // A downward arrow of four black lines: beside the caption (1) or at the right edge (2).
    const CaptionBox box = captionBox();
    const int centre = m_DropDown == 1 ? box.at.x + box.width + 8 : width() - 10;
    const int top = height() / 2 - 2;
    painter.setPen(Qt::black);
    for (int row = 0; row < 4; ++row) {
        painter.drawLine(centre - 3 + row, top + row, centre + 3 - row, top + row);
    }
}
