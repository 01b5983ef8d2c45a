#include "controls/Button.h"
#include "controls/InputCodes.h"

#include <QKeyEvent>
#include <QMouseEvent>

namespace {

using InputCodes::buttonCode;
using InputCodes::shiftCode;
using InputCodes::virtualKey;

ButtonInputState::Key keyOf(int key) {
    if (key == Qt::Key_Space) {
        return ButtonInputState::Key::Space;
    }
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        return ButtonInputState::Key::Enter;
    }
    return ButtonInputState::Key::Other;
}

} // namespace

void Button::click() {
    if (m_ButtonType == 1) {
        // A toggle's repaint keeps it pressed while it is on, so this flips Value.
        m_Value = !m_input.pressed();
        m_input.setPressed(m_Value);
        emit propertyChanged(QStringLiteral("Value"));
    }
    refresh();
    emit Click();
}

void Button::setHovered(bool hovered) {
    if (m_input.hover(hovered)) {
        refresh();
    }
}

void Button::mousePressEvent(QMouseEvent* event) {
    m_input.mousePress(event->button() == Qt::LeftButton);
    refresh();
    const QPoint at = event->position().toPoint();
    emit MouseDown(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
}

void Button::mouseReleaseEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const bool clicked =
        m_input.mouseRelease(event->button() == Qt::LeftButton, rect().contains(at));
    refresh();
    emit MouseUp(buttonCode(event->button()), shiftCode(event->modifiers()), at.x(), at.y());
    if (clicked) {
        click();
    }
}

void Button::mouseDoubleClickEvent(QMouseEvent* /*event*/) {
    // The second press of a double click raises DblClick instead of a second Click.
    m_input.doubleClick();
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
    const ButtonInputState::Key key = keyOf(event->key());
    if (m_input.keyPress(key, event->isAutoRepeat())) {
        refresh();
    }
    emit KeyDown(virtualKey(event->key()), shiftCode(event->modifiers()));
    if (!event->text().isEmpty()) {
        emit KeyPress(event->text().at(0).unicode());
    }
    if (key != ButtonInputState::Key::Other) {
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
    const ButtonInputState::Key key = keyOf(event->key());
    const ButtonInputState::KeyRelease release = m_input.keyRelease(key);
    if (release != ButtonInputState::KeyRelease::Nothing) {
        refresh();
        if (release == ButtonInputState::KeyRelease::ReleaseEnter) {
            emit MouseDown(0, 0, 0, 0);
        } else if (release == ButtonInputState::KeyRelease::Click) {
            click();
        }
    }
    m_input.keyReleased(key);
    emit KeyUp(virtualKey(event->key()), shiftCode(event->modifiers()));
    QWidget::keyReleaseEvent(event);
}

void Button::focusInEvent(QFocusEvent* event) {
    m_input.focusIn();
    refresh();
    QWidget::focusInEvent(event);
}

void Button::focusOutEvent(QFocusEvent* event) {
    m_input.focusOut();
    refresh();
    QWidget::focusOutEvent(event);
}
