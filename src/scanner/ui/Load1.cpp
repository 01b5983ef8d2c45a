#include "scanner/ui/Load1.h"

#include "controls/Module1.h"
#include "controls/WindowText.h"
#include "product/Product.h"
#include "scanner/StartupTexts.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>

namespace {} // namespace

Load1::Load1(std::function<void()> showMainWindow, QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_showMainWindow(std::move(showMainWindow)) {
    setObjectName(QStringLiteral("Load1"));
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(420, 190);
    setAutoFillBackground(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, QColor(39, 64, 139));
    palette.setColor(QPalette::WindowText, QColor(255, 255, 255));
    setPalette(palette);
    Module1::MakeWindowTranslucent(this, 180);

    Label1 = new QLabel(toQString(StartupTexts::kSplashLoading), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(QFont(QStringLiteral("Arial"), 12, QFont::Bold));
    Label1->adjustSize();
    Label1->move((width() - Label1->width()) / 2, 52);
    auto* version = new QLabel(toQString(StartupTexts::kVersion), this);
    version->setObjectName(QStringLiteral("Label2"));
    version->move(16, 160);
    auto* date = new QLabel(toQString(Product::kReleaseDate), this);
    date->setObjectName(QStringLiteral("Label3"));
    date->adjustSize();
    date->move(width() - date->width() - 16, 160);

    PBar = new QProgressBar(this);
    PBar->setObjectName(QStringLiteral("PBar"));
    PBar->setRange(0, 100);
    PBar->setValue(0);
    PBar->setTextVisible(false);
    PBar->setToolTip(toQString("Loading..."));
    PBar->setFixedSize(340, 16);
    PBar->move((width() - PBar->width()) / 2, 100);

    Timer1 = new QTimer(this);
    Timer1->setInterval(1);
    connect(Timer1, &QTimer::timeout, this, &Load1::Timer1_Timer);
    Timer1->start();
}

int Load1::value() const {
    return PBar->value();
}
int Load1::interval() const {
    return Timer1->interval();
}
bool Load1::timerActive() const {
    return Timer1->isActive();
}

void Load1::Timer1_Timer() {
    const StartupTexts::SplashStep step = StartupTexts::NextSplashStep(PBar->value());
    if (step.handOver) {
        Timer1->stop();
        if (m_showMainWindow) {
            m_showMainWindow();
        }
        close();
        return;
    }
    PBar->setValue(step.value);
    if (step.intervalMs) {
        Timer1->setInterval(*step.intervalMs);
    }
}
