#include "controls/Button.h"

#include "controls/ControlPainting.h"
#include "controls/ControlProperties.h"

#include <QApplication>
#include <QCursor>
#include <QPainterPath>
#include <optional>

namespace {

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
        m_input.setPressed(value);
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

QSize Button::sizeHint() const {
    return {ButtonLook::PlacedWidth, ButtonLook::PlacedHeight};
}

QSize Button::minimumSizeHint() const {
    return {ButtonLook::MinimumSide, ButtonLook::MinimumSide};
}

ButtonLook::State Button::lookState() const {
    return {m_input.pressed(), m_input.hovered(), isEnabled()};
}

void Button::settle() {
    if (m_ButtonType == 1 && m_Value) {
        m_input.setPressed(true);
    }
    ButtonLook::forceOutlines(m_ButtonStyle, m_ButtonStyleColors, isEnabled(), m_colours);
}

void Button::refresh() {
    settle();
    updateCursor();
    update();
}

void Button::updateCursor() {
    if (m_HandPointer && ((m_input.hovered() && !m_input.pressed()) || m_input.focused())) {
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

void Button::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    updateShape();
}

void Button::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            m_input.disable();
        }
        emit propertyChanged(QStringLiteral("Enabled"));
        refresh();
    } else if (event->type() == QEvent::FontChange) {
        emit propertyChanged(QStringLiteral("Font"));
        refresh();
    }
    QWidget::changeEvent(event);
}
