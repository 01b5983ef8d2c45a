#include "controls/Button.h"

#include "PixelProbe.h"
#include "controls/ButtonLook.h"

#include <QApplication>
#include <QDrag>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QSignalSpy>
#include <QTest>

using WinColor::Rgb;

namespace {

QImage painted(Button& button) {
    return button.grab().toImage();
}

} // namespace

class ButtonTest final : public QObject {
    Q_OBJECT

private slots:
    void presetsSetColoursAndStyleSevenForcesItsOutlines() {
        ButtonLook::Colours colours;
        ButtonLook::applyThemePreset(3, colours);
        COMPARE_RGB(colours.back, Rgb(157, 160, 181));
        COMPARE_RGB(colours.border, Rgb(157, 160, 181));
        COMPARE_RGB(colours.borderHover, Rgb(157, 160, 181));
        COMPARE_RGB(colours.borderPressed, Rgb(157, 160, 181));

        const ButtonLook::Colours themed = colours;
        ButtonLook::applyThemePreset(0, colours);
        QCOMPARE(colours, themed);

        ButtonLook::forceOutlines(7, 1, true, colours);
        COMPARE_RGB(colours.border, Rgb(142, 143, 143));
        COMPARE_RGB(colours.borderHover, Rgb(60, 127, 177));
        COMPARE_RGB(colours.borderPressed, Rgb(29, 65, 92));
        ButtonLook::forceOutlines(7, 1, false, colours);
        COMPARE_RGB(colours.border, Rgb(173, 178, 181));
        ButtonLook::forceOutlines(7, 0, false, colours);
        COMPARE_RGB(colours.border, Rgb(142, 143, 143));

        int styleColors = 2;
        ButtonLook::applyStylePreset(6, colours, styleColors);
        QCOMPARE(styleColors, 3);
        COMPARE_RGB(colours.back, Rgb(221, 222, 210));
        ButtonLook::applyStylePreset(4, colours, styleColors);
        QCOMPARE(styleColors, 1);
        styleColors = 0;
        ButtonLook::applyStylePreset(4, colours, styleColors);
        QCOMPARE(styleColors, 0);
        const ButtonLook::Colours before = colours;
        ButtonLook::applyStylePreset(9, colours, styleColors);
        QCOMPARE(colours, before);
    }

    void styleSevenGradientFollowsTheState() {
        ButtonLook::Colours colours;
        int styleColors = 1;
        ButtonLook::applyStylePreset(7, colours, styleColors);
        using G = ButtonLook::Gradient;
        QCOMPARE(ButtonLook::gradientColours(7, 1, colours, {false, false, true}),
                 (G{Rgb(216, 216, 216), Rgb(239, 239, 239)}));
        QCOMPARE(ButtonLook::gradientColours(7, 1, colours, {false, true, true}),
                 (G{Rgb(165, 219, 247), Rgb(247, 252, 254)}));
        QCOMPARE(ButtonLook::gradientColours(7, 1, colours, {true, true, true}),
                 (G{Rgb(146, 206, 239), Rgb(213, 236, 248)}));
        QCOMPARE(ButtonLook::gradientColours(7, 1, colours, {false, false, false}),
                 (G{Rgb(240, 240, 240), Rgb(244, 244, 244)}));
        // Other styles: the base colour and the state's colour, the pressed one when idle.
        QCOMPARE(ButtonLook::gradientColours(5, 1, colours, {false, false, true}),
                 (G{colours.back, colours.backPressed}));
        QCOMPARE(ButtonLook::gradientColours(5, 1, colours, {false, true, true}),
                 (G{colours.back, colours.backHover}));
    }

    void captionPlacement_data() {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("textWidth");
        QTest::addColumn<int>("textHeight");
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        // Top and left take 5 plus a fraction of the free space, rounded half to even.
        QTest::newRow("top") << 80 << 33 << 40 << 15 << 0 << 20 << 6;
        QTest::newRow("top, caption taller") << 80 << 25 << 40 << 50 << 0 << 20 << 4;
        QTest::newRow("left, caption wider: half rounds to even")
            << 80 << 33 << 120 << 15 << 1 << 4 << 9;
        QTest::newRow("left, below half") << 80 << 33 << 20 << 15 << 1 << 6 << 9;
        QTest::newRow("centre") << 80 << 33 << 40 << 15 << 2 << 20 << 9;
        QTest::newRow("centre, odd space rounds to even") << 81 << 33 << 40 << 14 << 2 << 20 << 10;
        QTest::newRow("right") << 80 << 33 << 40 << 15 << 3 << 35 << 9;
        QTest::newRow("bottom") << 80 << 33 << 40 << 15 << 4 << 20 << 13;
        QTest::newRow("wider than the button") << 80 << 33 << 100 << 15 << 2 << -10 << 9;
    }

    void captionPlacement() {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, textWidth);
        QFETCH(int, textHeight);
        QFETCH(int, alignment);
        QFETCH(int, x);
        QFETCH(int, y);
        QCOMPARE(ButtonLook::captionPosition(width, height, textWidth, textHeight, alignment),
                 (ButtonLook::Point{x, y}));
    }

    void sizeRules() {
        QCOMPARE(ButtonLook::MinimumSide, 25);
        QCOMPARE(ButtonLook::paintedSize({13, 13}, 0), (ButtonLook::Size{25, 25}));
        QCOMPARE(ButtonLook::paintedSize({80, 33}, 1), (ButtonLook::Size{80, 33}));
        QCOMPARE(ButtonLook::paintedSize({80, 33}, 2), (ButtonLook::Size{80, 80}));
        QCOMPARE(ButtonLook::paintedSize({10, 40}, 11), (ButtonLook::Size{25, 25}));

        Button button;
        QCOMPARE(button.size(), QSize(80, 33));
        button.resize(13, 13);
        QCOMPARE(button.size(), QSize(25, 25));
        button.resize(60, 30);
        button.setButtonShape(2);
        QCOMPARE(button.size(), QSize(60, 60));
        button.resize(70, 30);
        button.grab();
        QCOMPARE(button.size(), QSize(70, 70));
    }

    void programButtonPaintsTheStyleSevenOutlines() {
        QWidget window;
        Button* plain = Button::programButton(&window, QStringLiteral("Scan"), QString());
        plain->setButtonStyle(3);
        plain->setButtonTheme(3);
        COMPARE_RGB(plain->BorderColor(), Rgb(157, 160, 181));

        // Style 7 replaces the theme's outline colours when the setter repaints.
        Button* button = Button::programButton(&window, QStringLiteral("Scan"), QString());
        button->setButtonTheme(3);
        COMPARE_RGB(button->BackColor(), Rgb(157, 160, 181));
        COMPARE_RGB(button->BorderColor(), Rgb(142, 143, 143));
        COMPARE_RGB(button->BorderColorPressed(), Rgb(29, 65, 92));

        const QImage idle = painted(*button);
        COMPARE_RGB(pixel(idle, 0, 0), Rgb(142, 143, 143));
        COMPARE_RGB(pixel(idle, button->width() - 1, button->height() - 1), Rgb(142, 143, 143));
        COMPARE_RGB(pixel(idle, 1, 1), Rgb(255, 255, 255));
        // The lower band starts with the base colour.
        const int middle = ButtonLook::glassBands(button->height())[1].start;
        COMPARE_RGB(pixel(idle, 3, middle), button->BackColor());

        QEnterEvent enter(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
        QApplication::sendEvent(button, &enter);
        COMPARE_RGB(pixel(painted(*button), 0, 0), Rgb(60, 127, 177));

        QTest::mousePress(button, Qt::LeftButton);
        const QImage pressed = painted(*button);
        COMPARE_RGB(pixel(pressed, 0, 0), Rgb(29, 65, 92));
        COMPARE_RGB(pixel(pressed, 1, 1), Rgb(115, 176, 207));
        QTest::mouseRelease(button, Qt::LeftButton);

        QFocusEvent focus(QEvent::FocusIn);
        QApplication::sendEvent(button, &focus);
        COMPARE_RGB(pixel(painted(*button), 1, 1), Rgb(4, 204, 254));
    }

    void disabledStyleSevenIsGrey() {
        QWidget window;
        Button* button = Button::programButton(&window, QStringLiteral("Scan"), QString());
        button->setEnabled(false);
        const QImage image = painted(*button);
        COMPARE_RGB(pixel(image, 0, 0), Rgb(173, 178, 181));
        COMPARE_RGB(button->BorderColor(), Rgb(173, 178, 181));
        const int middle = ButtonLook::glassBands(button->height())[1].start;
        COMPARE_RGB(pixel(image, 3, middle), Rgb(240, 240, 240));

        button->setEnabled(true);
        COMPARE_RGB(pixel(painted(*button), 0, 0), Rgb(142, 143, 143));
    }

    void pushButtonClicksOnceAndLeavingCancels() {
        Button button;
        button.setButtonStyle(7);
        QSignalSpy clicks(&button, &Button::Click);
        QSignalSpy downs(&button, &Button::MouseDown);
        QTest::mouseClick(&button, Qt::LeftButton, Qt::ShiftModifier, QPoint(10, 12));
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(downs.count(), 1);
        QCOMPARE(downs.first(), (QVariantList{1, 1, 10, 12}));

        // Pressed, dragged out and released outside: released look, no click.
        QTest::mousePress(&button, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(&button, QPoint(button.width() + 20, 10));
        COMPARE_RGB(pixel(painted(button), 1, 1), Rgb(255, 255, 255));
        QTest::mouseRelease(&button, Qt::LeftButton, {}, QPoint(button.width() + 20, 10));
        QCOMPARE(clicks.count(), 1);

        QTest::mouseClick(&button, Qt::RightButton);
        QCOMPARE(clicks.count(), 1);
    }

    void toggleButtonStaysDownUntilClickedAgain() {
        Button button;
        button.setButtonStyle(7);
        button.setButtonType(1);
        QSignalSpy clicks(&button, &Button::Click);

        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(button.Value(), true);
        COMPARE_RGB(pixel(painted(button), 1, 1), Rgb(115, 176, 207));

        QTest::mouseClick(&button, Qt::LeftButton);
        QCOMPARE(button.Value(), false);
        COMPARE_RGB(pixel(painted(button), 1, 1), Rgb(255, 255, 255));
        QCOMPARE(clicks.count(), 2);
    }

    void keyboard() {
        Button button;
        QSignalSpy clicks(&button, &Button::Click);
        QSignalSpy downs(&button, &Button::MouseDown);
        QSignalSpy keyDowns(&button, &Button::KeyDown);
        QSignalSpy keyPresses(&button, &Button::KeyPress);
        QSignalSpy keyUps(&button, &Button::KeyUp);

        QTest::keyClick(&button, Qt::Key_Space);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(keyDowns.first(), (QVariantList{32, 0}));
        QCOMPARE(keyPresses.first(), (QVariantList{32}));
        QCOMPARE(keyUps.count(), 1);

        // Enter's release raises MouseDown with zero arguments instead of a click.
        QTest::keyClick(&button, Qt::Key_Return);
        QCOMPARE(clicks.count(), 1);
        QCOMPARE(downs.count(), 1);
        QCOMPARE(downs.first(), (QVariantList{0, 0, 0, 0}));
        QCOMPARE(keyDowns.last(), (QVariantList{13, 0}));

        QTest::keyClick(&button, Qt::Key_A, Qt::ShiftModifier | Qt::ControlModifier);
        QCOMPARE(keyDowns.last(), (QVariantList{65, 3}));
    }

    // The look follows the key: pressed while Space or Enter is down, drawn normal again as soon
    // as it is let go, with no pointer involved.
    void keysPressTheLookOnlyWhileDown() {
        Button button;
        button.setButtonStyle(7);
        QSignalSpy clicks(&button, &Button::Click);
        for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
            QTest::keyPress(&button, key);
            QVERIFY(button.lookState().pressed);
            COMPARE_RGB(pixel(painted(button), 1, 1), ButtonLook::GlassInnerPressed);
            // A held key repeats its release; the button stays down until the real one.
            QKeyEvent repeated(QEvent::KeyRelease, key, Qt::NoModifier, QString(), true);
            QApplication::sendEvent(&button, &repeated);
            QVERIFY(button.lookState().pressed);
            QTest::keyRelease(&button, key);
            QVERIFY(!button.lookState().pressed);
            COMPARE_RGB(pixel(painted(button), 1, 1), ButtonLook::GlassInner);
        }
        QCOMPARE(clicks.count(), 1); // Space only

        // A toggle goes down with Space and stays down while its Value holds.
        button.setButtonType(1);
        QTest::keyClick(&button, Qt::Key_Space);
        QVERIFY(button.Value());
        QVERIFY(button.lookState().pressed);
        QTest::keyClick(&button, Qt::Key_Return);
        QVERIFY(button.lookState().pressed);
        QTest::keyClick(&button, Qt::Key_Space);
        QVERIFY(!button.Value());
        QVERIFY(!button.lookState().pressed);
    }

    void settersReportTheirProperty() {
        Button button;
        QSignalSpy changed(&button, &Button::propertyChanged);
        button.setCaption(QStringLiteral("Stop"));
        button.setButtonTheme(2);
        button.setEnabled(false);
        QCOMPARE(changed.count(), 3);
        QCOMPARE(changed.at(0).first().toString(), QStringLiteral("Caption"));
        QCOMPARE(changed.at(1).first().toString(), QStringLiteral("ButtonTheme"));
        QCOMPARE(changed.at(2).first().toString(), QStringLiteral("Enabled"));
    }

    void designDataOmitsDefaultsAndReadsBack() {
        QWidget window;
        Button placed(&window);
        // A newly placed button differs from the defaults in its font face and in the system
        // outline colours its style imposes.
        QCOMPARE(placed.writeProperties().keys(),
                 (QStringList{QStringLiteral("BorderColor"), QStringLiteral("BorderColorHover"),
                              QStringLiteral("BorderColorPressed"), QStringLiteral("Font")}));

        Button* source = Button::programButton(&window, QStringLiteral("Scan"), QString());
        source->setObjectName(QStringLiteral("cmdScan"));
        source->setForeColorPressed(Rgb(0, 0, 255));
        source->setButtonType(1);
        source->setValue(true);
        source->setEnabled(false);
        const QVariantMap written = source->writeProperties();
        QCOMPARE(written.value(QStringLiteral("ButtonStyle")).toInt(), 7);
        QCOMPARE(written.value(QStringLiteral("Caption")).toString(), QStringLiteral("Scan"));
        QCOMPARE(written.value(QStringLiteral("Enabled")).toBool(), false);
        QVERIFY(!written.contains(QStringLiteral("ButtonShape")));
        QVERIFY(!written.contains(QStringLiteral("ForeColor")));
        QVERIFY(!written.contains(QStringLiteral("Picture")));

        Button target(&window);
        target.setObjectName(QStringLiteral("cmdScan"));
        target.setCaptionEffect(3);
        QSignalSpy changed(&target, &Button::propertyChanged);
        target.readProperties(written);
        QCOMPARE(target.writeProperties(), written);
        QCOMPARE(target.CaptionEffect(), 0);
        QCOMPARE(changed.count(), 0);

        // A caption equal to the design name is the default.
        target.setCaption(QStringLiteral("cmdScan"));
        QVERIFY(!target.writeProperties().contains(QStringLiteral("Caption")));
    }

    // A drag asks the host for its data, supplies a declared format when the target reads it,
    // reports the proposed effect and ends with the effect taken. The drag loop is replaced,
    // since a real one waits for the pointer.
    void dragRaisesItsEventsInOrder() {
        Button button;
        const QString report = QStringLiteral("application/x-kesto-report");
        QStringList order;
        connect(&button, &Button::OLEStartDrag, [&](QMimeData* data, int* allowed) {
            order << QStringLiteral("OLEStartDrag %1").arg(*allowed);
            data->setData(QStringLiteral("text/plain"), "Scan");
            data->setData(report, QByteArray());
            *allowed = 1;
        });
        connect(&button, &Button::OLESetData, [&](QMimeData* data, const QString& format) {
            order << QStringLiteral("OLESetData ") + format;
            data->setData(format, "3 files");
        });
        connect(&button, &Button::OLEGiveFeedback, [&](int effect, bool defaultCursors) {
            order << QStringLiteral("OLEGiveFeedback %1 %2").arg(effect).arg(defaultCursors);
        });
        connect(&button, &Button::OLECompleteDrag,
                [&](int effect) { order << QStringLiteral("OLECompleteDrag %1").arg(effect); });

        Qt::DropActions offered;
        QByteArray plain;
        QByteArray supplied;
        Button::SetDragRunner([&](QDrag& drag, Qt::DropActions allowed) {
            offered = allowed;
            plain = drag.mimeData()->data(QStringLiteral("text/plain"));
            supplied = drag.mimeData()->data(report);
            supplied = drag.mimeData()->data(report);
            emit drag.actionChanged(Qt::CopyAction);
            return Qt::CopyAction;
        });
        button.OLEDrag();
        QCOMPARE(order, (QStringList{QStringLiteral("OLEStartDrag 3"),
                                     QStringLiteral("OLESetData application/x-kesto-report"),
                                     QStringLiteral("OLEGiveFeedback 1 1"),
                                     QStringLiteral("OLECompleteDrag 1")}));
        QCOMPARE(offered, Qt::DropActions(Qt::CopyAction));
        QCOMPARE(plain, QByteArray("Scan"));
        QCOMPARE(supplied, QByteArray("3 files"));

        // A target that refuses ends the drag with no effect.
        order.clear();
        Button::SetDragRunner([](QDrag&, Qt::DropActions) { return Qt::IgnoreAction; });
        button.OLEDrag();
        QCOMPARE(order.last(), QStringLiteral("OLECompleteDrag 0"));

        // Allowing no effect cancels the drag before it starts.
        order.clear();
        connect(&button, &Button::OLEStartDrag, [](QMimeData*, int* allowed) { *allowed = 0; });
        bool ran = false;
        Button::SetDragRunner([&ran](QDrag&, Qt::DropActions) {
            ran = true;
            return Qt::CopyAction;
        });
        button.OLEDrag();
        QVERIFY(!ran);
        QCOMPARE(order, QStringList{QStringLiteral("OLEStartDrag 3")});
        Button::SetDragRunner(nullptr);

        QCOMPARE(button.hDC(), static_cast<QPaintDevice*>(&button));
        QVERIFY(button.hwnd() != 0);
    }

    // As a drop target the button accepts what is offered and reports enter (0), over (2) and
    // leave (1) with the data, effect, buttons, shift state and position, then the drop.
    void dropTargetReportsEnterOverLeaveAndDrop() {
        Button button;
        button.setAcceptDrops(true);
        QStringList reports;
        const QMimeData* seen = nullptr;
        connect(
            &button, &Button::OLEDragOver,
            [&](const QMimeData* data, int effect, int mouse, int shift, int x, int y, int state) {
                seen = data;
                reports << QStringLiteral("over %1 %2 %3 %4 %5 %6")
                               .arg(state)
                               .arg(effect)
                               .arg(mouse)
                               .arg(shift)
                               .arg(x)
                               .arg(y);
            });
        connect(&button, &Button::OLEDragDrop,
                [&](const QMimeData* data, int effect, int mouse, int shift, int x, int y) {
                    seen = data;
                    reports << QStringLiteral("drop %1 %2 %3 %4 %5")
                                   .arg(effect)
                                   .arg(mouse)
                                   .arg(shift)
                                   .arg(x)
                                   .arg(y);
                });
        QMimeData data;
        const QPoint at(7, 9);

        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::ControlModifier);
        QApplication::sendEvent(&button, &enter);
        QVERIFY(enter.isAccepted());
        QCOMPARE(seen, &data);
        QDragMoveEvent move(at + QPoint(1, 1), Qt::CopyAction, &data, Qt::LeftButton,
                            Qt::ControlModifier);
        QApplication::sendEvent(&button, &move);
        QVERIFY(move.isAccepted());
        QDragLeaveEvent leave;
        QApplication::sendEvent(&button, &leave);
        QCOMPARE(seen, nullptr);
        QDropEvent drop(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::ControlModifier);
        // The application routes a drop only to the target of a running drag, so the button
        // gets it directly.
        static_cast<QObject&>(button).event(&drop);
        QVERIFY(drop.isAccepted());
        QCOMPARE(seen, &data);

        QCOMPARE(reports.size(), 4);
        QCOMPARE(reports.at(0), QStringLiteral("over 0 1 1 2 7 9"));
        QCOMPARE(reports.at(1), QStringLiteral("over 2 1 1 2 8 10"));
        QVERIFY(reports.at(2).startsWith(QStringLiteral("over 1 0 ")));
        QCOMPARE(reports.at(3), QStringLiteral("drop 1 1 2 7 9"));
    }
};

int runButtonTests(int argc, char** argv) {
    ButtonTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ButtonTest.moc"
