// browse_window: how long the explorer window takes to open on a folder and to show it, with
// the table painted once. Run without a display: QT_QPA_PLATFORM=offscreen.
//
//   browse_window FOLDER [RUNS]   prints the best of RUNS (default 3) in wall-clock milliseconds

#include "tools/ui/frmBrowse.h"

#include <QApplication>
#include <QTableView>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: browse_window FOLDER [RUNS]\n");
        return 2;
    }
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    frmBrowse::Sources sources;
    sources.startFolder = argv[1];
    frmBrowse window(nullptr, sources);
    double best = 1e300;
    int rows = 0;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        window.Form_Load();
        window.show();
        window.table()->viewport()->repaint();
        QApplication::processEvents();
        const std::chrono::duration<double, std::milli> took =
            std::chrono::steady_clock::now() - start;
        best = std::min(best, took.count());
        rows = window.table()->model()->rowCount();
        window.hide();
    }
    std::printf("explorer window: %d rows shown in %.1f ms (best of %d)\n", rows, best, runs);
    return 0;
}
