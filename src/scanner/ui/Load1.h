#pragma once

#include <QWidget>
#include <functional>

class QLabel;
class QProgressBar;
class QTimer;

/// The translucent splash: a short progress animation, then the main window.
class Load1 final : public QWidget {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(Load1)

public:
    /// `showMainWindow` creates and shows the main window when the animation has run.
    explicit Load1(std::function<void()> showMainWindow, QWidget* parent = nullptr);

    int value() const;
    int interval() const;
    bool timerActive() const;

public slots:
    void Timer1_Timer();

private:
    std::function<void()> m_showMainWindow;
    QLabel* Label1 = nullptr;
    QProgressBar* PBar = nullptr;
    QTimer* Timer1 = nullptr;
};
