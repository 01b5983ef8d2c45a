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

    /// Fixes the XP-style samples in the looks their captions name (hovered, focused, pressed),
    /// whatever the pointer and the keys do; the gallery does this when it is made.
    void showStates();

private:
    VelkXpButton* m_hovered = nullptr;
    VelkXpButton* m_focused = nullptr;
    VelkXpButton* m_pressed = nullptr;
};
