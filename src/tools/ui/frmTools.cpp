#include "tools/ui/frmTools.h"

#include "controls/Button.h"
#include "controls/WindowText.h"
#include "tools/AboutTexts.h"

frmTools::frmTools(QWidget* mainWindow, Openers openers)
    : ToolWindow(mainWindow, QStringLiteral("frmTools"), toQString(AboutTexts::kToolsTitle)),
      m_openers(std::move(openers)) {
    using AboutTexts::PixelsFromTwips;
    const struct {
        const char* name;
        const char* caption;
        int left;
        int top;
        std::function<void()> Openers::*opener;
    } buttons[] = {
        {"Button7", "Encrypt File", 240, 240, &Openers::encryptFile},
        {"Button2", "Task Manager", 2280, 240, &Openers::taskManager},
        {"Button3", "Drive Info", 240, 840, &Openers::driveInfo},
        {"Button5", "Memory Status", 2280, 840, &Openers::memoryStatus},
        {"Button4", "System Info", 240, 1440, &Openers::systemInfo},
        {"Button6", "Serial Harddisk", 2280, 1440, &Openers::serialHarddisk},
        {"Button1", "Lock USB Port", 240, 2040, &Openers::lockUsbPort},
        {"Button8", "Kesto Explorer", 2280, 2040, &Openers::explorer},
    };
    for (const auto& item : buttons) {
        Button* button = Button::programButton(this, QString::fromLatin1(item.caption));
        button->setObjectName(QString::fromLatin1(item.name));
        button->setGeometry(PixelsFromTwips(item.left), PixelsFromTwips(item.top),
                            PixelsFromTwips(1695), PixelsFromTwips(375));
        const std::function<void()>& opener = m_openers.*item.opener;
        if (opener) {
            connect(button, &Button::Click, this, [&opener] { opener(); });
        } else {
            // Its window comes with a later release.
            button->setEnabled(false);
            button->setToolTip(QStringLiteral("Not available yet"));
        }
    }
    setFixedSize(PixelsFromTwips(2280 + 1695 + 240), PixelsFromTwips(2040 + 375 + 240));
}

frmTools::~frmTools() = default;
