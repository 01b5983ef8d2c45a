#include <QApplication>

int runButtonTests(int argc, char** argv);
int runProgressBarTests(int argc, char** argv);
int runXPFrameTests(int argc, char** argv);
int runVelkXpButtonTests(int argc, char** argv);
int runFontFallbacksTests(int argc, char** argv);

// One executable for the owner-drawn controls; each test class runs in turn.
int main(int argc, char** argv) {
    QApplication app(argc, argv);
    int failed = runButtonTests(argc, argv);
    failed += runProgressBarTests(argc, argv);
    failed += runXPFrameTests(argc, argv);
    failed += runVelkXpButtonTests(argc, argv);
    failed += runFontFallbacksTests(argc, argv);
    return failed;
}
