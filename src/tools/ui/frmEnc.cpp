#include "tools/ui/frmEnc.h"

#include "controls/Button.h"
#include "controls/MsgBox.h"
#include "controls/ProgressBar.h"
#include "controls/WindowText.h"
#include "controls/WindowTitle.h"
#include "controls/cCommonDialog.h"
#include "platform/FileCrypt.h"
#include "tools/FileEncryption.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QThread>
#include <QTimer>

frmEnc::frmEnc(QWidget* mainWindow, std::string keyFolder)
    : ToolWindow(mainWindow, QStringLiteral("frmEnc"), toQString(FileEncryption::kTitle)),
      m_keyFolder(std::move(keyFolder)) {
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(14, 12, 14, 12);
    grid->setVerticalSpacing(4);
    const auto group = [this, grid](int row, const char* heading, const char* headingName,
                                    const char* boxName, const char* hintName,
                                    const char* browseName, const char* actionName,
                                    const char* action, QLineEdit*& box, Button*& run) {
        grid->addWidget(makeLabel(QString::fromLatin1(heading), this, headingName), row, 0, 1, 3);
        box = new QLineEdit(this);
        box->setObjectName(QString::fromLatin1(boxName));
        box->setMinimumWidth(260);
        grid->addWidget(box, row + 1, 0);
        Button* browse =
            Button::programButton(this, QStringLiteral("..."), QStringLiteral("Choose the file"));
        browse->setObjectName(QString::fromLatin1(browseName));
        browse->setFixedSize(28, 23);
        grid->addWidget(browse, row + 1, 1);
        run = Button::programButton(this, QString::fromLatin1(action));
        run->setObjectName(QString::fromLatin1(actionName));
        run->setFixedSize(80, 25);
        grid->addWidget(run, row + 1, 2);
        grid->addWidget(makeLabel(toQString(FileEncryption::kExample), this, hintName), row + 2, 0,
                        1, 3);
        return browse;
    };
    Button* browse1 = group(0, "Encrypt File", "Label1", "Text1", "Label3_0", "cmdBrowse1",
                            "Command1", "Encrypt", Text1, Command1);
    grid->setRowMinimumHeight(3, 10);
    Button* browse2 = group(4, "Decrypt File", "Label2", "Text2", "Label3_1", "cmdBrowse2",
                            "Command2", "Decrypt", Text2, Command2);
    ProgressBar1 = new ProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setMax(100);
    ProgressBar1->setFixedHeight(16);
    ProgressBar1->hide();
    grid->addWidget(ProgressBar1, 7, 0, 1, 3);
    connect(Command1, &Button::Click, this, &frmEnc::Command1_Click);
    connect(Command2, &Button::Click, this, &frmEnc::Command2_Click);
    connect(browse1, &Button::Click, this, &frmEnc::cmdBrowse1_Click);
    connect(browse2, &Button::Click, this, &frmEnc::cmdBrowse2_Click);
    // The worker only stores its progress; the window shows it ten times a second.
    m_progressTimer = new QTimer(this);
    m_progressTimer->setInterval(100);
    connect(m_progressTimer, &QTimer::timeout, this, [this] { showPercent(m_percent.load()); });
    // Wide enough for the window manager to show the whole title.
    setMinimumWidth(WindowTitle::minimumWidth(windowTitle()));
}

void frmEnc::showPercent(int percent) {
    ProgressBar1->setValue(percent);
    ProgressBar1->setText(toQString(FileEncryption::PercentText(percent)));
}

frmEnc::~frmEnc() {
    if (m_worker != nullptr) {
        m_worker->wait();
    }
}

void frmEnc::Form_Load() {
    Text1->setText(QString());
    Text2->setText(QString());
}

void frmEnc::Command1_Click() {
    start(Text1->text(), true);
}

void frmEnc::Command2_Click() {
    start(Text2->text(), false);
}

void frmEnc::cmdBrowse1_Click() {
    browse(Text1);
}

void frmEnc::cmdBrowse2_Click() {
    browse(Text2);
}

void frmEnc::browse(QLineEdit* box) {
    cCommonDialog dialog;
    QString fileName;
    QString fileTitle;
    bool readOnly = false;
    QString filter = QStringLiteral("All (*.*)| *.*");
    int filterIndex = 1;
    std::uint32_t flags = 0;
    if (dialog.VBGetOpenFileName(fileName, fileTitle, true, false, readOnly, true, filter,
                                 filterIndex, QString(), QString(), QString(), this, flags)) {
        box->setText(fileName);
    }
}

void frmEnc::start(const QString& typed, bool encrypt) {
    if (m_worker != nullptr) {
        return;
    }
    const std::string path = FileEncryption::TrimBlanks(toBytes(typed));
    const bool big = FileEncryption::ShowsProgress(path);
    m_percent = 0;
    showPercent(0);
    ProgressBar1->setVisible(big);
    if (big) {
        m_progressTimer->start();
    }
    Command1->setEnabled(false);
    Command2->setEnabled(false);
    m_worker = QThread::create([this, path, encrypt] {
        const platform::CryptProgress progress = [this](std::uint64_t done, std::uint64_t total) {
            m_percent = FileEncryption::Percent(done, total);
        };
        m_result = encrypt ? platform::encryptFile(path, m_keyFolder, progress)
                           : platform::decryptFile(path, m_keyFolder, progress);
    });
    connect(m_worker, &QThread::finished, this, [this, worker = m_worker] {
        if (m_worker == worker) {
            workDone(m_result);
        }
    });
    m_worker->start();
}

void frmEnc::finishWork() {
    if (m_worker == nullptr) {
        return;
    }
    m_worker->wait();
    workDone(m_result);
}

void frmEnc::workDone(std::error_code error) {
    QThread* worker = m_worker;
    m_worker = nullptr;
    worker->deleteLater();
    m_progressTimer->stop();
    ProgressBar1->hide();
    Command1->setEnabled(true);
    Command2->setEnabled(true);
    MsgBox::Show(this,
                 toQString(error ? FileEncryption::FailedMessage(error, m_keyFolder)
                                 : std::string(FileEncryption::kSuccess)),
                 0);
}

void frmEnc::closeEvent(QCloseEvent* event) {
    // The file is being replaced; the window closes once that is done.
    finishWork();
    ToolWindow::closeEvent(event);
}
