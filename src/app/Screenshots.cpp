#include "app/Screenshots.h"

#include "app/Antivirus.h"
#include "controls/ControlGallery.h"
#include "controls/FolderDialog.h"
#include "controls/MsgBox.h"
#include "controls/WindowText.h"
#include "controls/cCommonDialog.h"
#include "engine/ui/EngineWindows.h"
#include "engine/ui/frmSignature.h"
#include "engine/ui/frmTempDb.h"
#include "platform/ProgramFolder.h"
#include "platform/ScopedSeam.h"
#include "scanner/ui/Load1.h"
#include "scanner/ui/frmQuarantine.h"
#include "smart/ui/frmHDD.h"
#include "tools/ui/ToolWindows.h"
#include "tools/ui/frmAbout.h"
#include "tools/ui/frmBrowse.h"
#include "tools/ui/frmDrive.h"
#include "tools/ui/frmEnc.h"
#include "tools/ui/frmLock.h"
#include "tools/ui/frmMem.h"
#include "tools/ui/frmSystem.h"
#include "tools/ui/frmTask.h"
#include "tools/ui/frmTools.h"
#include "tools/ui/frmWinTools.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMenu>
#include <QPixmap>
#include <QTemporaryDir>
#include <QTextStream>
#include <QThread>

namespace {

bool save(QWidget& widget, const QString& folder, const QString& name) {
    const QString path = QDir(folder).filePath(name);
    const bool saved = widget.grab().save(path);
    QTextStream(stdout) << (saved ? "wrote " : "could not write ") << path << '\n';
    return saved;
}

/// Lets queued work run until `done` holds or ten seconds have passed.
template <typename Predicate> bool processUntil(Predicate done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 10000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(5);
    }
    return done();
}

void writeSample(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(content);
    }
}

/// A disk with a few attributes, one of them past its threshold, for the disk health window.
mSMARTDef::DriveInfo sampleDrive(int slot) {
    mSMARTDef::DriveInfo info;
    if (slot != 0) {
        return info;
    }
    info.DriveType = mSMARTDef::kIdeDrive;
    info.Model = "SAMPLE DISK 500GB                       ";
    info.FirmWare = "1.01    ";
    info.SerialNumber = "        SN00012345AB";
    info.Cilinders = 16383;
    info.Heads = 16;
    info.SecPerTrack = 63;
    info.Attributes = {{1, "READ_ERROR_RATE", 117, 6, 99, 0x0F, 120364000},
                       {3, "SPIN_UP_TIME", 97, 21, 21, 0x03, 0},
                       {5, "REALLOC_SECTOR_COUNT", 100, 36, 100, 0x33, 0},
                       {9, "POWER_ON_HRS_COUNT", 88, 0, 88, 0x32, 10871},
                       {194, "TEMPERATURE", 40, 0, 52, 0x22, 40},
                       {197, "CURRENT_PENDING_SECTOR_COUNT", 100, 0, 100, 0x12, 0},
                       {199, "ULTRADMA_CRC_ERROR_RATE", 200, 0, 200, 0x3E, 0},
                       {}};
    info.NumAttributes = 7;
    return info;
}

/// The tool windows of this machine, each closed again after its picture.
bool saveToolWindows(ToolWindows& tools, const QString& folder) {
    bool ok = true;
    const auto shoot = [&](QWidget* window, const char* name) {
        QCoreApplication::processEvents();
        ok = save(*window, folder, QString::fromLatin1(name)) && ok;
        window->close();
    };
    tools.showTools();
    shoot(tools.tools(), "tools.png");
    tools.showWinTools();
    shoot(tools.winTools(), "windows-tools.png");
    tools.showAbout();
    for (int tick = 0; tick < 60; ++tick) {
        tools.about()->Timer1_Timer();
    }
    shoot(tools.about(), "about.png");
    tools.showSystem();
    shoot(tools.system(), "system-info.png");
    tools.showMem();
    tools.mem()->Timer1_Timer();
    shoot(tools.mem(), "memory-status.png");
    tools.showDrive();
    shoot(tools.drive(), "drive-info.png");
    tools.showLock();
    tools.lock()->Timer1_Timer();
    shoot(tools.lock(), "usb-lock.png");
    tools.showEnc();
    shoot(tools.enc(), "encrypt-file.png");
    tools.showTask();
    shoot(tools.task(), "task-manager.png");
    tools.showBrowse();
    shoot(tools.browse(), "explorer.png");
    frmHDD hdd(nullptr, sampleDrive);
    hdd.Form_Load();
    hdd.show();
    shoot(&hdd, "serial-harddisk.png");
    return ok;
}

/// The signature list, and the file inspector showing `inspected`.
bool saveEngineWindows(QWidget& mainWindow, const std::string& databasePath, const QString& folder,
                       const QString& inspected) {
    EngineWindows engine(&mainWindow, databasePath);
    bool ok = true;
    engine.showSignatures();
    QCoreApplication::processEvents();
    ok = save(*engine.signatures(), folder, QStringLiteral("signatures.png")) && ok;
    engine.signatures()->close();
    engine.showTempDb();
    {
        const platform::ScopedSeam chosen(cCommonDialog::SetOpenHandler,
                                          [&inspected](const cCommonDialog::FileRequest&) {
                                              cCommonDialog::FileAnswer answer;
                                              answer.result = cCommonDialog::Result::Confirmed;
                                              answer.files = QStringList{inspected};
                                              return answer;
                                          });
        engine.tempDb()->cmdBrowse_Click();
    }
    QCoreApplication::processEvents();
    ok = save(*engine.tempDb(), folder, QStringLiteral("temporary-database.png")) && ok;
    engine.tempDb()->close();
    return ok;
}

/// The quarantine window over a temporary quarantine folder holding one recorded file.
bool saveQuarantineWindow(const QString& folder, const QByteArray& testFile) {
    QTemporaryDir quarantine;
    const std::string path = toBytes(QDir::toNativeSeparators(quarantine.path()));
    writeSample(quarantine.filePath(QStringLiteral("eicar.com_vir")), testFile);
    platform::FolderHandle handle;
    platform::FileFacts facts;
    if (handle.openPath(path) || platform::factsOf(handle, "eicar.com_vir", facts)) {
        return false;
    }
    facts.mode = 0644;
    // The record keeps where the file came from as a full path of this system, or the window
    // shows it as damaged.
    const char* const original = platform::kPathSeparator == '\\'
                                     ? "C:\\Users\\user\\Downloads\\eicar.com"
                                     : "/home/user/Downloads/eicar.com";
    SealQuarantinedFile(handle, "eicar.com_vir", original, "EICAR-Test-File", facts);
    frmQuarantine window(nullptr, path);
    window.Form_Load();
    window.show();
    QCoreApplication::processEvents();
    return save(window, folder, QStringLiteral("quarantine.png"));
}

} // namespace

int TakeScreenshots(const QString& folder) {
    if (!QDir().mkpath(folder)) {
        QTextStream(stderr) << "cannot create " << folder << '\n';
        return 2;
    }
    bool ok = true;
    {
        Load1 splash({});
        splash.show();
        for (int tick = 0; tick < 30; ++tick) {
            splash.Timer1_Timer();
        }
        ok = save(splash, folder, QStringLiteral("splash.png")) && ok;
        // Offscreen grabs have no title bar, so the icon the windows carry is written apart.
        for (const int size : {16, 32, 256}) {
            const QString path = QDir(folder).filePath(QStringLiteral("icon-%1.png").arg(size));
            const bool saved = splash.windowIcon().pixmap(size).save(path);
            QTextStream(stdout) << (saved ? "wrote " : "could not write ") << path << '\n';
            ok = saved && ok;
        }
    }

    Antivirus window(Antivirus::DefaultSettings());
    window.show();
    window.Form_Activate();
    QCoreApplication::processEvents();
    ok = save(window, folder, QStringLiteral("main-idle.png")) && ok;

    // A sample folder with two copies of the standard test file among ordinary files.
    QTemporaryDir sample;
    const QByteArray testFile = QByteArrayLiteral("X5O!P%@AP[4\\PZX54(P^)7CC)7}$") +
                                QByteArrayLiteral("EICAR-STANDARD-ANTIVIRUS-TEST-FILE!$H+H*");
    writeSample(sample.filePath(QStringLiteral("Documents/letter.txt")), "Dear reader");
    writeSample(sample.filePath(QStringLiteral("Downloads/eicar.com")), testFile);
    writeSample(sample.filePath(QStringLiteral("Downloads/setup/tool.exe")), "MZ tool");
    writeSample(sample.filePath(QStringLiteral("Music/cached-test-file.com")), testFile);
    {
        // The scan is of the sample folder, and its messages answer themselves.
        const platform::ScopedSeam folders(FolderDialog::SetHandler,
                                           [&sample](const QString&) { return sample.path(); });
        const platform::ScopedSeam messages(
            MsgBox::SetHandler,
            [](const QString&, int, const QString&) { return int{MsgBox::Ok}; });
        window.cmdScan_Click();
        processUntil([&window] { return !window.scanning(); });
        ok = save(window, folder, QStringLiteral("main-detections.png")) && ok;

        auto* menu = window.findChild<QMenu*>(QStringLiteral("mnu"));
        if (menu != nullptr) {
            menu->popup(window.mapToGlobal(QPoint(120, 220)));
            QCoreApplication::processEvents();
            ok = save(*menu, folder, QStringLiteral("menu.png")) && ok;
            menu->hide();
        }
        ok = saveEngineWindows(window, Antivirus::DefaultSettings().databasePath, folder,
                               sample.filePath(QStringLiteral("Downloads/eicar.com"))) &&
             ok;
        ok = saveToolWindows(window.toolWindows(), folder) && ok;
        ok = saveQuarantineWindow(folder, testFile) && ok;
    }
    {
        ControlGallery gallery;
        gallery.show();
        gallery.showStates();
        QCoreApplication::processEvents();
        ok = save(gallery, folder, QStringLiteral("controls.png")) && ok;
    }
    return ok ? 0 : 2;
}
