#pragma once

/// Press, hover and focus of the owner-drawn push button, and which presses end in a click: a
/// left mouse press released over the button without having left it, or Space pressed and
/// released on it. Enter presses the button as well, but its release is reported instead of
/// clicking. The widget translates its events into these calls and repaints after each.
class ButtonInputState final {
public:
    enum class Key { Space, Enter, Other };
    /// What letting a key go does to the button.
    enum class KeyRelease {
        Nothing,      ///< it was not pressed
        Release,      ///< it lets go
        ReleaseEnter, ///< it lets go after Enter: the widget reports that instead of a click
        Click,        ///< it lets go after an armed Space: a click
    };

    bool pressed() const { return m_pressed; }
    bool hovered() const { return m_hovered; }
    bool focused() const { return m_focused; }

    /// Shows the button down or up whatever the input says: a toggle keeps its value this way.
    void setPressed(bool pressed) { m_pressed = pressed; }

    /// A mouse button went down on the button; a press is always over it, entered or not.
    void mousePress(bool left);
    /// A mouse button came up, inside the button or not; true when that completes a click.
    bool mouseRelease(bool left, bool inside);
    /// The second press of a double click: the button is down, but its release is no click.
    void doubleClick();
    /// The pointer is over the button or not. A change lets the button go, and leaving cancels
    /// the click in progress; false when nothing changed.
    bool hover(bool over);

    /// A key went down; true when it pressed the button (Space or Enter, not a repeat).
    bool keyPress(Key key, bool autoRepeat);
    /// A key that is not a repeat came up.
    KeyRelease keyRelease(Key key);
    /// Ends a key's release once its click has run: Space no longer arms a click.
    void keyReleased(Key key);

    void focusIn();
    /// Losing the focus also drops a Space press in progress.
    void focusOut();
    /// A disabled button is neither pressed nor hovered and has no click in progress.
    void disable();

private:
    bool m_pressed = false;
    bool m_hovered = false;
    bool m_focused = false;
    // A left press on the button that has not left it yet: its release is a click.
    bool m_clickArmed = false;
    // Space went down on this button: its release is a click.
    bool m_spaceArmed = false;
};
