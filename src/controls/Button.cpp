#include "controls/Button.h"

#include "controls/ControlPainting.h"
#include "controls/ControlProperties.h"
#include "controls/InputCodes.h"

#include <QApplication>
#include <QCursor>
#include <QDrag>
#include <QDragEnterEvent>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <optional>

namespace {

using ButtonLook::Point;
using InputCodes::buttonCode;
using InputCodes::effectCode;
using InputCodes::shiftCode;
using InputCodes::virtualKey;
using WinColor::System;

std::optional<Qt::CursorShape> pointerShape(int pointer) {
    switch (pointer) {
    case 1:
    case 4:
        return Qt::ArrowCursor;
    case 2:
        return Qt::CrossCursor;
    case 3:
        return Qt::IBeamCursor;
    case 5:
    case 15:
        return Qt::SizeAllCursor;
    case 6:
        return Qt::SizeBDiagCursor;
    case 7:
        return Qt::SizeVerCursor;
    case 8:
        return Qt::SizeFDiagCursor;
    case 9:
        return Qt::SizeHorCursor;
    case 10:
        return Qt::UpArrowCursor;
    case 11:
        return Qt::WaitCursor;
    case 12:
        return Qt::ForbiddenCursor;
    case 13:
        return Qt::BusyCursor;
    case 14:
        return Qt::WhatsThisCursor;
    default:
        return std::nullopt;
    }
}

Button::DragRunner& dragRunner() {
    static Button::DragRunner runner;
    return runner;
}

// Data of a drag from the button. A format the host declared with empty data is asked for
// when a target first reads it.
class DragData final : public QMimeData {
public:
    using Supplier = std::function<void(QMimeData& data, const QString& format)>;
    explicit DragData(Supplier supply) : m_supply(std::move(supply)) {}

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override {
        QVariant stored = QMimeData::retrieveData(format, type);
        if (!m_supplying && formats().contains(format) && stored.toByteArray().isEmpty()) {
            m_supplying = true;
            // Supplying data changes the object a target only reads; the drag owns it.
            m_supply(const_cast<DragData&>(*this), format);
            m_supplying = false;
            stored = QMimeData::retrieveData(format, type);
        }
        return stored;
    }

private:
    Supplier m_supply;
    mutable bool m_supplying = false;
};

QFont tahoma(QFont font) {
    font.setFamilies({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans")});
    return font;
}

} // namespace

Button::Button(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(ButtonLook::MinimumSide, ButtonLook::MinimumSide);
    resize(ButtonLook::PlacedWidth, ButtonLook::PlacedHeight);
    setFont(tahoma(font()));
}

Button* Button::programButton(QWidget* parent, const QString& caption, const QString& toolTip) {
    auto* button = new Button(parent);
    button->setButtonStyle(7);
    button->setButtonTheme(1);
    QFont font = tahoma(button->font());
    font.setPointSize(8);
    button->setFont(font);
    button->setCaption(caption);
    button->setToolTip(toolTip);
    return button;
}

template <typename T> void Button::store(T& member, const T& value, const char* name) {
    member = value;
    emit propertyChanged(QString::fromLatin1(name));
    refresh();
}

void Button::setButtonShape(int shape) {
    store(m_ButtonShape, shape, "ButtonShape");
    updateShape();
}

void Button::setButtonStyle(int style) {
    ButtonLook::applyStylePreset(style, m_colours, m_ButtonStyleColors);
    store(m_ButtonStyle, style, "ButtonStyle");
}

void Button::setButtonStyleColors(int styleColors) {
    store(m_ButtonStyleColors, styleColors, "ButtonStyleColors");
}

void Button::setButtonTheme(int theme) {
    ButtonLook::applyThemePreset(theme, m_colours);
    store(m_ButtonTheme, theme, "ButtonTheme");
}

void Button::setButtonType(int type) {
    store(m_ButtonType, type, "ButtonType");
}

void Button::setCaptionAlignment(int alignment) {
    store(m_CaptionAlignment, alignment, "CaptionAlignment");
}

void Button::setCaptionEffect(int effect) {
    store(m_CaptionEffect, effect, "CaptionEffect");
}

void Button::setCaptionStyle(int style) {
    store(m_CaptionStyle, style, "CaptionStyle");
}

void Button::setDropDown(int dropDown) {
    store(m_DropDown, dropDown, "DropDown");
}

void Button::setPictureAlignment(int alignment) {
    store(m_PictureAlignment, alignment, "PictureAlignment");
}

void Button::setBackColor(WinColor::Value colour) {
    store(m_colours.back, colour, "BackColor");
}

void Button::setBackColorPressed(WinColor::Value colour) {
    store(m_colours.backPressed, colour, "BackColorPressed");
}

void Button::setBackColorHover(WinColor::Value colour) {
    store(m_colours.backHover, colour, "BackColorHover");
}

void Button::setBorderColor(WinColor::Value colour) {
    store(m_colours.border, colour, "BorderColor");
}

void Button::setBorderColorPressed(WinColor::Value colour) {
    store(m_colours.borderPressed, colour, "BorderColorPressed");
}

void Button::setBorderColorHover(WinColor::Value colour) {
    store(m_colours.borderHover, colour, "BorderColorHover");
}

void Button::setForeColor(WinColor::Value colour) {
    store(m_ForeColor, colour, "ForeColor");
}

void Button::setForeColorPressed(WinColor::Value colour) {
    store(m_ForeColorPressed, colour, "ForeColorPressed");
}

void Button::setForeColorHover(WinColor::Value colour) {
    store(m_ForeColorHover, colour, "ForeColorHover");
}

void Button::setEffectColor(WinColor::Value colour) {
    store(m_EffectColor, colour, "EffectColor");
}

void Button::setCaption(const QString& caption) {
    store(m_Caption, caption, "Caption");
}

void Button::setFocusRect(bool focusRect) {
    store(m_FocusRect, focusRect, "FocusRect");
}

void Button::setValue(bool value) {
    if (m_ButtonType == 1) {
        m_isPressed = value;
    }
    store(m_Value, value, "Value");
}

void Button::setHandPointer(bool handPointer) {
    store(m_HandPointer, handPointer, "HandPointer");
}

void Button::setPicture(const QPixmap& picture) {
    store(m_Picture, picture, "Picture");
}

void Button::setPictureGray(bool gray) {
    store(m_PictureGray, gray, "PictureGray");
}

void Button::setMouseIcon(const QPixmap& icon) {
    store(m_MouseIcon, icon, "MouseIcon");
}

void Button::setMousePointer(int pointer) {
    store(m_MousePointer, pointer, "MousePointer");
}

QVariantMap Button::defaultProperties() const {
    const ButtonLook::Colours colours;
    const QWidget* host = parentWidget();
    return {
        {QStringLiteral("ButtonShape"), 0},
        {QStringLiteral("ButtonStyle"), 1},
        {QStringLiteral("ButtonStyleColors"), 1},
        {QStringLiteral("ButtonTheme"), 0},
        {QStringLiteral("ButtonType"), 0},
        {QStringLiteral("CaptionAlignment"), 2},
        {QStringLiteral("CaptionEffect"), 0},
        {QStringLiteral("CaptionStyle"), 0},
        {QStringLiteral("DropDown"), 0},
        {QStringLiteral("PictureAlignment"), 2},
        {QStringLiteral("BackColor"), colours.back},
        {QStringLiteral("BackColorPressed"), colours.backPressed},
        {QStringLiteral("BackColorHover"), colours.backHover},
        {QStringLiteral("BorderColor"), colours.border},
        {QStringLiteral("BorderColorPressed"), colours.borderPressed},
        {QStringLiteral("BorderColorHover"), colours.borderHover},
        {QStringLiteral("ForeColor"), WinColor::Rgb(0, 0, 0)},
        {QStringLiteral("ForeColorPressed"), WinColor::Rgb(255, 0, 0)},
        {QStringLiteral("ForeColorHover"), WinColor::Rgb(0, 0, 255)},
        {QStringLiteral("EffectColor"), WinColor::Rgb(255, 255, 255)},
        // A caption equal to the design name is not stored.
        {QStringLiteral("Caption"), objectName()},
        {QStringLiteral("FocusRect"), true},
        {QStringLiteral("Value"), false},
        {QStringLiteral("HandPointer"), false},
        {QStringLiteral("Picture"), QPixmap()},
        {QStringLiteral("PictureGray"), false},
        {QStringLiteral("Enabled"), true},
        {QStringLiteral("Font"), host != nullptr ? host->font() : QApplication::font()},
        {QStringLiteral("MouseIcon"), QPixmap()},
        {QStringLiteral("MousePointer"), 0},
    };
}

QVariantMap Button::writeProperties() const {
    return ControlProperties::write(*this, defaultProperties());
}

void Button::readProperties(const QVariantMap& values) {
    ControlProperties::read(*this, values, defaultProperties());
    refresh();
}

void Button::Refresh() {
    settle();
    updateCursor();
    repaint();
}

void Button::SetDragRunner(DragRunner runner) {
    dragRunner() = std::move(runner);
}

void Button::OLEDrag() {
    auto* data = new DragData(
        [this](QMimeData& mime, const QString& format) { emit OLESetData(&mime, format); });
    int allowed = InputCodes::effectCodes(Qt::CopyAction | Qt::MoveAction);
    emit OLEStartDrag(data, &allowed);
    const Qt::DropActions actions = InputCodes::dropActions(allowed);
    if (allowed == 0 || actions.toInt() == 0) {
        delete data;
        return;
    }
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    connect(drag, &QDrag::actionChanged, this,
            [this](Qt::DropAction action) { emit OLEGiveFeedback(effectCode(action), true); });
    Qt::DropAction result = Qt::IgnoreAction;
    if (dragRunner()) {
        result = dragRunner()(*drag, actions);
        drag->deleteLater();
    } else {
        result = drag->exec(actions); // the toolkit disposes of the drag
    }
    emit OLECompleteDrag(effectCode(result));
}

QSize Button::sizeHint() const {
    return {ButtonLook::PlacedWidth, ButtonLook::PlacedHeight};
}

QSize Button::minimumSizeHint() const {
    return {ButtonLook::MinimumSide, ButtonLook::MinimumSide};
}

ButtonLook::State Button::lookState() const {
    return {m_isPressed, m_isHovered, isEnabled()};
}

void Button::settle() {
    if (m_ButtonType == 1 && m_Value) {
        m_isPressed = true;
    }
    ButtonLook::forceOutlines(m_ButtonStyle, m_ButtonStyleColors, isEnabled(), m_colours);
}

void Button::refresh() {
    settle();
    updateCursor();
    update();
}

void Button::updateCursor() {
    if (m_HandPointer && ((m_isHovered && !m_isPressed) || m_hasFocus)) {
        setCursor(Qt::PointingHandCursor);
    } else if (m_MousePointer == 99 && !m_MouseIcon.isNull()) {
        setCursor(QCursor(m_MouseIcon));
    } else if (const auto shape = pointerShape(m_MousePointer)) {
        setCursor(*shape);
    } else {
        unsetCursor();
    }
}

void Button::updateShape() {
    const ButtonLook::Size wanted = ButtonLook::paintedSize({width(), height()}, m_ButtonShape);
    if (wanted != ButtonLook::Size{width(), height()}) {
        resize(wanted.width, wanted.height); // comes back through resizeEvent
        return;
    }
    if (m_ButtonShape == 0) {
        clearMask();
    } else {
        setMask(ControlPainting::outlineMask(size(), outlinePath()));
    }
}

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

void Button::mouseDown(int button, int shift, int x, int y) {
    m_isPressed = true;
    refresh();
    emit MouseDown(button, shift, x, y);
}

void Button::click() {
    if (m_ButtonType == 1) {
        // A toggle's repaint keeps it pressed while it is on, so this flips Value.
        m_Value = !m_isPressed;
        m_isPressed = m_Value;
        emit propertyChanged(QStringLiteral("Value"));
    }
    refresh();
    emit Click();
}

void Button::setHovered(bool hovered) {
    if (hovered == m_isHovered) {
        return;
    }
    m_isHovered = hovered;
    m_isPressed = false;
    if (!hovered) {
        m_clickArmed = false; // leaving cancels the click in progress
    }
    refresh();
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
    if (ButtonLook::drawsFocusDots(m_ButtonStyle) && m_FocusRect && m_hasFocus) {
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
    const bool focusMarked = m_FocusRect && m_hasFocus;
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

void Button::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateShape();
}

void Button::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            m_isPressed = m_isHovered = m_clickArmed = m_spaceArmed = false;
        }
        emit propertyChanged(QStringLiteral("Enabled"));
        refresh();
    } else if (event->type() == QEvent::FontChange) {
        emit propertyChanged(QStringLiteral("Font"));
        refresh();
    }
    QWidget::changeEvent(event);
}

void Button::mousePressEvent(QMouseEvent* event) {
    m_clickArmed = event->button() == Qt::LeftButton;
    m_isHovered = true; // a press is always over the button, entered or not
    const QPoint at = event->position().toPoint();
    mouseDown(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
}

void Button::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const bool clicked = m_clickArmed && event->button() == Qt::LeftButton && rect().contains(at);
    if (event->button() == Qt::LeftButton) {
        m_clickArmed = false;
    }
    m_isPressed = false;
    refresh();
    emit MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
    if (clicked) {
        click();
    }
}

void Button::mouseDoubleClickEvent(QMouseEvent* /*event*/) {
    // The second press of a double click raises DblClick instead of a second Click.
    m_clickArmed = false;
    m_isPressed = true;
    refresh();
    emit DblClick();
}

void Button::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    setHovered(at.x() >= 0 && at.x() <= width() && at.y() >= 0 && at.y() <= height());
    emit MouseMove(buttonCode(event->buttons()), shiftCode(event->modifiers()), at.x(), at.y());
}

void Button::enterEvent(QEnterEvent* /*event*/) {
    setHovered(true);
}

void Button::leaveEvent(QEvent* /*event*/) {
    setHovered(false);
}

// Space and Enter press the button and their release lets it go again. Releasing Space clicks
// it, as push buttons do; releasing Enter raises MouseDown with zero arguments instead of a click.
void Button::keyPressEvent(QKeyEvent* event) {
    const int key = event->key();
    const bool space = key == Qt::Key_Space;
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if ((space || enter) && !event->isAutoRepeat()) {
        m_isPressed = true;
        m_spaceArmed = space;
        refresh();
    }
    emit KeyDown(virtualKey(key), shiftCode(event->modifiers()));
    if (!event->text().isEmpty()) {
        emit KeyPress(event->text().at(0).unicode());
    }
    if (space || enter) {
        event->accept();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void Button::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) {
        QWidget::keyReleaseEvent(event);
        return;
    }
    const int key = event->key();
    const bool space = key == Qt::Key_Space;
    const bool enter = key == Qt::Key_Return || key == Qt::Key_Enter;
    if (m_isPressed) {
        m_isPressed = false;
        refresh();
        if (enter) {
            emit MouseDown(0, 0, 0, 0);
        } else if (space && m_spaceArmed) {
            click();
        }
    }
    if (space) {
        m_spaceArmed = false;
    }
    emit KeyUp(virtualKey(key), shiftCode(event->modifiers()));
    QWidget::keyReleaseEvent(event);
}

void Button::focusInEvent(QFocusEvent* event) {
    m_hasFocus = true;
    refresh();
    QWidget::focusInEvent(event);
}

void Button::focusOutEvent(QFocusEvent* event) {
    m_hasFocus = false;
    m_spaceArmed = false;
    refresh();
    QWidget::focusOutEvent(event);
}

void Button::dragEnterEvent(QDragEnterEvent* event) {
    event->acceptProposedAction();
    const QPoint at = event->position().toPoint();
    emit OLEDragOver(event->mimeData(), effectCode(event->dropAction()),
                     buttonCode(event->buttons()), shiftCode(event->modifiers()), at.x(), at.y(),
                     0);
}

void Button::dragMoveEvent(QDragMoveEvent* event) {
    event->acceptProposedAction();
    const QPoint at = event->position().toPoint();
    emit OLEDragOver(event->mimeData(), effectCode(event->dropAction()),
                     buttonCode(event->buttons()), shiftCode(event->modifiers()), at.x(), at.y(),
                     2);
}

void Button::dragLeaveEvent(QDragLeaveEvent* /*event*/) {
    const QPoint at = mapFromGlobal(QCursor::pos());
    emit OLEDragOver(nullptr, 0, buttonCode(QApplication::mouseButtons()),
                     shiftCode(QApplication::keyboardModifiers()), at.x(), at.y(), 1);
}

void Button::dropEvent(QDropEvent* event) {
    event->acceptProposedAction();
    const QPoint at = event->position().toPoint();
    emit OLEDragDrop(event->mimeData(), effectCode(event->dropAction()),
                     buttonCode(event->buttons()), shiftCode(event->modifiers()), at.x(), at.y());
}
