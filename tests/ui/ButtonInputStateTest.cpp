#include "controls/ButtonInputState.h"

#include <gtest/gtest.h>

using Key = ButtonInputState::Key;
using KeyRelease = ButtonInputState::KeyRelease;

TEST(ButtonInputStateMouse, OnlyALeftPressReleasedInsideClicks) {
    ButtonInputState input;
    input.mousePress(true);
    EXPECT_TRUE(input.pressed());
    EXPECT_TRUE(input.hovered()); // a press is over the button even without an enter
    EXPECT_TRUE(input.mouseRelease(true, true));
    EXPECT_FALSE(input.pressed());

    input.mousePress(true);
    EXPECT_FALSE(input.mouseRelease(true, false)); // let go outside
    input.mousePress(false);
    EXPECT_FALSE(input.mouseRelease(false, true)); // right button
    // The release of another button neither clicks nor disarms the left press.
    input.mousePress(true);
    EXPECT_FALSE(input.mouseRelease(false, true));
    EXPECT_TRUE(input.mouseRelease(true, true));
    EXPECT_FALSE(input.mouseRelease(true, true)); // a second release is no second click
}

TEST(ButtonInputStateMouse, LeavingCancelsTheClickAndMovingInsideKeepsThePress) {
    ButtonInputState input;
    input.mousePress(true);
    EXPECT_FALSE(input.hover(true)); // still over the button: nothing changes
    EXPECT_TRUE(input.pressed());
    EXPECT_TRUE(input.hover(false));
    EXPECT_FALSE(input.pressed());
    EXPECT_TRUE(input.hover(true));
    EXPECT_FALSE(input.pressed()); // coming back does not press it again
    EXPECT_FALSE(input.mouseRelease(true, true));
}

TEST(ButtonInputStateMouse, TheSecondPressOfADoubleClickDoesNotClick) {
    ButtonInputState input;
    input.mousePress(true);
    EXPECT_TRUE(input.mouseRelease(true, true));
    input.doubleClick();
    EXPECT_TRUE(input.pressed());
    EXPECT_FALSE(input.mouseRelease(true, true));
    // Not even when it follows a press whose release has not been seen.
    input.mousePress(true);
    input.doubleClick();
    EXPECT_FALSE(input.mouseRelease(true, true));
}

TEST(ButtonInputStateKeys, SpaceClicksEnterIsReportedAndRepeatsAreIgnored) {
    ButtonInputState input;
    EXPECT_FALSE(input.keyPress(Key::Space, true));
    EXPECT_FALSE(input.pressed());
    EXPECT_FALSE(input.keyPress(Key::Other, false));
    EXPECT_EQ(input.keyRelease(Key::Other), KeyRelease::Nothing);

    EXPECT_TRUE(input.keyPress(Key::Space, false));
    EXPECT_TRUE(input.pressed());
    EXPECT_EQ(input.keyRelease(Key::Space), KeyRelease::Click);
    input.keyReleased(Key::Space);
    EXPECT_FALSE(input.pressed());

    EXPECT_TRUE(input.keyPress(Key::Enter, false));
    EXPECT_EQ(input.keyRelease(Key::Enter), KeyRelease::ReleaseEnter);
}

TEST(ButtonInputStateKeys, SpaceClicksOnlyWhileArmedByItsOwnPress) {
    ButtonInputState input;
    // Enter pressed after Space takes the arming away.
    input.keyPress(Key::Space, false);
    input.keyPress(Key::Enter, false);
    EXPECT_EQ(input.keyRelease(Key::Space), KeyRelease::Release);
    input.keyReleased(Key::Space);

    // Another key's release lets the button go but keeps Space armed until Space is done.
    input.keyPress(Key::Space, false);
    EXPECT_EQ(input.keyRelease(Key::Other), KeyRelease::Release);
    input.keyReleased(Key::Other);
    input.setPressed(true);
    EXPECT_EQ(input.keyRelease(Key::Space), KeyRelease::Click);
    input.keyReleased(Key::Space);
    input.setPressed(true);
    EXPECT_EQ(input.keyRelease(Key::Space), KeyRelease::Release);

    // A mouse press held down is let go by a key, without a click.
    input.mousePress(true);
    EXPECT_EQ(input.keyRelease(Key::Space), KeyRelease::Release);
}

TEST(ButtonInputStateFocus, LosingFocusOrBeingDisabledDropsWhatIsInProgress) {
    ButtonInputState input;
    input.focusIn();
    EXPECT_TRUE(input.focused());
    input.keyPress(Key::Space, false);
    input.focusOut();
    EXPECT_FALSE(input.focused());
    EXPECT_EQ(input.keyRelease(Key::Space), KeyRelease::Release);

    input.mousePress(true);
    input.keyPress(Key::Space, false);
    input.disable();
    EXPECT_FALSE(input.pressed());
    EXPECT_FALSE(input.hovered());
    EXPECT_FALSE(input.mouseRelease(true, true));
    input.setPressed(true);
    EXPECT_EQ(input.keyRelease(Key::Space), KeyRelease::Release);
}
