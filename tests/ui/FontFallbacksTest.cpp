#include "controls/FontFallbacks.h"

#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QTest>

/// The faces the windows name resolve to the face itself or its stand-in, never to whatever the
/// system picks for an unknown name (a serif face under Wine).
class FontFallbacksTest final : public QObject {
    Q_OBJECT

private slots:
    void classicFacesResolveToThemselvesOrTheirStandIns_data() {
        QTest::addColumn<QString>("face");
        QTest::addColumn<QStringList>("acceptable");
        QTest::newRow("Arial") << QStringLiteral("Arial")
                               << QStringList{QStringLiteral("Arial"),
                                              QStringLiteral("Liberation Sans")};
        QTest::newRow("Tahoma") << QStringLiteral("Tahoma")
                                << QStringList{QStringLiteral("Tahoma"),
                                               QStringLiteral("DejaVu Sans")};
        QTest::newRow("Courier New")
            << QStringLiteral("Courier New")
            << QStringList{QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")};
        QTest::newRow("Fixedsys") << QStringLiteral("Fixedsys")
                                  << QStringList{QStringLiteral("Fixedsys"),
                                                 QStringLiteral("DejaVu Sans Mono")};
        QTest::newRow("dialog face")
            << QStringLiteral("MS Shell Dlg 2")
            << QStringList{QStringLiteral("MS Shell Dlg 2"), QStringLiteral("Tahoma"),
                           QStringLiteral("DejaVu Sans")};
    }
    void classicFacesResolveToThemselvesOrTheirStandIns() {
        QFETCH(QString, face);
        QFETCH(QStringList, acceptable);
        // The stand-ins ship with the build's dependencies (fonts-liberation, fonts-dejavu-core).
        // The last face acceptable is the stand-in that must be installed.
        if (!QFontDatabase::hasFamily(acceptable.last())) {
            QSKIP(qPrintable(acceptable.last() + QStringLiteral(" is not installed")));
        }
        AddFontFallbacks();
        const QString resolved = QFontInfo(QFont(face, 10)).family();
        QVERIFY2(acceptable.contains(resolved),
                 qPrintable(face + QStringLiteral(" -> ") + resolved));
    }
};

int runFontFallbacksTests(int argc, char** argv) {
    FontFallbacksTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "FontFallbacksTest.moc"
