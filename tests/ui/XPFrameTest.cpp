#include "controls/XPFrame.h"

#include "PixelProbe.h"
#include "controls/ControlError.h"
#include "controls/DevicePixels.h"
#include "controls/XPFrameLook.h"
#include "platform/ScopedSeam.h"

#include <QAccessible>
#include <QPainter>
#include <QSignalSpy>
#include <QTest>

using WinColor::Rgb;
namespace Look = XPFrameLook;

namespace {

QImage painted(XPFrame& frame) {
    return frame.grab().toImage();
}

// Leftmost column of the header band holding caption ink: dark blue pixels, far darker than
// the header and unlike the red test icon.
int captionInkLeft(const QImage& image, int band) {
    for (int x = 0; x < image.width(); ++x) {
        for (int y = 1; y < band - 1; ++y) {
            const QRgb p = image.pixel(x, y);
            if (qGray(p) < 140 && qRed(p) < 100) {
                return x;
            }
        }
    }
    return -1;
}

QImage redSquare() {
    QImage icon(16, 16, QImage::Format_RGB32);
    icon.fill(QColor(255, 0, 0));
    return icon;
}

/// An icon lookup that knows one icon, 101: a red square.
XPFrame::IconLoader redIcon101() {
    return [](const QVariant& id) { return id.toInt() == 101 ? redSquare() : QImage(); };
}

} // namespace

class XPFrameTest final : public QObject {
    Q_OBJECT

private slots:
    void anglesAreNormalised() {
        QCOMPARE(Look::normalisedAngle(0), 0);
        QCOMPARE(Look::normalisedAngle(450), 90);
        QCOMPARE(Look::normalisedAngle(-90), 270);
        QCOMPARE(Look::normalisedAngle(-450), 270);
        QCOMPARE(Look::normalisedAngle(720), 0);
    }

    void gradientEndsAreTheTwoColours_data() {
        QTest::addColumn<int>("angle");
        // Pixels where the gradient starts (second colour) and ends (first colour).
        QTest::addColumn<QPoint>("start");
        QTest::addColumn<QPoint>("end");
        QTest::newRow("0: left to right") << 0 << QPoint(0, 10) << QPoint(39, 10);
        QTest::newRow("45: bottom left to top right") << 45 << QPoint(0, 29) << QPoint(39, 0);
        QTest::newRow("90: bottom to top") << 90 << QPoint(20, 29) << QPoint(20, 0);
        QTest::newRow("180: right to left") << 180 << QPoint(39, 10) << QPoint(0, 10);
        QTest::newRow("270: top to bottom") << 270 << QPoint(20, 0) << QPoint(20, 29);
        QTest::newRow("-90 is 270") << -90 << QPoint(5, 0) << QPoint(5, 29);
        QTest::newRow("450 is 90") << 450 << QPoint(5, 29) << QPoint(5, 0);
        QTest::newRow("135: bottom right to top left") << 135 << QPoint(39, 29) << QPoint(0, 0);
    }

    void gradientEndsAreTheTwoColours() {
        QFETCH(int, angle);
        QFETCH(QPoint, start);
        QFETCH(QPoint, end);
        const WinColor::Value first = Rgb(211, 224, 247);
        const WinColor::Value second = Rgb(20, 90, 160);
        const Look::Gradient gradient(40, 30, first, second, angle);
        QVERIFY(gradient.lineCount() >= 30);
        COMPARE_RGB(gradient.lineColour(0), second);
        COMPARE_RGB(gradient.lineColour(gradient.lineCount() - 1), first);
        COMPARE_RGB(gradient.colourAt(start.x(), start.y()), second);
        COMPARE_RGB(gradient.colourAt(end.x(), end.y()), first);
        // Every pixel lies on a line, so none is left unpainted.
        for (int y = 0; y < 30; ++y) {
            for (int x = 0; x < 40; ++x) {
                const int k = gradient.lineAt(x, y);
                QVERIFY2(k >= 0 && k < gradient.lineCount(), qPrintable(QString::number(k)));
            }
        }
    }

    // Right angles have no finite tangent: their lines must be exact columns or rows.
    void rightAnglesDrawStraightLines() {
        for (const int angle : {0, 180, 360, -180}) {
            const Look::Gradient gradient(30, 20, Rgb(255, 255, 255), Rgb(0, 0, 0), angle);
            QCOMPARE(gradient.lineCount(), 30);
            for (int x = 0; x < 30; ++x) {
                QCOMPARE(gradient.colourAt(x, 0), gradient.colourAt(x, 19));
            }
        }
        for (const int angle : {90, 270, -90, 450}) {
            const Look::Gradient gradient(30, 20, Rgb(255, 255, 255), Rgb(0, 0, 0), angle);
            QCOMPARE(gradient.lineCount(), 20);
            for (int y = 0; y < 20; ++y) {
                QCOMPARE(gradient.colourAt(0, y), gradient.colourAt(29, y));
            }
        }
        // Halfway along, the two colours are mixed half and half.
        const Look::Gradient half(3, 3, Rgb(200, 100, 0), Rgb(0, 100, 200), 0);
        COMPARE_RGB(half.colourAt(1, 1), Rgb(100, 100, 100));
    }

    void degenerateSizesHaveNoLines() {
        for (const QSize size : {QSize(0, 0), QSize(1, 40), QSize(40, 1), QSize(-3, 10)}) {
            const Look::Gradient gradient(size.width(), size.height(), 0, 0xFFFFFF, 30);
            QCOMPARE(gradient.lineCount(), 0);
        }
        QCOMPARE(Look::Gradient(2, 2, 0, 0xFFFFFF, 0).lineCount(), 2);

        // Painting a frame of such sizes draws nothing and never divides by zero.
        XPFrame frame;
        for (const QSize size : {QSize(0, 0), QSize(1, 1), QSize(1, 60), QSize(60, 1)}) {
            frame.resize(size);
            frame.grab();
        }
    }

    void ringAndHeaderGeometry() {
        const Look::Ring ring = Look::ring(40, 30, 10, 1);
        for (const QPoint p : {QPoint(20, 0), QPoint(0, 15), QPoint(39, 15), QPoint(20, 29)}) {
            QVERIFY(ring.onRing(p.x(), p.y()));
        }
        QVERIFY(!ring.onRing(20, 1));
        QVERIFY(!ring.outer.contains(0, 0));
        QVERIFY(!ring.outer.contains(39, 29));
        QCOMPARE(ring.outer.span(15).first, 0);
        QCOMPARE(ring.outer.span(15).last, 39);
        QVERIFY(ring.outer.span(0).first > 0);

        // A negative curvature is square; a huge one is no more than the shorter side.
        const Look::Ring square = Look::ring(40, 30, -5, 1);
        QVERIFY(square.onRing(0, 0));
        QVERIFY(square.onRing(39, 29));
        const Look::Ring round = Look::ring(40, 30, 1000, 1);
        QCOMPARE(round.outer.span(15).last, 39);
        QVERIFY(!round.outer.contains(0, 0));

        // Two device pixels at 2x; one at 1.5x, on edges that never leave gaps.
        QCOMPARE(DevicePixels::lineWidth(2.0), 2);
        QCOMPARE(DevicePixels::lineWidth(1.5), 1);
        QVERIFY(Look::ring(80, 60, 20, 2).onRing(40, 1));
        for (int x = 0; x < 20; ++x) {
            const int step = DevicePixels::edge(x + 1, 1.5) - DevicePixels::edge(x, 1.5);
            QVERIFY(step == 1 || step == 2);
        }

        QCOMPARE(Look::headerBand(0, 25, 100), 25);
        QCOMPARE(Look::headerBand(1, 25, 100), 0);
        QCOMPARE(Look::headerBand(0, 0, 100), 0);
        QCOMPARE(Look::headerBand(0, -7, 100), 0);
        QCOMPARE(Look::headerBand(0, 250, 100), 100);
    }

    void captionPlacement_data() {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("textWidth");
        QTest::addColumn<bool>("withIcon");
        QTest::addColumn<int>("x");
        QTest::newRow("left") << 0 << 60 << false << 8;
        QTest::newRow("left after the icon") << 0 << 60 << true << 8 + 25;
        QTest::newRow("right") << 1 << 60 << false << 200 - 60 - 8;
        QTest::newRow("centred") << 2 << 60 << false << 70;
        QTest::newRow("centred, odd space rounds to even") << 2 << 61 << false << 70;
        QTest::newRow("centred, wider than the frame") << 2 << 260 << false << -30;
    }

    void captionPlacement() {
        QFETCH(int, alignment);
        QFETCH(int, textWidth);
        QFETCH(bool, withIcon);
        QFETCH(int, x);
        const Look::Point at =
            Look::captionPosition(200, 25, textWidth, 15, 8, alignment, withIcon);
        QCOMPARE(at.x, x);
        QCOMPARE(at.y, 5);
    }

    void paintsHeaderBorderAndMask() {
        XPFrame frame;
        frame.resize(200, 120);
        const int w = frame.width();
        const int h = frame.height();
        const QImage image = painted(frame);
        const Look::Gradient header(w, 25, frame.HeaderLightColor(), frame.HeaderDarkColor(), 180);
        const Look::Gradient back(w, h, frame.BackLightColor(), frame.BackDarkColor(), 180);
        COMPARE_RGB(pixel(image, w - 20, 12), header.colourAt(w - 20, 12));
        COMPARE_RGB(pixel(image, w - 20, 24), header.colourAt(w - 20, 24));
        COMPARE_RGB(pixel(image, w - 20, 25), back.colourAt(w - 20, 25));
        for (const QPoint p :
             {QPoint(w / 2, 0), QPoint(0, h / 2), QPoint(w - 1, h / 2), QPoint(w / 2, h - 1)}) {
            COMPARE_RGB(pixel(image, p.x(), p.y()), frame.BorderColor());
        }
        QVERIFY(!frame.mask().contains(QPoint(0, 0)));
        QVERIFY(!frame.mask().contains(QPoint(w - 1, h - 1)));
        QVERIFY(frame.mask().contains(QPoint(w / 2, h / 2)));
        QVERIFY(captionInkLeft(image, 25) >= 0);

        // Style 1: background and border only.
        frame.setStyle(1);
        const QImage plain = painted(frame);
        COMPARE_RGB(pixel(plain, w - 20, 12), back.colourAt(w - 20, 12));
        QCOMPARE(captionInkLeft(plain, 25), -1);

        // A header taller than the frame fills it; none at all for a height of 0 or less.
        frame.setStyle(0);
        frame.setHeaderHeight(500);
        const Look::Gradient tall(w, h, frame.HeaderLightColor(), frame.HeaderDarkColor(), 180);
        COMPARE_RGB(pixel(painted(frame), w - 20, 100), tall.colourAt(w - 20, 100));
        frame.setHeaderHeight(-4);
        COMPARE_RGB(pixel(painted(frame), w - 20, 12), back.colourAt(w - 20, 12));

        // Square corners for a negative curvature: the corner is border, inside the mask.
        frame.setCurvature(-3);
        QVERIFY(frame.mask().contains(QPoint(0, 0)));
        COMPARE_RGB(pixel(painted(frame), 0, 0), frame.BorderColor());
    }

    void captionFollowsItsAlignment() {
        XPFrame frame;
        frame.resize(200, 120);
        frame.setCaption(QStringLiteral("Caption"));
        const QFontMetrics metrics(frame.font());
        const int letter = metrics.horizontalAdvance(QLatin1Char('A'));
        const int text = metrics.horizontalAdvance(frame.Caption());
        const int left = captionInkLeft(painted(frame), 25);
        QVERIFY2(left >= letter && left <= letter + 3, qPrintable(QString::number(left)));
        frame.setCaptionAlignment(1);
        const int right = captionInkLeft(painted(frame), 25);
        QVERIFY(right >= 200 - text - letter && right <= 200 - text - letter + 3);
        frame.setCaptionAlignment(2);
        const int centred = captionInkLeft(painted(frame), 25);
        QVERIFY(centred >= (200 - text) / 2 && centred <= (200 - text) / 2 + 3);

        // Wider than the frame: the caption starts left of it and is cut at the edge.
        frame.setCaption(QString(60, QLatin1Char('W')));
        QVERIFY(Look::captionPosition(200, 25, metrics.horizontalAdvance(frame.Caption()),
                                      metrics.height(), letter, 2, false)
                    .x < 0);
        QVERIFY(captionInkLeft(painted(frame), 25) <= 2);
    }

    void iconsAndError1000() {
        XPFrame frame;
        frame.resize(200, 120);
        const QImage before = painted(frame);
        // The program carries no frame icons.
        try {
            frame.setIconResID(7);
            QFAIL("no error for an unknown icon");
        } catch (const ControlError& error) {
            QCOMPARE(error.number(), 1000);
            QCOMPARE(QString::fromUtf8(error.what()),
                     QStringLiteral("Resource ID not found or resource file not compiled"));
        }
        QCOMPARE(frame.IconResID().toInt(), 0);
        QCOMPARE(painted(frame), before);

        const platform::ScopedSeam icons(XPFrame::SetIconLoader, redIcon101());
        QSignalSpy changed(&frame, &XPFrame::propertyChanged);
        frame.setIconResID(101);
        QCOMPARE(changed.count(), 1);
        const QImage withIcon = painted(frame);
        const Look::IconBox box = Look::iconBox(25);
        COMPARE_RGB(pixel(withIcon, box.x + box.side / 2, box.y + box.side / 2), Rgb(255, 0, 0));
        // The caption moves right by the header height.
        QCOMPARE(captionInkLeft(withIcon, 25) - captionInkLeft(before, 25), 25);

        QVERIFY_THROWS_EXCEPTION(ControlError, frame.setIconResID(102));
        QCOMPARE(frame.IconResID().toInt(), 101);
        QCOMPARE(painted(frame), withIcon);

        frame.setIconResID(0);
        QVERIFY(frame.icon().isNull());
        QCOMPARE(painted(frame), before);
    }

    void designDataOmitsDefaultsAndReadsBack() {
        const platform::ScopedSeam icons(XPFrame::SetIconLoader, redIcon101());
        QWidget window;
        XPFrame placed(&window);
        QVERIFY(placed.writeProperties().isEmpty());

        XPFrame source(&window);
        source.setHeaderAngle(-90);
        source.setBorderColor(Rgb(10, 20, 30));
        source.setCaption(QStringLiteral("Quarantine"));
        source.setStyle(1);
        source.setCurvature(0);
        source.setIconResID(101);
        const QVariantMap written = source.writeProperties();
        QCOMPARE(written.keys(),
                 (QStringList{QStringLiteral("BorderColor"), QStringLiteral("Caption"),
                              QStringLiteral("Curvature"), QStringLiteral("HeaderAngle"),
                              QStringLiteral("IconResID"), QStringLiteral("Style")}));

        XPFrame target(&window);
        target.setBackAngle(33);
        QSignalSpy changed(&target, &XPFrame::propertyChanged);
        target.readProperties(written);
        QCOMPARE(target.writeProperties(), written);
        QCOMPARE(target.BackAngle(), 180);
        QCOMPARE(target.icon().isNull(), false);
        QCOMPARE(changed.count(), 0);

        // Design data naming a missing icon loads everything else, then raises error 1000.
        QVariantMap broken = written;
        broken.insert(QStringLiteral("IconResID"), 55);
        XPFrame other(&window);
        QVERIFY_THROWS_EXCEPTION(ControlError, other.readProperties(broken));
        QCOMPARE(other.Caption(), QStringLiteral("Quarantine"));
        QCOMPARE(other.IconResID().toInt(), 0);
    }

    void eventsCarryTheClassicCodes() {
        XPFrame frame;
        frame.resize(200, 120);
        frame.show();
        QSignalSpy clicks(&frame, &XPFrame::Click);
        QSignalSpy downs(&frame, &XPFrame::MouseDown);
        QSignalSpy ups(&frame, &XPFrame::MouseUp);
        QSignalSpy resized(&frame, &XPFrame::Resize);
        QTest::mouseClick(&frame, Qt::LeftButton, Qt::ShiftModifier, QPoint(30, 40));
        QCOMPARE(downs.first(), (QVariantList{1, 1, 30, 40}));
        QCOMPARE(ups.first(), (QVariantList{1, 1, 30, 40}));
        QCOMPARE(clicks.count(), 1);
        QTest::mousePress(&frame, Qt::LeftButton, {}, QPoint(30, 40));
        QTest::mouseRelease(&frame, Qt::LeftButton, {}, QPoint(300, 40));
        QTest::mouseClick(&frame, Qt::RightButton, Qt::ControlModifier, QPoint(5, 6));
        QCOMPARE(downs.last(), (QVariantList{2, 2, 5, 6}));
        QCOMPARE(clicks.count(), 1);
        frame.resize(150, 90);
        QCOMPARE(resized.count(), 1);
    }

    void drawGradientPaintsDevicePixels() {
        XPFrame frame;
        QImage image(40, 20, QImage::Format_RGB32);
        image.setDevicePixelRatio(2.0);
        image.fill(Qt::black);
        QPainter painter(&image);
        frame.DrawGradient(painter, 20, 10, Rgb(255, 255, 255), Rgb(0, 0, 255), 0);
        painter.end();
        COMPARE_RGB(pixel(image, 0, 0), Rgb(0, 0, 255));
        COMPARE_RGB(pixel(image, 39, 19), Rgb(255, 255, 255));
        // Every device column has its own colour: the gradient is not drawn at half resolution.
        QVERIFY(pixel(image, 1, 5) != pixel(image, 0, 5));
    }

    void announcesItsCaption() {
        XPFrame frame;
        frame.setCaption(QStringLiteral("Scan options"));
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(&frame);
        QVERIFY(accessible != nullptr);
        QCOMPARE(accessible->role(), QAccessible::Grouping);
        QCOMPARE(accessible->text(QAccessible::Name), QStringLiteral("Scan options"));
    }
};

int runXPFrameTests(int argc, char** argv) {
    XPFrameTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "XPFrameTest.moc"
