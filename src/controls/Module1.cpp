#include "controls/Module1.h"

#include <QWidget>

namespace Module1 {

int MakeWindowTranslucent(QWidget* window, int level) {
    if (level < 0 || level > 255) {
        return 1;
    }
    if (window == nullptr) {
        return 2;
    }
    window->setWindowOpacity(level / 255.0);
    return 0;
}

} // namespace Module1
