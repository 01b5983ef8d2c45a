#pragma once

#include <Qt>

/// Classic event argument codes the owner-drawn controls raise their events with.
namespace InputCodes {

/// Mouse buttons: 1 left, 2 right, 4 middle.
int buttonCode(Qt::MouseButtons buttons);
/// Modifier keys: 1 Shift, 2 Ctrl, 4 Alt.
int shiftCode(Qt::KeyboardModifiers modifiers);
/// Drop effect: 0 none, 1 copy, 2 move, 4 link.
int effectCode(Qt::DropAction action);
/// Drop effects combined from their codes.
int effectCodes(Qt::DropActions actions);
Qt::DropActions dropActions(int effects);
/// Virtual-key code of a key: letters, digits and space are their upper-case character codes;
/// 0 for keys without one.
int virtualKey(int key);

} // namespace InputCodes
