#include "WindowLookup.h"
#include "smart/ui/frmHDD.h"
#include "tools/ui/ToolWindows.h"

#include <QComboBox>
#include <QPlainTextEdit>
#include <QTest>
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
        QCOMPARE(table->geometry(), QRect(164, 4, 357, 149));
        main.setEnabled(false);
        window->close();
        QVERIFY(main.isEnabled());

        // Opening it again starts afresh on slot 0.
        window->findChild<QComboBox*>(QStringLiteral("Combo1"))->setCurrentIndex(2);
        tools.showHdd();
        QCOMPARE(window->findChild<QComboBox*>(QStringLiteral("Combo1"))->currentIndex(), 0);
        QCOMPARE(m_asked, (std::vector<int>{0, 2, 0}));
    }
};

QTEST_MAIN(HddWindowTest)
#include "HddWindowTest.moc"
