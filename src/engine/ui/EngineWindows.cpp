#include "engine/ui/EngineWindows.h"

#include "engine/ui/frmSignature.h"
#include "engine/ui/frmTempDb.h"

#include <QWindow>

EngineWindows::EngineWindows(QWidget* mainWindow, std::string databasePath,
                             std::shared_ptr<const ExtraSignatures> extra)
    : m_mainWindow(mainWindow), m_databasePath(std::move(databasePath)), m_extra(std::move(extra)) {
}

EngineWindows::~EngineWindows() = default;

void EngineWindows::showSignatures() {
    if (!m_signatures) {
        m_signatures = std::make_unique<frmSignature>(m_mainWindow.data(), m_databasePath, m_extra);
    }
    if (!m_signatures->isVisible()) {
        m_signatures->Form_Load();
    }
    present(*m_signatures);
}

void EngineWindows::showTempDb() {
    if (!m_tempDb) {
        m_tempDb = std::make_unique<frmTempDb>(m_mainWindow.data());
    }
    if (!m_tempDb->isVisible()) {
        m_tempDb->Form_Load();
    }
    present(*m_tempDb);
}

void EngineWindows::present(QWidget& window) const {
    if (window.isVisible()) {
        window.raise();
    } else if (m_mainWindow) {
        // Owned by the main window's top level: kept above it, centred over it.
        QWidget* owner = m_mainWindow->window();
        owner->winId();
        window.winId();
        window.windowHandle()->setTransientParent(owner->windowHandle());
        window.move(owner->frameGeometry().center() - window.rect().center());
    }
    window.show();
    window.activateWindow();
}
