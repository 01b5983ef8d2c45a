#pragma once

#include <QPointer>
#include <QWidget>

/// A tool window: a parentless top-level window that blocks the whole program while it is open
/// and enables the main window when it closes. Parentless, because Qt disables every child of a
/// disabled widget, child windows included, and the About window disables the main window.
class ToolWindow : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ToolWindow)

public:
    ToolWindow(QWidget* mainWindow, const QString& objectName, const QString& title);
    ~ToolWindow() override;

    /// Runs each time the window is opened while it is hidden.
    virtual void Form_Load() {}

protected:
    void closeEvent(QCloseEvent* event) override;
    QWidget* mainWindow() const { return m_mainWindow.data(); }

private:
    QPointer<QWidget> m_mainWindow;
};
