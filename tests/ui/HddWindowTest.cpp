#include "WindowLookup.h"
#include "platform/SmartDevice.h"
#include "smart/ui/frmHDD.h"
#include "tools/ui/ToolWindows.h"

#include <QComboBox>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTest>
#include <algorithm>
#include <vector>

namespace {

QString boxText(const QWidget& window, const char* name) {
    const auto* box = window.findChild<QPlainTextEdit*>(QString::fromLatin1(name));
    return box != nullptr ? box->toPlainText() : QStringLiteral("<missing %1>").arg(name);
}

} // namespace

class HddWindowTest final : public QObject {
    Q_OBJECT

private:
    std::vector<int> m_asked;

    /// Slot 0 holds a drive whose model has a byte above 127, the others nothing.
    ToolSettings settings() {
        ToolSettings settings;
        settings.driveInfo = [this](int slot) {
            m_asked.push_back(slot);
            mSMARTDef::DriveInfo info;
            if (slot == 0) {
                info.DriveType = mSMARTDef::kIdeDrive;
                info.Model = "  Disk\xE9 ";
                info.NumAttributes = 1;
                info.Attributes = {{194, "TEMPERATURE", 40, 0, 52, 0x22, 40}, {}};
            }
            return info;
        };
        return settings;
    }

private slots:
    void init() { m_asked.clear(); }

    void opensOnSlotZeroAndFollowsTheChooser() {
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showHdd();
        frmHDD* window = tools.hdd();
        QCOMPARE(window->windowTitle(), QStringLiteral("Get Serial Harddisk"));
        auto* chooser = window->findChild<QComboBox*>(QStringLiteral("Combo1"));
        QCOMPARE(chooser->count(), 4);
        QCOMPARE(chooser->itemText(3), QStringLiteral("SECONDARY_SLAVE"));
        QCOMPARE(m_asked, std::vector<int>{0});
        QCOMPARE(labelText(*window, "Label1"),
                 QStringLiteral("PRIMARY_MASTER: \n[IDE drive]\nModel: Disk\u00E9\nFirmWare: \n"
                                "SerialNumber: \nCilinders: 0\nHeads: 0\nSecPerTrack: 0\n"));
        QCOMPARE(boxText(*window, "Text1"),
                 QStringLiteral("Attribute Name          Value  Threshold  WorstValue  Status\n") +
                     QString(60, QLatin1Char('-')) +
                     QStringLiteral("\nTEMPERATURE               40\t    0\t      52\t&H22\n"));
        QCOMPARE(labelText(*window, "lblHealth"), QStringLiteral("Health: OK"));
        QVERIFY(
            boxText(*window, "txtVerdicts").contains(QStringLiteral("OK                 raw 40")));

        chooser->setCurrentIndex(3);
        QCOMPARE(m_asked, (std::vector<int>{0, 3}));
        QCOMPARE(labelText(*window, "Label1"), QStringLiteral("SECONDARY_SLAVE: \n[Not present]"));
        QCOMPARE(boxText(*window, "Text1"), QString());
    }

    void tableUsesCourierNewAndClosingEnablesTheMainWindow() {
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showHdd();
        frmHDD* window = tools.hdd();
        const auto* table = window->findChild<QPlainTextEdit*>(QStringLiteral("Text1"));
        QCOMPARE(table->font().family(), QStringLiteral("Courier New"));
        QVERIFY(table->isReadOnly());
        QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("Combo1"))->geometry(),
                 QRect(8, 4, 153, 21));
        // The table is as tall as the identity label beside it, at least its classic 149 pixels.
        const auto* identity = window->findChild<QLabel*>(QStringLiteral("Label1"));
        QCOMPARE(table->geometry().topLeft(), QPoint(164, 4));
        QCOMPARE(table->width(), 357);
        QVERIFY(table->height() >= 149);
        QCOMPARE(table->geometry().bottom(), identity->geometry().bottom());
        main.setEnabled(false);
        window->close();
        QVERIFY(main.isEnabled());

        // Opening it again starts afresh on slot 0.
        window->findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(2);
        tools.showHdd();
        QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("Combo1"))->currentIndex(), 0);
        QCOMPARE(m_asked, (std::vector<int>{0, 2, 0}));
    }

    void identityShowsItsLastLineBelowAWrappedModel() {
        frmHDD window(nullptr, [](int) {
            mSMARTDef::DriveInfo info;
            info.DriveType = mSMARTDef::kIdeDrive;
            info.Model = "SAMPLE DISK 500GB                       ";
            info.SerialNumber = "        SN00012345AB";
            info.FirmWare = "1.01    ";
            info.SecPerTrack = 63;
            return info;
        });
        window.Form_Load();
        window.show();
        auto* identity = window.findChild<QLabel*>(QStringLiteral("Label1"));
        QVERIFY(identity->text().endsWith(QStringLiteral("SecPerTrack: 63\n")));
        const int needed = identity->heightForWidth(identity->width());
        QVERIFY2(
            needed <= identity->height(),
            qPrintable(QStringLiteral("needs %1, has %2").arg(needed).arg(identity->height())));

        // The last line is drawn: dark text pixels lie in its band at the bottom of the text.
        const QImage image = identity->grab().toImage();
        const int spacing = identity->fontMetrics().lineSpacing();
        bool inked = false;
        for (int y = std::max(0, needed - 2 * spacing); y < std::min(needed, image.height()); ++y) {
            for (int x = 0; x < image.width() && !inked; ++x) {
                inked = qGray(image.pixel(x, y)) < 100;
            }
        }
        QVERIFY(inked);

        // Nothing below is covered and everything stays inside the window.
        for (const char* name : {"lblHealth", "txtVerdicts"}) {
            const QWidget* below = window.findChild<QWidget*>(QString::fromLatin1(name));
            QVERIFY(below->y() > identity->geometry().bottom());
            QVERIFY(window.rect().contains(below->geometry()));
        }
    }

    void emptySlotSaysWhyThereAreNoVerdicts() {
        QWidget main;
        ToolWindows tools(&main, settings());
        tools.showHdd();
        frmHDD* window = tools.hdd();
        window->findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(1);
        QCOMPARE(labelText(*window, "lblHealth"), QStringLiteral("Health: no drive in this slot"));
        QCOMPARE(boxText(*window, "txtVerdicts"),
                 QStringLiteral("No drive answered in this slot, so there is no health data.\n"
                                "Reading the drives needs %1.\n")
                     .arg(QString::fromStdString(std::string(platform::smartRightsName()))));
    }
};

QTEST_MAIN(HddWindowTest)
#include "HddWindowTest.moc"
