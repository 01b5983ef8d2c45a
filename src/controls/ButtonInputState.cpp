#include "controls/ButtonInputState.h"

void ButtonInputState::mousePress(bool left) {
    m_clickArmed = left;
    m_hovered = true;
    m_pressed = true;
}

bool ButtonInputState::mouseRelease(bool left, bool inside) {
    const bool clicked = m_clickArmed && left && inside;
    if (left) {
        m_clickArmed = false;
    }
    m_pressed = false;
    return clicked;
}

void ButtonInputState::doubleClick() {
    m_clickArmed = false;
    m_pressed = true;
}

bool ButtonInputState::hover(bool over) {
    if (over == m_hovered) {
        return false;
    }
    m_hovered = over;
    m_pressed = false;
    if (!over) {
        m_clickArmed = false;
    }
    return true;
}

bool ButtonInputState::keyPress(Key key, bool autoRepeat) {
    if (key == Key::Other || autoRepeat) {
        return false;
    }
    m_pressed = true;
    m_spaceArmed = key == Key::Space;
    return true;
}

ButtonInputState::KeyRelease ButtonInputState::keyRelease(Key key) {
    if (!m_pressed) {
        return KeyRelease::Nothing;
    }
    m_pressed = false;
    if (key == Key::Enter) {
        return KeyRelease::ReleaseEnter;
    }
    return key == Key::Space && m_spaceArmed ? KeyRelease::Click : KeyRelease::Release;
}

void ButtonInputState::keyReleased(Key key) {
    if (key == Key::Space) {
        m_spaceArmed = false;
    }
}

void ButtonInputState::focusIn() {
    m_focused = true;
}

void ButtonInputState::focusOut() {
    m_focused = false;
    m_spaceArmed = false;
}

void ButtonInputState::disable() {
    m_pressed = m_hovered = m_clickArmed = m_spaceArmed = false;
}
