#include "controls/VelkXpButton.h"

#include "PixelProbe.h"
#include "controls/ControlGallery.h"
#include "controls/VelkXpLook.h"

#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QMap>
#include <QSignalSpy>
#include <QTest>

using VelkXpLook::Look;
using WinColor::Rgb;

namespace {

void moveTo(QWidget& widget, QPoint at, Qt::MouseButtons held = Qt::NoButton) {
    QMouseEvent move(QEvent::MouseMove, at, widget.mapToGlobal(at), Qt::NoButton, held,
                     Qt::NoModifier);
    QApplication::sendEvent(&widget, &move);
}

// Records every event of a button in the order raised.
struct EventLog {
    QStringList entries;
    explicit EventLog(VelkXpButton& button) {
        auto log = [this](const char* name) {
            return [this, name] { entries << QString::fromLatin1(name); };
        };
        QObject::connect(&button, &VelkXpButton::Click, log("Click"));
        QObject::connect(&button, &VelkXpButton::MouseEnter, log("MouseEnter"));
        QObject::connect(&button, &VelkXpButton::MouseLeave, log("MouseLeave"));
        QObject::connect(&button, &VelkXpButton::MouseDown, log("MouseDown"));
        QObject::connect(&button, &VelkXpButton::MouseUp, log("MouseUp"));
        QObject::connect(&button, &VelkXpButton::KeyDown, log("KeyDown"));
        QObject::connect(&button, &VelkXpButton::KeyUp, log("KeyUp"));
    }
    QStringList take() { return std::exchange(entries, {}); }
};

} // namespace

class VelkXpButtonTest final : public QObject {
    Q_OBJECT

private slots:
    void lookFollowsTheState() {
        using VelkXpLook::lookFor;
        QCOMPARE(lookFor({}), Look::Normal);
        QCOMPARE(lookFor({true, false, false, true}), Look::Focused);
        QCOMPARE(lookFor({true, false, true, true}), Look::Hovered);
        QCOMPARE(lookFor({true, true, true, true}), Look::Pressed);
        QCOMPARE(lookFor({false, true, true, true}), Look::Disabled);
        COMPARE_RGB(VelkXpLook::captionColour(Look::Hovered, 1, 2), 2);
        COMPARE_RGB(VelkXpLook::captionColour(Look::Pressed, 1, 2), 1);
        COMPARE_RGB(VelkXpLook::captionColour(Look::Disabled, 1, 2), Rgb(161, 161, 146));
        // Tiny buttons get a flat face only; nothing for an empty one.
        QCOMPARE(VelkXpLook::fills(Look::Hovered, 2, 20).size(), std::size_t{1});
        QVERIFY(VelkXpLook::fills(Look::Normal, 0, 20).empty());
        QVERIFY(VelkXpLook::cutCorners(2, 2).empty());
    }

    void eachLookIsDrawn() {
        VelkXpButton button;
        button.resize(75, 23);
        button.show();
        bool over = false;
        button.setPointerProbe([&over] { return over; });
        const int w = button.width();
        const int h = button.height();
        const int mid = w / 2;

        QImage image = button.grab().toImage();
        COMPARE_RGB(pixel(image, mid, 0), VelkXpLook::OuterFrame);
        COMPARE_RGB(pixel(image, 0, h / 2), VelkXpLook::OuterFrame);
        COMPARE_RGB(pixel(image, 1, 1), VelkXpLook::OuterCorner);
        COMPARE_RGB(pixel(image, mid, 1), VelkXpLook::FaceTop);
        COMPARE_RGB(pixel(image, mid, h - 2), VelkXpLook::FaceBottom);
        QVERIFY(!button.mask().contains(QPoint(0, 0)));
        QVERIFY(!button.mask().contains(QPoint(w - 1, h - 1)));
        QVERIFY(button.mask().contains(QPoint(1, 0)));

        over = true;
        moveTo(button, {5, 5});
        image = button.grab().toImage();
        COMPARE_RGB(pixel(image, mid, 1), VelkXpLook::HoverTop);
        COMPARE_RGB(pixel(image, 2, h / 2), VelkXpLook::HoverSide);
        COMPARE_RGB(pixel(image, mid, h - 2), VelkXpLook::HoverBottom);

        over = false;
        button.HoverTimer_Timer();
        QFocusEvent focusIn(QEvent::FocusIn, Qt::TabFocusReason);
        QApplication::sendEvent(&button, &focusIn);
        image = button.grab().toImage();
        COMPARE_RGB(pixel(image, mid, 1), VelkXpLook::FocusTop);
        COMPARE_RGB(pixel(image, mid, h - 2), VelkXpLook::FocusBottom);
        COMPARE_RGB(pixel(image, mid, h - 3), VelkXpLook::FocusInnerBottom);

        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(5, 5));
        image = button.grab().toImage();
        COMPARE_RGB(pixel(image, 3, h / 2), VelkXpLook::PressedFace);
        COMPARE_RGB(pixel(image, mid, 0), VelkXpLook::OuterFrame);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));

        button.setEnabled(false);
        image = button.grab().toImage();
        COMPARE_RGB(pixel(image, 3, h / 2), VelkXpLook::DisabledFace);
        COMPARE_RGB(pixel(image, mid, 0), VelkXpLook::DisabledFrame);
    }

    void hoverIsPolled() {
        VelkXpButton button;
        bool over = true;
        button.setPointerProbe([&over] { return over; });
        EventLog log(button);
        QSignalSpy moves(&button, &VelkXpButton::MouseMove);

        moveTo(button, {5, 5});
        moveTo(button, {6, 5});
        QCOMPARE(log.take(), QStringList{QStringLiteral("MouseEnter")});
        QCOMPARE(moves.count(), 2);
        QCOMPARE(moves.last(), (QVariantList{0, 0, 6, 5}));
        QCOMPARE(button.look(), Look::Hovered);
        QVERIFY(button.hoverPolling());

        button.HoverTimer_Timer();
        QCOMPARE(button.look(), Look::Hovered);
        over = false;
        button.HoverTimer_Timer();
        QCOMPARE(log.take(), QStringList{QStringLiteral("MouseLeave")});
        QCOMPARE(button.look(), Look::Normal);
        QVERIFY(!button.hoverPolling());

        // Moving in with the left button held looks pressed, starts no poll and raises nothing;
        // the release over the button begins an ordinary hover.
        over = true;
        moveTo(button, {5, 5}, Qt::LeftButton);
        QCOMPARE(button.look(), Look::Pressed);
        QVERIFY(!button.hoverPolling());
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(log.take(),
                 (QStringList{QStringLiteral("MouseUp"), QStringLiteral("MouseEnter")}));
        QVERIFY(button.hoverPolling());
        QCOMPARE(button.look(), Look::Hovered);
    }

    void hoverEndsWhenHiddenOrDisabled() {
        QWidget window;
        auto* button = new VelkXpButton(&window);
        button->setPointerProbe([] { return true; });
        window.show();
        EventLog log(*button);
        moveTo(*button, {5, 5});
        button->hide();
        QVERIFY(!button->hoverPolling());
        QCOMPARE(log.take(),
                 (QStringList{QStringLiteral("MouseEnter"), QStringLiteral("MouseLeave")}));

        button->show();
        moveTo(*button, {5, 5});
        button->setEnabled(false);
        QVERIFY(!button->hoverPolling());
        QCOMPARE(button->look(), Look::Disabled);
        QCOMPARE(log.take(),
                 (QStringList{QStringLiteral("MouseEnter"), QStringLiteral("MouseLeave")}));

        // Disabled, it ignores the pointer and the keys.
        moveTo(*button, {5, 5});
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::keyClick(button, Qt::Key_Space);
        QVERIFY(log.take().isEmpty());
        QVERIFY(!button->hoverPolling());
    }

    void mouseClicks() {
        VelkXpButton button;
        button.resize(75, 23);
        button.show();
        button.setPointerProbe([] { return false; });
        EventLog log(button);
        QSignalSpy downs(&button, &VelkXpButton::MouseDown);

        QTest::mousePress(&button, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 12));
        QCOMPARE(button.look(), Look::Pressed);
        QCOMPARE(downs.last(), (QVariantList{1, 1, 10, 12}));
        QTest::mouseRelease(&button, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 12));
        QCOMPARE(button.look(), Look::Normal);
        QCOMPARE(log.take(), (QStringList{QStringLiteral("MouseDown"), QStringLiteral("MouseUp"),
                                          QStringLiteral("Click")}));

        // Dragged off while held: let go visually, and a release outside is no click.
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
        moveTo(button, {200, 10}, Qt::LeftButton);
        QCOMPARE(button.look(), Look::Normal);
        moveTo(button, {20, 10}, Qt::LeftButton);
        QCOMPARE(button.look(), Look::Pressed);
        moveTo(button, {200, 10}, Qt::LeftButton);
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(200, 10));
        QCOMPARE(log.take(), (QStringList{QStringLiteral("MouseDown"), QStringLiteral("MouseUp")}));

        // The right button neither presses nor clicks; the middle one presses but never clicks.
        QTest::mousePress(&button, Qt::RightButton, {}, QPoint(10, 10));
        QCOMPARE(button.look(), Look::Normal);
        QCOMPARE(downs.last().first().toInt(), 2);
        QTest::mouseRelease(&button, Qt::RightButton, {}, QPoint(10, 10));
        QTest::mousePress(&button, Qt::MiddleButton, {}, QPoint(10, 10));
        QCOMPARE(button.look(), Look::Pressed);
        QTest::mouseRelease(&button, Qt::MiddleButton, {}, QPoint(10, 10));
        QVERIFY(!log.take().contains(QStringLiteral("Click")));

        // A double click arrives as press, release, double click, release: two clicks, since no
        // double-click event exists.
        QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseDClick(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QCOMPARE(log.take(), (QStringList{QStringLiteral("MouseDown"), QStringLiteral("MouseUp"),
                                          QStringLiteral("Click"), QStringLiteral("MouseDown"),
                                          QStringLiteral("MouseUp"), QStringLiteral("Click")}));
    }

    void keyboard() {
        VelkXpButton button;
        EventLog log(button);
        QSignalSpy keyDowns(&button, &VelkXpButton::KeyDown);
        QSignalSpy keyPresses(&button, &VelkXpButton::KeyPress);
        for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
            QTest::keyPress(&button, key);
            QCOMPARE(button.look(), Look::Pressed);
            // A held key repeats; only the real release clicks, once.
            QKeyEvent repeatDown(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
            QKeyEvent repeatUp(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(&button, &repeatUp);
            QApplication::sendEvent(&button, &repeatDown);
            QCOMPARE(button.look(), Look::Pressed);
            QTest::keyRelease(&button, key);
            QCOMPARE(button.look(), Look::Normal);
            QCOMPARE(log.take(), (QStringList{QStringLiteral("KeyDown"), QStringLiteral("KeyDown"),
                                              QStringLiteral("Click"), QStringLiteral("KeyUp")}));
        }
        QCOMPARE(keyDowns.first(), (QVariantList{32, 0}));
        QCOMPARE(keyDowns.at(2), (QVariantList{13, 0}));
        QCOMPARE(keyPresses.first(), (QVariantList{32}));

        // Another key down in between: Space's release lets go but does not click.
        QTest::keyPress(&button, Qt::Key_Space);
        QTest::keyClick(&button, Qt::Key_A);
        QTest::keyRelease(&button, Qt::Key_Space);
        QCOMPARE(button.look(), Look::Normal);
        QVERIFY(!log.take().contains(QStringLiteral("Click")));

        // Space down, Enter up: no click.
        QTest::keyPress(&button, Qt::Key_Space);
        QTest::keyRelease(&button, Qt::Key_Return);
        QVERIFY(!log.take().contains(QStringLiteral("Click")));
        QTest::keyRelease(&button, Qt::Key_Space);
        QCOMPARE(log.take(), (QStringList{QStringLiteral("Click"), QStringLiteral("KeyUp")}));
    }

    void arrowsMoveTheFocus() {
        QWidget window;
        VelkXpButton* buttons[3] = {new VelkXpButton(&window), new VelkXpButton(&window),
                                    new VelkXpButton(&window)};
        buttons[1]->move(0, 30);
        buttons[2]->move(0, 60);
        window.show();
        buttons[0]->setFocus();
        QTest::keyClick(buttons[0], Qt::Key_Right);
        QCOMPARE(window.focusWidget(), buttons[1]);
        QTest::keyClick(buttons[1], Qt::Key_Down);
        QCOMPARE(window.focusWidget(), buttons[0]);
        QTest::keyClick(buttons[0], Qt::Key_Up);
        QCOMPARE(window.focusWidget(), buttons[2]);
    }

    void designDataOmitsDefaultsAndReadsBack() {
        QWidget window;
        VelkXpButton placed(&window);
        QVERIFY(placed.writeProperties().isEmpty());

        VelkXpButton source(&window);
        source.setObjectName(QStringLiteral("cmdOk"));
        source.setCaption(QStringLiteral("&Go"));
        source.setForeHover(Rgb(0, 0, 160));
        source.setEnabled(false);
        const QVariantMap written = source.writeProperties();
        QCOMPARE(written.keys(), (QStringList{QStringLiteral("Caption"), QStringLiteral("Enabled"),
                                              QStringLiteral("ForeHover")}));

        VelkXpButton target(&window);
        target.setObjectName(QStringLiteral("cmdOk"));
        target.setForeColor(Rgb(1, 2, 3));
        QSignalSpy changed(&target, &VelkXpButton::propertyChanged);
        target.readProperties(written);
        QCOMPARE(target.writeProperties(), written);
        QCOMPARE(target.ForeColor(), WinColor::System(18));
        QCOMPARE(changed.count(), 0);
        target.setCaption(QStringLiteral("cmdOk"));
        QVERIFY(!target.writeProperties().contains(QStringLiteral("Caption")));
    }

    void captionIsTheDesignNameUntilSet() {
        QWidget form;
        VelkXpButton placed(&form);
        QSignalSpy changed(&placed, &VelkXpButton::propertyChanged);
        placed.setObjectName(QStringLiteral("VelkXpButton1"));
        QCOMPARE(placed.Caption(), QStringLiteral("VelkXpButton1"));
        QCOMPARE(changed.count(), 1);
        QVERIFY(placed.writeProperties().isEmpty());
        placed.setObjectName(QStringLiteral("cmdScan"));
        QCOMPARE(placed.Caption(), QStringLiteral("cmdScan"));

        // A caption of its own stays when the button is renamed.
        placed.setCaption(QStringLiteral("&Scan"));
        placed.setObjectName(QStringLiteral("cmdStart"));
        QCOMPARE(placed.Caption(), QStringLiteral("&Scan"));

        // Design data without a caption names the button; it follows the name from then on.
        VelkXpButton loaded(&form);
        loaded.setObjectName(QStringLiteral("cmdOk"));
        loaded.readProperties({});
        loaded.setObjectName(QStringLiteral("cmdYes"));
        QCOMPARE(loaded.Caption(), QStringLiteral("cmdYes"));
    }

    void defaultButtonDrawsItsOutlineAndTakesEnter() {
        QCOMPARE(VelkXpLook::lookFor({true, false, false, false, true}), Look::Default);
        QCOMPARE(VelkXpLook::lookFor({true, false, false, true, true}), Look::Focused);
        QCOMPARE(VelkXpLook::lookFor({false, false, false, false, true}), Look::Disabled);

        QWidget dialog;
        auto* edit = new QLineEdit(&dialog);
        auto* ok = new VelkXpButton(&dialog);
        auto* cancel = new VelkXpButton(&dialog);
        ok->setGeometry(0, 30, 75, 23);
        cancel->setGeometry(80, 30, 75, 23);
        ok->setDefault(true);
        dialog.show();
        edit->setFocus();
        QCOMPARE(ok->look(), Look::Default);
        const QImage image = ok->grab().toImage();
        COMPARE_RGB(pixel(image, 37, 1), VelkXpLook::DefaultTop);
        COMPARE_RGB(pixel(image, 1, 11), VelkXpLook::DefaultSide);
        COMPARE_RGB(pixel(image, 37, 21), VelkXpLook::DefaultBottom);
        COMPARE_RGB(pixel(image, 37, 2), VelkXpLook::DefaultInner);
        COMPARE_RGB(pixel(image, 2, 11), VelkXpLook::DefaultInner);
        COMPARE_RGB(pixel(image, 37, 20), VelkXpLook::DefaultInnerBottom);
        COMPARE_RGB(pixel(image, 37, 0), VelkXpLook::OuterFrame);

        // Enter in a widget that leaves it clicks the default button once.
        EventLog okLog(*ok);
        EventLog cancelLog(*cancel);
        QTest::keyClick(edit, Qt::Key_Return);
        QTest::keyClick(edit, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(okLog.take(), (QStringList{QStringLiteral("Click"), QStringLiteral("Click")}));
        QTest::keyClick(edit, Qt::Key_Return, Qt::ControlModifier);
        QVERIFY(okLog.take().isEmpty());

        // A focused button answers Enter itself; the window has one default button at a time.
        cancel->setFocus();
        QTest::keyClick(cancel, Qt::Key_Return);
        QVERIFY(okLog.take().isEmpty());
        QVERIFY(cancelLog.take().contains(QStringLiteral("Click")));
        cancel->setDefault(true);
        QVERIFY(!ok->isDefault());
        QCOMPARE(ok->look(), Look::Normal);
        edit->setFocus();
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(okLog.take().isEmpty());
        QCOMPARE(cancelLog.take(), QStringList{QStringLiteral("Click")});
        cancel->setEnabled(false);
        QTest::keyClick(edit, Qt::Key_Return);
        QVERIFY(cancelLog.take().isEmpty());
    }

    void gallerySamplesShowTheirStatesWhateverTheInput() {
        ControlGallery gallery;
        gallery.show();
        QMap<QString, VelkXpButton*> samples;
        for (VelkXpButton* sample : gallery.findChildren<VelkXpButton*>()) {
            samples.insert(sample->Caption(), sample);
        }
        VelkXpButton* hovered = samples.value(QStringLiteral("&Hovered"));
        VelkXpButton* focused = samples.value(QStringLiteral("&Focused"));
        VelkXpButton* pressed = samples.value(QStringLiteral("&Pressed"));
        VelkXpButton* byDefault = samples.value(QStringLiteral("D&efault"));
        QVERIFY(hovered && focused && pressed && byDefault);

        // What a real display does next: the pointer is elsewhere, the focus moves on, a press
        // on the pressed sample ends.
        hovered->HoverTimer_Timer();
        QFocusEvent focusOut(QEvent::FocusOut, Qt::TabFocusReason);
        QApplication::sendEvent(focused, &focusOut);
        QTest::mouseClick(pressed, Qt::LeftButton, {}, QPoint(5, 5));
        for (int round = 0; round < 2; ++round) {
            const int mid = hovered->width() / 2;
            const int h = hovered->height();
            COMPARE_RGB(pixel(hovered->grab().toImage(), mid, 1), VelkXpLook::HoverTop);
            COMPARE_RGB(pixel(focused->grab().toImage(), mid, 1), VelkXpLook::FocusTop);
            COMPARE_RGB(pixel(pressed->grab().toImage(), 3, h / 2), VelkXpLook::PressedFace);
            COMPARE_RGB(pixel(byDefault->grab().toImage(), mid, 1), VelkXpLook::DefaultTop);
            gallery.showStates(); // a second call changes nothing
        }
        hovered->setShownLook(std::nullopt);
        QCOMPARE(hovered->look(), Look::Normal);
    }

    void announcesItsCaption() {
        VelkXpButton button;
        button.setCaption(QStringLiteral("&Save && close"));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&button);
        QVERIFY(accessible != nullptr);
        QCOMPARE(accessible->role(), QAccessible::Button);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Save & close"));
    }
};

int runVelkXpButtonTests(int argc, char** argv) {
    VelkXpButtonTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "VelkXpButtonTest.moc"
