#include "controls/WindowTitle.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QString>

namespace WindowTitle {

int minimumWidth(const QString& title, const QFont& font) {
    QFont bold(font);
    bold.setBold(true);
    const QFontMetrics metrics(bold);
    const int barHeight = 2 * metrics.height();
    constexpr int kIconAndButtons = 4;
    return metrics.horizontalAdvance(title) + kIconAndButtons * barHeight + metrics.height();
}

int minimumWidth(const QString& title) {
    return minimumWidth(title, QFontDatabase::systemFont(QFontDatabase::TitleFont));
}

} // namespace WindowTitle
