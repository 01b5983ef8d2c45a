#include "controls/ToolWindow.h"

#include <QCloseEvent>

ToolWindow::ToolWindow(QWidget* mainWindow, const QString& objectName, const QString& title)
    : QWidget(nullptr, Qt::Dialog), m_mainWindow(mainWindow) {
    setObjectName(objectName);
    setWindowTitle(title);
    setWindowModality(Qt::ApplicationModal);
}

ToolWindow::~ToolWindow() = default;

void ToolWindow::closeEvent(QCloseEvent* event) {
    if (m_mainWindow) {
        m_mainWindow->setEnabled(true);
    }
    event->accept();
}
