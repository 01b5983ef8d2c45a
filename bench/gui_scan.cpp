// gui_scan: the main window's scan of a folder, started as a click on Scan starts it, with the
// event loop running so that every progress report is handled and painted as in real use. Run
// without a display: QT_QPA_PLATFORM=offscreen.
//
//   gui_scan [--no-cache] --database DB FOLDER
//
// --no-cache reads every file, as `kesto scan --no-cache` does; otherwise the window uses the
// user's verdict cache.
// Prints the detection count and the wall time from the click to the end of the scan (the
// "finished" message); exits with 1 when something was detected, like `kesto scan`, and with 2
// when the scan did not run to its end.

#include "app/Antivirus.h"
#include "controls/FolderDialog.h"
#include "controls/MsgBox.h"

#include <QApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QLabel>
#include <chrono>
#include <cstdio>
#include <optional>
#include <string>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    const bool noCache = argc > 1 && std::string(argv[1]) == "--no-cache";
    if (noCache) {
        --argc;
        ++argv;
    }
    if (argc != 4 || std::string(argv[1]) != "--database") {
        std::fprintf(stderr, "usage: gui_scan [--no-cache] --database DB FOLDER\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[3]);
    // The window scans a folder that is not there without complaint; a benchmark must not.
    if (!QFileInfo(folder).isDir()) {
        std::fprintf(stderr, "gui_scan: '%s' is not a folder\n", argv[3]);
        return 2;
    }

    Antivirus::Settings settings = Antivirus::DefaultSettings();
    settings.databasePath = argv[2];
    settings.verdictCache = !noCache;
    bool ended = false;
    settings.endProgram = [&ended] { ended = true; };

    // The folder dialog answers with the folder; the message at the end of the scan ends the wait.
    FolderDialog::SetHandler([&folder](const QString&) { return std::optional<QString>(folder); });
    // The window leaves its scanning state before it shows the closing message.
    QEventLoop loop;
    QString lastMessage;
    bool finished = false;
    const Antivirus* scanner = nullptr;
    MsgBox::SetHandler([&](const QString& text, int, const QString&) {
        lastMessage = text;
        finished = scanner != nullptr && !scanner->scanning();
        loop.quit();
        return static_cast<int>(MsgBox::Ok);
    });

    Antivirus window(settings);
    window.show();
    QApplication::processEvents();
    if (ended) {
        std::fprintf(stderr, "gui_scan: %s\n", qPrintable(lastMessage));
        return 2;
    }

    scanner = &window;
    const auto start = std::chrono::steady_clock::now();
    window.cmdScan_Click();
    if (window.scanning()) {
        loop.exec();
    }
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (!finished) {
        std::fprintf(stderr, "gui_scan: the scan did not finish: %s\n", qPrintable(lastMessage));
        return 2;
    }
    const auto* count = window.findChild<QLabel*>(QStringLiteral("lblJumlahVirus"));
    const int detections = count != nullptr ? count->text().toInt() : -1;
    std::printf("desktop scan: %d detections in %.3f s\n", detections, took.count());
    std::printf("%s\n", qPrintable(lastMessage));
    return detections > 0 ? 1 : 0;
}
