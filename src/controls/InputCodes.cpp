#include "controls/InputCodes.h"

namespace InputCodes {

int buttonCode(Qt::MouseButtons buttons) {
    return (buttons & Qt::LeftButton ? 1 : 0) | (buttons & Qt::RightButton ? 2 : 0) |
           (buttons & Qt::MiddleButton ? 4 : 0);
}

int shiftCode(Qt::KeyboardModifiers modifiers) {
    return (modifiers & Qt::ShiftModifier ? 1 : 0) | (modifiers & Qt::ControlModifier ? 2 : 0) |
           (modifiers & Qt::AltModifier ? 4 : 0);
}

int effectCode(Qt::DropAction action) {
    switch (action) {
    case Qt::CopyAction:
        return 1;
    case Qt::MoveAction:
        return 2;
    case Qt::LinkAction:
        return 4;
    default:
        return 0;
    }
}

int virtualKey(int key) {
    if ((key >= Qt::Key_A && key <= Qt::Key_Z) || (key >= Qt::Key_0 && key <= Qt::Key_9) ||
        key == Qt::Key_Space) {
        return key;
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24) {
        return 112 + (key - Qt::Key_F1);
    }
    switch (key) {
    case Qt::Key_Backspace:
        return 8;
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return 9;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return 13;
    case Qt::Key_Shift:
        return 16;
    case Qt::Key_Control:
        return 17;
    case Qt::Key_Alt:
        return 18;
    case Qt::Key_Pause:
        return 19;
    case Qt::Key_CapsLock:
        return 20;
    case Qt::Key_Escape:
        return 27;
    case Qt::Key_PageUp:
        return 33;
    case Qt::Key_PageDown:
        return 34;
    case Qt::Key_End:
        return 35;
    case Qt::Key_Home:
        return 36;
    case Qt::Key_Left:
        return 37;
    case Qt::Key_Up:
        return 38;
    case Qt::Key_Right:
        return 39;
    case Qt::Key_Down:
        return 40;
    case Qt::Key_Insert:
        return 45;
    case Qt::Key_Delete:
        return 46;
    default:
        return 0;
    }
}

int effectCodes(Qt::DropActions actions) {
    return (actions & Qt::CopyAction ? 1 : 0) | (actions & Qt::MoveAction ? 2 : 0) |
           (actions & Qt::LinkAction ? 4 : 0);
}

Qt::DropActions dropActions(int effects) {
    Qt::DropActions actions;
    if ((effects & 1) != 0) {
        actions |= Qt::CopyAction;
    }
    if ((effects & 2) != 0) {
        actions |= Qt::MoveAction;
    }
    if ((effects & 4) != 0) {
        actions |= Qt::LinkAction;
    }
    return actions;
}

} // namespace InputCodes
