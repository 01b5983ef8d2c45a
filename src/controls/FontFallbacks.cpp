#include "controls/FontFallbacks.h"

#include <QFont>
#include <QString>
#include <QStringList>

void AddFontFallbacks() {
    const QStringList tahomaLike = {QStringLiteral("DejaVu Sans"),
                                    QStringLiteral("Liberation Sans")};
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Tahoma"), tahomaLike);
    // The default face of Windows dialogs, and so of every label that sets no face of its own.
    QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg 2"), tahomaLike);
    QFont::insertSubstitutions(QStringLiteral("MS Shell Dlg"), tahomaLike);
    // The fixed-pitch faces: the progress bar's text and the disk report.
    QFont::insertSubstitutions(QStringLiteral("Fixedsys"), {QStringLiteral("DejaVu Sans Mono"),
                                                            QStringLiteral("Liberation Mono")});
    QFont::insertSubstitutions(QStringLiteral("Courier New"), {QStringLiteral("Liberation Mono"),
                                                               QStringLiteral("DejaVu Sans Mono")});
}
