#include "app/Antivirus.h"
#include "controls/Button.h"
#include "controls/MsgBox.h"
#include "controls/WindowText.h"
#include "engine/SignatureDatabase.h"
#include "scanner/DetectionActions.h"
#include "scanner/QuarantineFolder.h"
#include "scanner/ui/ActionWorker.h"

#include <QLabel>
#include <QTreeWidget>
#include <utility>

void Antivirus::tindakan(std::string_view aksi) {
    if (m_scanActive || m_acting) {
        return;
    }
    m_acting = true;
    cmdScan->setEnabled(false);
    setScanButtons(false);
    ActionOptions options = ActionOptionsFor(
        *m_database, ResolveQuarantineFolder(m_settings.quarantineFolder), m_extra.get());
    options.beforeAct = m_settings.beforeAct;
    // The list goes to the action and comes back without the entries it handled.
    m_actionWorker->start(aksi, std::exchange(m_detections, {}), std::move(options));
}

void Antivirus::actionEntryRemoved(quint64 position) {
    delete ListView1->takeTopLevelItem(static_cast<int>(position) - 1);
}

void Antivirus::actionEntryKept(quint64 position, const QString& information) {
    if (QTreeWidgetItem* row = ListView1->topLevelItem(static_cast<int>(position) - 1)) {
        row->setText(4, information);
        row->setToolTip(4, information);
    }
}

void Antivirus::actionFinished(const ActionResult& result) {
    m_actionWorker->join();
    m_detections = m_actionWorker->takeList();
    m_acting = false;
    cmdScan->setEnabled(true);
    setScanButtons(true);
    if (result.handled + result.failed > 0) {
        m_checked = 0;
        lblFileDiperiksa->setText(QStringLiteral("0"));
        lblJumlahVirus->setText(QString::number(m_detections.size()));
    }
    status->setText(toQString(result.status));
    if (!m_ending) {
        MsgBox::Show(this, toQString(result.message), result.messageStyle,
                     toQString(result.messageTitle));
    }
}

void Antivirus::cmdHapus_Click() {
    tindakan(kActionDelete);
}

void Antivirus::cmdKarantina_Click() {
    tindakan(kActionQuarantine);
}
