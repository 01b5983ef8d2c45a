#include "app/Antivirus.h"
#include "app/Screenshots.h"
#include "controls/ControlGallery.h"
#include "controls/FontFallbacks.h"
#include "scanner/ui/Load1.h"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>
#include <QTextStream>
#include <cstdio>
#include <cstring>
#include <memory>

namespace {

/// The program's icon in every size the build rendered; each window and the splash show it.
QIcon programIcon() {
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/icons"), {QStringLiteral("kesto.png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext()) {
        icon.addFile(sizes.next());
    }
    return icon;
}

} // namespace

int main(int argc, char** argv) {
    // Answered before Qt starts, so that they work without a display.
    const char* const usage =
        "Usage: kesto-gui [--screenshot FOLDER | --gallery | --help | --version]\n";
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--version") == 0 || std::strcmp(argv[1], "-V") == 0)) {
        std::fputs("kesto-gui " KESTO_VERSION "\n", stdout);
        return 0;
    }
    QApplication application(argc, argv);
    AddFontFallbacks();
    QApplication::setApplicationName(QStringLiteral("Kesto Virus Scanner"));
    // Lets the desktop match the windows to the installed desktop entry and its icon.
    QApplication::setDesktopFileName(QStringLiteral("org.example.kesto_scanner.Kesto"));
    QApplication::setWindowIcon(programIcon());
    const QStringList arguments = QApplication::arguments();
    if (arguments.size() == 3 && arguments[1] == QStringLiteral("--screenshot")) {
        return TakeScreenshots(arguments[2]);
    }
    if (arguments.size() == 2 && arguments[1] == QStringLiteral("--gallery")) {
        ControlGallery gallery;
        gallery.show();
        return QApplication::exec();
    }
    if (arguments.size() > 1) {
        QTextStream(stderr) << usage;
        return 2;
    }
    std::unique_ptr<Antivirus> mainWindow;
    auto* splash = new Load1([&mainWindow] {
        mainWindow = std::make_unique<Antivirus>(Antivirus::DefaultSettings());
        mainWindow->show();
    });
    splash->show();
    return QApplication::exec();
}
