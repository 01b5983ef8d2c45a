#include "app/Screenshots.h"

#include "app/FolderDialog.h"
#include "app/MsgBox.h"
#include "scanner/ui/Antivirus.h"
#include "scanner/ui/Load1.h"

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
    FolderDialog::SetHandler([&sample](const QString&) { return sample.path(); });
    MsgBox::SetHandler([](const QString&, int, const QString&) { return int{MsgBox::Ok}; });
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
    FolderDialog::SetHandler(nullptr);
    MsgBox::SetHandler(nullptr);
    return ok ? 0 : 2;
}
