#include "controls/ProgressBar.h"

#include "PixelProbe.h"
#include "controls/ProgressBarLook.h"

#include <QSignalSpy>
#include <QTest>

using WinColor::Rgb;
namespace Look = ProgressBarLook;

namespace {

// The bar of the main window, without text so that every pixel shows the bands.
void makeMainWindowBar(ProgressBar& bar) {
    bar.setTheme(10);
    bar.setPBSCustomeColor1(Rgb(128, 128, 255));
    bar.setPBSCustomeColor2(Rgb(154, 179, 241));
    bar.setTextStyle(0);
}

} // namespace

class ProgressBarTest final : public QObject {
    Q_OBJECT

private slots:
    void customThemeLightensItsTwoColours() {
        Look::ColourTable table{};
        Look::fillColourTable(table, 10, Rgb(128, 128, 255), Rgb(154, 179, 241));
        QCOMPARE(rgbText(table[Look::FilledTopFrom]), rgbText(Rgb(255, 255, 255)));
        QCOMPARE(rgbText(table[Look::FilledTopTo]), rgbText(Rgb(178, 178, 255)));
        QCOMPARE(rgbText(table[Look::FilledBottomFrom]), rgbText(Rgb(128, 128, 255)));
        QCOMPARE(rgbText(table[Look::FilledBottomTo]), rgbText(Rgb(208, 208, 255)));
        QCOMPARE(rgbText(table[Look::Border]), rgbText(Rgb(128, 128, 255)));
        QCOMPARE(rgbText(table[Look::EmptyTopTo]), rgbText(Rgb(204, 229, 255)));
        QCOMPARE(rgbText(table[Look::EmptyBottomFrom]), rgbText(Rgb(154, 179, 241)));
        for (std::size_t odd = 1; odd < table.size(); odd += 2) {
            QCOMPARE(table[odd], table[odd - 1]);
        }

        // Unknown themes keep the previous table.
        const Look::ColourTable before = table;
        Look::fillColourTable(table, 11, 0, 0);
        QCOMPARE(table, before);
        Look::fillColourTable(table, 8, 0, 0);
        QCOMPARE(rgbText(table[Look::Border]), rgbText(Rgb(23, 139, 211)));
    }

    void disabledGreyTakesGreenAndBlueFromTheWholeValue_data() {
        QTest::addColumn<uint>("colour");
        QTest::addColumn<int>("grey");
        QTest::newRow("black") << uint{Rgb(0, 0, 0)} << 0;
        QTest::newRow("white is capped") << uint{Rgb(255, 255, 255)} << 255;
        // Red 200 lifts the green term to 11: (200 + 11 + 10) / 3 = 73.67.
        QTest::newRow("high red") << uint{Rgb(200, 10, 10)} << 74;
        // Green 128 lifts the blue term to 256; the green term 128.5 rounds to even.
        QTest::newRow("custom blue") << uint{Rgb(128, 128, 255)} << 171;
    }

    void disabledGreyTakesGreenAndBlueFromTheWholeValue() {
        QFETCH(uint, colour);
        QFETCH(int, grey);
        QCOMPARE(rgbText(Look::disabledGrey(colour)), rgbText(Rgb(grey, grey, grey)));
    }

    void rangeRules() {
        const Look::Range start{0, 100, 50};
        QCOMPARE(Look::withValue(start, 150).value, 100);
        QCOMPARE(Look::withValue(start, -5).value, 0);
        QCOMPARE(Look::withMax(start, 0), (Look::Range{0, 1, 1}));
        QCOMPARE(Look::withMax({50, 100, 80}, 40), (Look::Range{50, 51, 51}));
        QCOMPARE(Look::withMin(start, 100), (Look::Range{99, 100, 99}));
        QCOMPARE(Look::withMin(start, -3), (Look::Range{0, 100, 50}));
        QCOMPARE(Look::withMin({0, 1, 0}, 5), (Look::Range{0, 1, 0}));

        ProgressBar bar;
        QSignalSpy changed(&bar, &ProgressBar::propertyChanged);
        bar.setValue(80);
        bar.setMax(60);
        QCOMPARE(bar.Max(), 60);
        QCOMPARE(bar.Value(), 60);
        QCOMPARE(changed.count(), 3); // Value, Max, and Value lowered by Max
        bar.setMin(100);
        QCOMPARE(bar.Min(), 59);
        QCOMPARE(bar.Value(), 60);
    }

    void fillAndText() {
        QCOMPARE(Look::fillLength(200, 50, 100), 100);
        QCOMPARE(Look::fillLength(200, 0, 100), 0);
        QCOMPARE(Look::fillLength(200, 100, 100), 200);
        QCOMPARE(Look::fillLength(7, 1, 3), 2);

        QCOMPARE(Look::barText(1, 37, 100, "x"), std::string("37"));
        QCOMPARE(Look::barText(2, 37, 100, "x"), std::string("37%"));
        QCOMPARE(Look::barText(2, 1, 3, "x"), std::string("33.3333333333333%"));
        QCOMPARE(Look::barText(3, 1, 3, "0 % Complete..."), std::string("0 % Complete..."));
        QCOMPARE(Look::barText(4, 1, 3, "x"), std::string());
    }

    void textPlacement_data() {
        QTest::addColumn<int>("alignment");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("y");
        // A 200 × 21 bar with a 50 × 14 text.
        QTest::newRow("left top") << 1 << 1 << 0;
        QTest::newRow("left middle") << 2 << 1 << 4;
        QTest::newRow("left bottom") << 3 << 1 << 6;
        QTest::newRow("centre top") << 4 << 75 << 0;
        QTest::newRow("centre") << 5 << 75 << 2;
        QTest::newRow("centre bottom") << 6 << 75 << 6;
        QTest::newRow("right top") << 7 << 147 << 0;
        QTest::newRow("right middle") << 8 << 147 << 4;
        QTest::newRow("right bottom") << 9 << 147 << 6;
    }

    void textPlacement() {
        QFETCH(int, alignment);
        QFETCH(int, x);
        QFETCH(int, y);
        QCOMPARE(Look::textPosition(200, 21, 50, 14, alignment), (Look::Point{x, y}));
    }

    void filledPartEndsAtTheFillLength_data() {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("min");
        QTest::addColumn<int>("value");
        QTest::addColumn<int>("edge");
        QTest::newRow("horizontal 37 %") << 1 << 0 << 37 << 74;
        QTest::newRow("horizontal, Min 50 Value 50 is half") << 1 << 50 << 50 << 100;
        QTest::newRow("vertical 37 %") << 2 << 0 << 37 << 74;
    }

    void filledPartEndsAtTheFillLength() {
        QFETCH(int, orientation);
        QFETCH(int, min);
        QFETCH(int, value);
        QFETCH(int, edge);
        ProgressBar bar;
        makeMainWindowBar(bar);
        bar.setOrientations(orientation);
        bar.setMin(min);
        bar.setValue(value);
        const bool vertical = orientation == 2;
        bar.resize(vertical ? QSize(20, 200) : QSize(200, 20));
        const QImage image = bar.grab().toImage();
        // The second band starts halfway across with exactly its first colour.
        auto at = [&](int along) {
            return vertical ? pixelText(image, 10, along) : pixelText(image, along, 10);
        };
        QCOMPARE(at(edge - 1), rgbText(Rgb(128, 128, 255)));
        QCOMPARE(at(edge), rgbText(Rgb(154, 179, 241)));
    }

    void emptyAndFullBars() {
        ProgressBar bar;
        makeMainWindowBar(bar);
        bar.resize(200, 20);
        bar.setValue(0);
        QCOMPARE(pixelText(bar.grab().toImage(), 2, 10), rgbText(Rgb(154, 179, 241)));
        bar.setValue(100);
        const QImage full = bar.grab().toImage();
        QCOMPARE(pixelText(full, 198, 10), rgbText(Rgb(128, 128, 255)));
        QCOMPARE(pixelText(full, 199, 10), rgbText(Rgb(128, 128, 255))); // border
    }

    void disabledBarIsGrey() {
        ProgressBar bar;
        bar.setTheme(3);
        bar.setTextStyle(2);
        bar.resize(200, 20);
        bar.setEnabled(false);
        const QImage image = bar.grab().toImage();
        const QRegion shape = bar.mask();
        int checked = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                if (!shape.contains(QPoint(x, y))) {
                    continue;
                }
                const QColor c = image.pixelColor(x, y);
                if (c.red() != c.green() || c.green() != c.blue()) {
                    QFAIL(qPrintable(QStringLiteral("colour at %1, %2").arg(x).arg(y)));
                }
                ++checked;
            }
        }
        QVERIFY(checked > 190 * 18);
    }

    void designDataOmitsDefaultsAndReadsBack() {
        ProgressBar placed;
        // A newly placed bar shows its text with an effect; font and effect colour are always
        // written.
        QCOMPARE(placed.writeProperties().keys(),
                 (QStringList{QStringLiteral("Text"), QStringLiteral("TextEffect"),
                              QStringLiteral("TextEffectColor"), QStringLiteral("TextFont"),
                              QStringLiteral("TextStyle")}));

        ProgressBar source;
        makeMainWindowBar(source);
        source.setMax(200);
        source.setMin(150);
        source.setValue(170);
        source.setText(QStringLiteral("0 % Complete..."));
        source.setTextEffect(1);
        const QVariantMap written = source.writeProperties();
        QCOMPARE(written.value(QStringLiteral("Min")).toInt(), 150);
        QVERIFY(!written.contains(QStringLiteral("Orientations")));
        QVERIFY(!written.contains(QStringLiteral("TextEffect")));

        // The stored range is taken whatever the range was before.
        ProgressBar target;
        target.setMax(1000);
        target.setMin(900);
        target.setTextEffect(4);
        target.readProperties(written);
        QCOMPARE(target.writeProperties(), written);
        QCOMPARE(target.Max(), 200);
        QCOMPARE(target.Min(), 150);
        QCOMPARE(target.Value(), 170);
        QCOMPARE(target.TextEffect(), 1);
    }
};

int runProgressBarTests(int argc, char** argv) {
    ProgressBarTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "ProgressBarTest.moc"
