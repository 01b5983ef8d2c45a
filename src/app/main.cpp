#include "app/Screenshots.h"
#include "controls/ControlGallery.h"
#include "scanner/ui/Antivirus.h"
#include "scanner/ui/Load1.h"

#include <QApplication>
#include <QTextStream>
#include <memory>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Kesto Virus Scanner"));
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
        QTextStream(stderr) << "Usage: kesto-gui [--screenshot FOLDER | --gallery]\n";
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
