#pragma once

#include <QWidget>

class VelkXpButton;

/// A window that shows every owner-drawn control of the program in its styles, themes and
/// states, so a person can look at them and try them.
class ControlGallery final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ControlGallery)

public:
    explicit ControlGallery(QWidget* parent = nullptr);

    /// Puts the XP-style buttons into the states their captions name (hovered, focused,
    /// pressed), for a picture: the pointer and the keyboard are not needed.
    void showStates();

private:
    VelkXpButton* m_hovered = nullptr;
    VelkXpButton* m_focused = nullptr;
    VelkXpButton* m_pressed = nullptr;
};
