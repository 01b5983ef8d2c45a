#include "controls/VelkXpButton.h"

#include "controls/ControlAccessibility.h"
#include "controls/ControlProperties.h"
#include "controls/DevicePixels.h"
#include "controls/InputCodes.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QRegion>
#include <QShortcut>

namespace {

using InputCodes::buttonCode;
using InputCodes::shiftCode;
using InputCodes::virtualKey;

constexpr int LeftButton = 1;
constexpr int SpaceKey = 32;
constexpr int EnterKey = 13;

// The caption as read aloud: "&" marks the access key, "&&" is a literal ampersand.
QString spokenCaption(const QString& caption) {
    QString spoken;
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption[i] == QLatin1Char('&') && i + 1 < caption.size()) {
            ++i;
        }
        spoken += caption[i];
    }
    return spoken;
}

} // namespace

VelkXpButton::VelkXpButton(QWidget* parent) : QWidget(parent) {
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    m_HoverTimer.setObjectName(QStringLiteral("HoverTimer"));
    m_HoverTimer.setInterval(HoverInterval);
    connect(&m_HoverTimer, &QTimer::timeout, this, &VelkXpButton::HoverTimer_Timer);
    m_accessKey = new QShortcut(this);
    connect(m_accessKey, &QShortcut::activated, this, &VelkXpButton::accessKey);
    ControlAccessibility::setRole(*this, QAccessible::Button);
    m_designName = objectName();
    connect(this, &QObject::objectNameChanged, this, &VelkXpButton::designNameChanged);
    resize(sizeHint());
}

void VelkXpButton::designNameChanged(const QString& name) {
    const bool follows = m_Caption == m_designName;
    m_designName = name;
    if (follows) {
        setCaption(name);
    }
}

template <typename T> void VelkXpButton::store(T& member, const T& value, const char* name) {
    member = value;
    update();
    emit propertyChanged(QString::fromLatin1(name));
}

void VelkXpButton::setCaption(const QString& caption) {
    m_accessKey->setKey(QKeySequence::mnemonic(caption));
    setAccessibleName(spokenCaption(caption));
    store(m_Caption, caption, "Caption");
}

void VelkXpButton::setForeColor(WinColor::Value colour) {
    store(m_ForeColor, colour, "ForeColor");
}

void VelkXpButton::setForeHover(WinColor::Value colour) {
    store(m_ForeHover, colour, "ForeHover");
}

QVariantMap VelkXpButton::defaultProperties() const {
    const QWidget* host = parentWidget();
    return {
        {QStringLiteral("Enabled"), true},
        {QStringLiteral("Font"), host != nullptr ? host->font() : QApplication::font()},
        // A caption equal to the design name is not stored.
        {QStringLiteral("Caption"), objectName()},
        {QStringLiteral("ForeColor"), WinColor::System(18)},
        {QStringLiteral("ForeHover"), WinColor::System(18)},
    };
}

QVariantMap VelkXpButton::writeProperties() const {
    return ControlProperties::write(*this, defaultProperties());
}

void VelkXpButton::readProperties(const QVariantMap& values) {
    ControlProperties::read(*this, values, defaultProperties());
    m_accessKey->setKey(QKeySequence::mnemonic(m_Caption));
    setAccessibleName(spokenCaption(m_Caption));
    update();
}

void VelkXpButton::setPointerProbe(PointerProbe probe) {
    m_probe = std::move(probe);
}

bool VelkXpButton::underPointer() const {
    if (m_probe) {
        return m_probe();
    }
    const QWidget* found = QApplication::widgetAt(QCursor::pos());
    return found == this || isAncestorOf(found);
}

void VelkXpButton::setDefault(bool isDefault) {
    if (isDefault) {
        for (VelkXpButton* other : window()->findChildren<VelkXpButton*>()) {
            if (other != this) {
                other->setDefault(false);
            }
        }
    }
    m_isDefault = isDefault;
    watchWindow();
    update();
}

void VelkXpButton::watchWindow() {
    // A button that is a window of its own gets the window's keys itself.
    QWidget* target = m_isDefault && !isWindow() ? window() : nullptr;
    if (m_watchedWindow == target) {
        return;
    }
    if (m_watchedWindow) {
        m_watchedWindow->removeEventFilter(this);
    }
    m_watchedWindow = target;
    if (target != nullptr) {
        target->installEventFilter(this);
    }
}

bool VelkXpButton::eventFilter(QObject* watched, QEvent* event) {
    // Keys reach the window itself only when the focused widget and those between left them.
    if (watched == m_watchedWindow && event->type() == QEvent::KeyPress && isEnabled() &&
        isVisible()) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        if (enter && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
            !key->isAutoRepeat()) {
            accessKey();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void VelkXpButton::setShownLook(std::optional<VelkXpLook::Look> look) {
    m_shownLook = look;
    update();
}

VelkXpLook::Look VelkXpButton::look() const {
    if (m_shownLook) {
        return *m_shownLook;
    }
    return VelkXpLook::lookFor({isEnabled(), m_isPressed, m_isHovered, m_hasFocus, m_isDefault});
}

QSize VelkXpButton::sizeHint() const {
    return {75, 23};
}

void VelkXpButton::HoverTimer_Timer() {
    if (underPointer()) {
        return;
    }
    m_HoverTimer.stop();
    m_isHovered = false;
    m_isPressed = false;
    update();
    if (m_enterRaised) {
        m_enterRaised = false;
        emit MouseLeave();
    }
}

void VelkXpButton::endHover() {
    m_HoverTimer.stop();
    m_isHovered = false;
    m_isPressed = false;
    m_clickArmed = false;
    update();
    if (m_enterRaised) {
        m_enterRaised = false;
        emit MouseLeave();
    }
}

void VelkXpButton::accessKey() {
    if (!isEnabled()) {
        return;
    }
    m_lastButton = LeftButton;
    m_isPressed = false;
    update();
    emit Click();
}

void VelkXpButton::paintEvent(QPaintEvent* /*event*/) {
    const double ratio = devicePixelRatioF();
    const VelkXpLook::Look current = look();
    QPainter painter(this);
    // Faces and frames are laid on device pixels, so one-pixel lines stay crisp when scaled.
    painter.save();
    painter.scale(1.0 / ratio, 1.0 / ratio);
    for (const VelkXpLook::Fill& fill : VelkXpLook::fills(current, width(), height())) {
        const int left = DevicePixels::edge(fill.x, ratio);
        const int top = DevicePixels::edge(fill.y, ratio);
        painter.fillRect(QRect(left, top, DevicePixels::edge(fill.x + fill.width, ratio) - left,
                               DevicePixels::edge(fill.y + fill.height, ratio) - top),
                         WinColor::ToQColor(fill.colour, palette()));
    }
    painter.restore();
    painter.setFont(font());
    painter.setPen(WinColor::ToQColor(VelkXpLook::captionColour(current, m_ForeColor, m_ForeHover),
                                      palette()));
    painter.drawText(rect(), Qt::AlignCenter | Qt::TextShowMnemonic | Qt::TextSingleLine,
                     m_Caption);
}

void VelkXpButton::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    QRegion region(rect());
    for (const VelkXpLook::Corner corner : VelkXpLook::cutCorners(width(), height())) {
        region -= QRegion(corner.x, corner.y, 1, 1);
    }
    setMask(region);
}

void VelkXpButton::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) {
        if (!isEnabled()) {
            endHover();
            m_lastKey = 0;
        }
        emit propertyChanged(QStringLiteral("Enabled"));
        update();
    } else if (event->type() == QEvent::FontChange) {
        emit propertyChanged(QStringLiteral("Font"));
        update();
    } else if (event->type() == QEvent::ParentChange) {
        watchWindow();
    }
    QWidget::changeEvent(event);
}

void VelkXpButton::hideEvent(QHideEvent* event) {
    endHover();
    QWidget::hideEvent(event);
}

void VelkXpButton::mousePressEvent(QMouseEvent* event) {
    if (!isEnabled()) {
        return;
    }
    m_lastButton = buttonCode(event->button());
    m_clickArmed = event->button() == Qt::LeftButton;
    if (event->button() != Qt::RightButton) {
        m_isPressed = true;
    }
    update();
    const QPoint at = event->position().toPoint();
    emit MouseDown(m_lastButton, shiftCode(event->modifiers()), at.x(), at.y());
}

void VelkXpButton::mouseReleaseEvent(QMouseEvent* event) {
    if (!isEnabled()) {
        return;
    }
    const QPoint at = event->position().toPoint();
    const bool clicked = m_clickArmed && event->button() == Qt::LeftButton &&
                         m_lastButton == LeftButton && rect().contains(at);
    if (event->button() == Qt::LeftButton) {
        m_clickArmed = false;
    }
    m_isPressed = false;
    update();
    emit MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
    if (clicked) {
        emit Click();
    }
    // A hover that began with the left button held had no poll: it starts now, or ends.
    if (m_isHovered && !m_HoverTimer.isActive()) {
        if (underPointer()) {
            m_HoverTimer.start();
            m_enterRaised = true;
            emit MouseEnter();
        } else {
            m_isHovered = false;
        }
        update();
    }
}

void VelkXpButton::mouseDoubleClickEvent(QMouseEvent* event) {
    // The second press of a double click is a new press: two clicks, no double-click event.
    mousePressEvent(event);
}

void VelkXpButton::mouseMoveEvent(QMouseEvent* event) {
    if (!isEnabled()) {
        return;
    }
    const Qt::MouseButtons buttons = event->buttons();
    const QPoint at = event->position().toPoint();
    if ((buttons == Qt::NoButton || buttons == Qt::LeftButton) && !m_isHovered && underPointer()) {
        m_isHovered = true;
        if (buttons == Qt::LeftButton) {
            m_isPressed = true;
        } else {
            m_HoverTimer.start();
            m_enterRaised = true;
            emit MouseEnter();
        }
        update();
    }
    if (m_clickArmed && (buttons & Qt::LeftButton)) {
        // Held down on the button: it looks pressed only while the pointer is over it.
        const bool over = rect().contains(at);
        if (over != m_isPressed) {
            m_isPressed = over;
            update();
        }
    }
    emit MouseMove(buttonCode(buttons), shiftCode(event->modifiers()), at.x(), at.y());
}

void VelkXpButton::keyPressEvent(QKeyEvent* event) {
    const int key = virtualKey(event->key());
    bool handled = true;
    switch (key) {
    case SpaceKey:
    case EnterKey:
        if (!event->isAutoRepeat()) {
            m_lastKey = key;
            m_isPressed = true;
            update();
        }
        break;
    case 37: // Left
    case 39: // Right
        m_lastKey = key;
        focusNextPrevChild(true);
        break;
    case 38: // Up
    case 40: // Down
        m_lastKey = key;
        focusNextPrevChild(false);
        break;
    default:
        m_lastKey = key;
        handled = false;
        break;
    }
    emit KeyDown(key, shiftCode(event->modifiers()));
    if (!event->text().isEmpty()) {
        emit KeyPress(event->text().at(0).unicode());
    }
    if (handled) {
        event->accept();
    } else {
        QWidget::keyPressEvent(event);
    }
}

void VelkXpButton::keyReleaseEvent(QKeyEvent* event) {
    if (event->isAutoRepeat()) {
        // A held key repeats its release; only the real one lets the button go.
        event->accept();
        return;
    }
    const int key = virtualKey(event->key());
    if (key == SpaceKey || key == EnterKey) {
        // The key lets the button go even when another key came down in between; it clicks
        // only when it was the last key pressed.
        if (!m_clickArmed) {
            m_isPressed = false;
            update();
        }
        if (m_lastKey == key) {
            m_lastKey = 0;
            emit Click();
        }
    }
    emit KeyUp(key, shiftCode(event->modifiers()));
    QWidget::keyReleaseEvent(event);
}

void VelkXpButton::focusInEvent(QFocusEvent* event) {
    m_hasFocus = true;
    update();
    QWidget::focusInEvent(event);
}

void VelkXpButton::focusOutEvent(QFocusEvent* event) {
    m_hasFocus = false;
    m_lastKey = 0;
    if (!m_clickArmed) {
        m_isPressed = false;
    }
    update();
    QWidget::focusOutEvent(event);
}
