#include "tools/ui/frmWinTools.h"

#include "controls/Button.h"
#include "controls/ControlGeometry.h"
#include "controls/MsgBox.h"
#include "controls/WindowText.h"
#include "platform/ProgramSearch.h"
#include "tools/AboutTexts.h"
#include "tools/ui/Shell.h"

using SystemPrograms::Tool;

frmWinTools::frmWinTools(QWidget* mainWindow, SystemPrograms::Environment environment)
    : ToolWindow(mainWindow, QStringLiteral("frmWinTools"), toQString(AboutTexts::kWinToolsTitle)),
      m_environment(std::move(environment)) {
    using ControlGeometry::PixelsFromTwips;
    const struct {
        const char* name;
        Tool tool;
        int left;
        int top;
        int width;
    } buttons[] = {
        {"Button1", Tool::Explorer, 240, 240, 2055},
        {"Button2", Tool::RegistryEditor, 2520, 240, 2055},
        {"Button3", Tool::CommandPrompt, 240, 840, 2055},
        {"Button5", Tool::TaskManager, 2520, 840, 2055},
        {"Button4", Tool::SystemConfiguration, 240, 1440, 4335},
    };
    for (const auto& item : buttons) {
        Button* button =
            Button::programButton(this, toQString(SystemPrograms::Info(item.tool).caption));
        button->setObjectName(QString::fromLatin1(item.name));
        button->setGeometry(PixelsFromTwips(item.left), PixelsFromTwips(item.top),
                            PixelsFromTwips(item.width), PixelsFromTwips(375));
        connect(button, &Button::Click, this, [this, tool = item.tool] { start(tool); });
        m_buttons[static_cast<std::size_t>(item.tool)] = button;
    }
    setFixedSize(PixelsFromTwips(2520 + 2055 + 240), PixelsFromTwips(1440 + 375 + 240));
    Form_Load();
}

frmWinTools::~frmWinTools() = default;

void frmWinTools::Form_Load() {
    for (const SystemPrograms::ToolInfo& info : SystemPrograms::kTools) {
        const auto index = static_cast<std::size_t>(info.tool);
        m_launches[index] = SystemPrograms::Resolve(info.tool, m_environment);
        m_buttons[index]->setEnabled(m_launches[index].has_value());
        m_buttons[index]->setToolTip(toQString(SystemPrograms::ToolTip(m_launches[index])));
    }
}

void frmWinTools::start(Tool tool) {
    const auto& launch = m_launches[static_cast<std::size_t>(tool)];
    if (!launch) {
        return;
    }
    if (!launch->requiredFolder.empty() && !platform::isFolder(launch->requiredFolder)) {
        MsgBox::Show(this, toQString(SystemPrograms::MissingFolderText(launch->requiredFolder)),
                     SystemPrograms::kCannotStartStyle,
                     toQString(SystemPrograms::kCannotStartTitle));
        return;
    }
    Shell::Start(this, launch->program, launch->arguments, launch->name);
}
