#include "tools/ui/frmMem.h"

#include "controls/WindowText.h"
#include "tools/SystemInfo.h"

#include <QGridLayout>
#include <QLabel>
#include <QTimer>

frmMem::frmMem(QWidget* mainWindow, Status status, bool timerTicks)
    : ToolWindow(mainWindow, QStringLiteral("frmMem"), toQString(SystemInfo::kMemoryTitle)),
      m_status(std::move(status)), m_timerTicks(timerTicks) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(18, 16, 18, 16);
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    for (int row = 0; row < 6; ++row) {
        const auto index = static_cast<std::size_t>(row);
        QLabel* caption = makeLabel(toQString(SystemInfo::kMemoryCaptions[index]), this);
        caption->setObjectName(QStringLiteral("Label1_%1").arg(row));
        grid->addWidget(caption, row, 0);
        QLabel* colon = makeLabel(QStringLiteral(":"), this);
        colon->setObjectName(QStringLiteral("Label1_%1").arg(row + 6));
        grid->addWidget(colon, row, 1);
        lblRes[index] = makeLabel(toQString(SystemInfo::kMemoryPlaceholder), this);
        lblRes[index]->setObjectName(QStringLiteral("lblRes_%1").arg(row));
        lblRes[index]->setMinimumWidth(110);
        lblRes[index]->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        grid->addWidget(lblRes[index], row, 2);
    }
    Timer1 = new QTimer(this);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(SystemInfo::kMemoryRefreshMs);
    connect(Timer1, &QTimer::timeout, this, &frmMem::Timer1_Timer);
    setFixedSize(sizeHint());
}

frmMem::~frmMem() = default;

void frmMem::Form_Load() {
    for (QLabel* value : lblRes) {
        value->setText(toQString(SystemInfo::kMemoryPlaceholder));
    }
    setToolTip(QString());
    if (m_timerTicks) {
        Timer1->start();
    }
}

void frmMem::Timer1_Timer() {
    ShowMemoryStatus();
}

void frmMem::ShowMemoryStatus() {
    const platform::MemoryStatus status = m_status();
    const auto values = SystemInfo::MemoryValues(status);
    for (std::size_t row = 0; row < values.size(); ++row) {
        lblRes[row]->setText(toQString(values[row]));
    }
    setToolTip(toQString(SystemInfo::SwapText(status)));
}

void frmMem::closeEvent(QCloseEvent* event) {
    Timer1->stop();
    ToolWindow::closeEvent(event);
}
