#include "app/Antivirus.h"
#include "controls/Button.h"
#include "controls/FolderDialog.h"
#include "controls/MsgBox.h"
#include "controls/ProgressBar.h"
#include "controls/WindowText.h"
#include "engine/SignatureDatabase.h"
#include "platform/FileOps.h"
#include "platform/FolderListing.h"
#include "scanner/DetectionActions.h"
#include "scanner/DisplayName.h"
#include "scanner/QuarantineFolder.h"
#include "scanner/ui/ScanWorker.h"

#include <QLabel>
#include <QMenu>
#include <QTimer>
#include <QTreeWidget>
#include <utility>

void Antivirus::setScanButtons(bool idle) {
    cmdHapus->setEnabled(idle);
    cmdMenu->setEnabled(idle);
    cmdKarantina->setEnabled(idle);
    // The menu's shortcuts lead to the same windows as the menu button.
    for (QAction* action :
         {m_mnuTemp, m_mnuTool, m_mnuWinTools, m_mnuViewSigna, m_mnuAbout, m_mnuQuarantine}) {
        action->setEnabled(idle);
    }
}

void Antivirus::setCounts(std::uint64_t total, std::uint64_t checked, std::uint64_t detections) {
    m_total = total;
    m_checked = checked;
    lblTotalFile->setText(QString::number(total));
    lblFileDiperiksa->setText(QString::number(checked));
    lblJumlahVirus->setText(QString::number(detections));
}

void Antivirus::showPercent(int percent, const QString& text) {
    ProgressBar1->setValue(percent);
    ProgressBar1->setText(text);
    lblPercentComplete->setText(text);
}

void Antivirus::addRow(const DetectionEntry& entry) {
    m_detections.push_back(entry);
    // Filled before it joins the list, so that the list takes it in as one change.
    auto* row = new QTreeWidgetItem;
    row->setText(1, toQString(DisplayName(entry.name)));
    row->setText(2, toQString(DisplayName(entry.location)));
    row->setText(3, toQString(entry.size));
    row->setText(4, toQString(entry.information));
    for (int column = 1; column < 5; ++column) {
        row->setTextAlignment(column, Qt::AlignCenter);
        row->setToolTip(column, row->text(column));
    }
    ListView1->addTopLevelItem(row);
}

void Antivirus::cmdScan_Click() {
    if (cmdScan->Caption() != toQString("Scan")) {
        // The running scan sees the request before its next file and finishes on its own.
        cmdScan->setCaption(toQString("Scan"));
        m_worker->requestStop();
        return;
    }
    if (m_scanActive || m_acting) {
        return; // a stopped scan is still winding down (it ends within one file), or an action runs
    }
    const auto chosen = FolderDialog::Choose(this, toQString("Choose a location to be cheked..."));
    if (!chosen) {
        return;
    }
    std::string root;
    if (platform::canonicalFolder(toBytes(*chosen), root)) {
        root = toBytes(*chosen);
    }
    m_scanActive = true;
    ListView1->clear();
    m_detections.clear();
    showPercent(0, toQString("0 % Complete..."));
    cmdScan->setCaption(toQString("Stop"));
    cmdScan->setToolTip(toQString("Stop Scanning..."));
    setScanButtons(false);
    setCounts(0, 0, 0);
    m_wait = ScanTexts::WaitAnimation();
    runTimer(Timer2);
    m_elapsedSeconds = 0;
    Label1->setText(toQString(ScanTexts::ElapsedText(m_elapsedSeconds)));
    runTimer(Timer1);

    ScanOptions options;
    options.root = root;
    options.database = m_database.get();
    options.extra = m_extra.get();
    options.quarantineFolder = ResolveQuarantineFolder(m_settings.quarantineFolder);
    m_worker->start(std::move(options));
}

void Antivirus::scanPassStarted(int pass) {
    ListView1->clear();
    m_detections.clear();
    if (static_cast<ScanPass>(pass) == ScanPass::Scanning) {
        Timer2->stop(); // the wait animation belongs to the counting pass
    }
}

void Antivirus::scanTotalCounted(quint64 total) {
    m_total = total;
    lblTotalFile->setText(QString::number(total));
}

void Antivirus::scanDetectionListed(const DetectionEntry& entry, quint64 detections) {
    addRow(entry);
    lblJumlahVirus->setText(QString::number(detections));
}

void Antivirus::scanFileChecked(quint64 checked, int percent, const QString& text) {
    m_checked = checked;
    lblFileDiperiksa->setText(QString::number(checked));
    if (percent >= 0) {
        showPercent(percent, text);
    }
}

void Antivirus::scanFinished(const ScanSummary& summary) {
    if (m_askingToClose) {
        // The scan passed its last stop test before the question: its end waits for the answer.
        m_finishedWhileAsking = std::make_unique<ScanSummary>(summary);
        return;
    }
    m_worker->join();
    m_scanActive = false;
    Timer2->stop();
    Timer1->stop();
    m_detections = summary.detections;
    lblJumlahVirus->setText(QString::number(m_detections.size()));
    cmdScan->setCaption(toQString("Scan"));
    cmdScan->setToolTip(toQString("Start Scanning..."));
    setScanButtons(true);
    const ScanTexts::Completion& completion = summary.completion;
    status->setText(toQString(completion.status));
    if (completion.resetProgress) {
        ProgressBar1->setValue(0);
    }
    if (completion.showMessage && !m_ending) {
        MsgBox::Show(this, toQString(completion.message), completion.messageStyle,
                     toQString(completion.messageTitle));
    }
}

void Antivirus::runTimer(QTimer* timer) {
    if (m_settings.timersTick) {
        timer->start();
    }
}

void Antivirus::Timer1_Timer() {
    ++m_elapsedSeconds;
    Label1->setText(toQString(ScanTexts::ElapsedText(m_elapsedSeconds)));
}

void Antivirus::Timer2_Timer() {
    if (const auto text = m_wait.tick()) {
        status->setText(toQString(*text));
    }
}
