#include "tools/ui/frmTools.h"

#include "controls/Button.h"
#include "controls/ControlGeometry.h"
#include "controls/WindowText.h"
#include "controls/WindowTitle.h"
#include "tools/AboutTexts.h"

#include <algorithm>

frmTools::frmTools(QWidget* mainWindow, Openers openers)
    : ToolWindow(mainWindow, QStringLiteral("frmTools"), toQString(AboutTexts::kToolsTitle)),
      m_openers(std::move(openers)) {
    using ControlGeometry::PixelsFromTwips;
    // Wide enough for the window manager to show the whole title; the two columns of buttons
    // stay together in the middle.
    const int designWidth = PixelsFromTwips(2280 + 1695 + 240);
    const int width = std::max(designWidth, WindowTitle::minimumWidth(windowTitle()));
    const int offset = (width - designWidth) / 2;
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
        button->setGeometry(offset + PixelsFromTwips(item.left), PixelsFromTwips(item.top),
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
    setFixedSize(width, PixelsFromTwips(2040 + 375 + 240));
}

frmTools::~frmTools() = default;
