// The treemap panel of the real window over a scan of 1,000,000 records (a generated CSV file
// read as a source: about 8 % folders up to 8 levels deep, sizes with a long tail, 14
// extensions), on the "offscreen" platform. Prints a table of wall-clock figures:
//   - the first picture after the scan at 1920x1080 (scan end -> picture on screen);
//   - a redraw after a resize to 3840x2160 with labels (the last resize step -> picture on
//     screen, the panel's settle delay set to 0 so only the drawing counts);
//   - the hover hit-test (the layout's answer alone, and a whole mouse move event: hit-test,
//     status text, outline);
//   - zoom into the largest top folder and out again at 1920x1080;
//   - the longest event-loop stall during a resize drag (the window resized every 10 ms
//     through 60 sizes between 1920x1080 and 3840x2160 of treemap, with the default settle),
//     and the same drag before the scan (the window alone, no picture).
//
// usage: bench_treemap_window [RECORDS]
#include "base/debuglog.h"
#include "base/heaptune.h"
#include "base/text.h"
#include "bench/common/windowbench.h"
#include "gui/scancontrol.h"
#include "gui/treemappanel.h"
#include "gui/treemapview.h"
#include "gui/treeview.h"
#include "views/displaytree.h"

#include <QAction>
#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace qz;
namespace fs = std::filesystem;
using bench::Clock;
using bench::Median;
using bench::Ms;
using bench::WaitFor;

namespace {

// A CSV file of n records under /bench.
void WriteCsv(const std::string& path, size_t n) {
    std::ofstream f(path, std::ios::binary);
    f << "\xEF\xBB\xBF"
      << "File Name,Size,Allocated,Modified,Attributes,Files,Folders\r\n";
    std::mt19937_64 rng(42);
    static const char* const exts[] = {".txt", ".jpg", ".dll", ".exe", ".log", ".mp3", ".png",
                                       ".h",   ".cpp", ".gz",  ".iso", ".dat", ".xml", ".bin"};
    struct Open {
        std::string path;
        int depth;
    };
    std::vector<Open> folders{{"/bench/", 0}};
    f << "\"/bench/\",0,0,2024/01/02 03:04:05,16,0,0\r\n";
    // Folders are written when made; a folder's files come in small batches (rows in any
    // order are read).
    for (size_t i = 1; i < n;) {
        const Open where = folders[rng() % folders.size()];
        if (rng() % 12 == 0 && where.depth < 8) {
            const std::string p = where.path + "dir" + std::to_string(i) + "/";
            f << '"' << p << "\",0,0,2024/01/02 03:04:05,16,0,0\r\n";
            folders.push_back({p, where.depth + 1});
            ++i;
            continue;
        }
        const int batch = 1 + int(rng() % 12);
        for (int k = 0; k < batch && i < n; ++k, ++i) {
            const uint64_t size = rng() % 100 == 0 ? rng() % 4000000000ull : rng() % 200000;
            f << '"' << where.path << "file" << i << exts[rng() % 14] << "\"," << size << ','
              << (size + 4095) / 4096 * 4096 << ",2024/01/02 03:04:05,32,0,0\r\n";
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    const size_t records = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 1000000;
    bench::TScratchDir scratch;
    if (!scratch.Ok()) return 1;
    const fs::path& dir = scratch.Path();
    const std::string csv = (dir / "bench.csv").string();
    auto t = Clock::now();
    WriteCsv(csv, records);
    std::fprintf(stderr, "CSV of %zu records written in %.0f ms\n", records, Ms(Clock::now() - t));

    // The panel logs each drawing's time on its thread: printed below next to the figures.
    EnableDebugLog(dir.string());
    bench::TBenchWindow harness(dir);
    std::unique_ptr<TfrmQuarzelMain>& window = harness.Window;
    TTreemapPanel& panel = *window->Treemap();
    TTreemapView& surface = *panel.pbTreemap;
    TScanControl& scans = *window->ScanControl();
    scans.ShowMessage = [](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); };
    if (!panel.actShowTreemapFilenames->isChecked()) panel.actShowTreemapFilenames->trigger();
    window->show();

    // Sizes the window so that the treemap surface has the given size (a few steps, as the
    // splitters share the change); lastResize: when the last step was asked for.
    Clock::time_point lastResize;
    auto sizeSurface = [&](QSize want) {
        for (int i = 0; i < 20 && surface.size() != want; ++i) {
            lastResize = Clock::now();
            window->resize(window->size() + want - surface.size());
            QCoreApplication::processEvents();
        }
    };
    sizeSurface({1920, 1080});
    if (surface.size() != QSize(1920, 1080))
        std::fprintf(stderr, "surface is %dx%d\n", surface.width(), surface.height());

    // Picture-on-screen times: from a mark to the next pictureShown.
    Clock::time_point mark, shown;
    int pictures = 0;
    QObject::connect(&panel, &TTreemapPanel::pictureShown, [&] {
        shown = Clock::now();
        ++pictures;
    });
    auto awaitPicture = [&](int before) {
        return WaitFor([&] { return pictures > before && !panel.Drawing(); });
    };

    // A resize drag: the window resized every 10 ms through 60 sizes, from its size to one
    // with 1920x1080 more and back; a 0 ms timer notes the longest gap between its turns of
    // the event loop. Returns that gap, the pictures shown meanwhile and whether the last
    // size's picture came.
    struct TDrag {
        double Longest;
        int Pictures;
        bool Settled;
    };
    auto measureDrag = [&]() -> TDrag {
        const QSize small = window->size(), large = small + QSize(1920, 1080);
        double longest = 0;
        Clock::time_point last = Clock::now();
        QTimer watch;
        watch.setInterval(0);
        QObject::connect(&watch, &QTimer::timeout, [&] {
            const auto now = Clock::now();
            longest = std::max(longest, Ms(now - last));
            last = now;
        });
        int step = 0;
        QTimer drag;
        drag.setInterval(10);
        QObject::connect(&drag, &QTimer::timeout, [&] {
            const double f = step < 30 ? step / 29.0 : (59 - step) / 29.0;
            window->resize(small + (large - small) * f);
            if (++step == 60) drag.stop();
        });
        const int before = pictures;
        last = Clock::now();
        watch.start();
        drag.start();
        WaitFor([&] { return step == 60; });
        const bool settled = panel.Picture() ? awaitPicture(before) : true;
        watch.stop();
        return {longest, pictures - before, settled};
    };
    // The same drag before any picture: what the window's own layout and painting cost.
    const double bareStall = measureDrag().Longest;

    // 1. The scan, then the first picture.
    Clock::time_point scanEnd;
    bool ended = false;
    QObject::connect(&scans, &TScanControl::scanFinished, [&](bool) {
        scanEnd = Clock::now();
        ended = true;
    });
    t = Clock::now();
    int before = pictures;
    scans.ScanPath(QString::fromStdString(csv));
    if (!WaitFor([&] { return ended; }, 600000) || !awaitPicture(before)) {
        std::fprintf(stderr, "no scan or no picture\n");
        return 1;
    }
    const double scanMs = Ms(scanEnd - t), firstMs = Ms(shown - scanEnd);
    const size_t items = panel.Picture() ? panel.Picture()->Layout.Items.size() : 0;

    // 2. Redraws after resizes to 3840x2160 (and back, not counted), the settle delay off.
    const int settle = panel.ResizeSettleMs;
    panel.ResizeSettleMs = 0;
    std::vector<double> big;
    for (int i = 0; i < 3; ++i) {
        before = pictures;
        sizeSurface({3840, 2160});
        if (!awaitPicture(before)) return 1;
        big.push_back(Ms(shown - lastResize));
        before = pictures;
        sizeSurface({1920, 1080});
        if (!awaitPicture(before)) return 1;
    }
    panel.ResizeSettleMs = settle;

    // 3. Hover: the layout's hit-test, and whole mouse moves.
    const TTreemapPicture* pic = panel.Picture();
    std::mt19937 rng(7);
    std::vector<double> hit, move;
    const int w = pic->Image.Width(), h = pic->Image.Height();
    volatile uint32_t sink = 0;
    for (int i = 0; i < 100000; ++i) {
        const int x = int(rng() % unsigned(w)), y = int(rng() % unsigned(h));
        const auto a = Clock::now();
        sink = sink + pic->Layout.HitTest(x, y, false).Item;
        hit.push_back(Ms(Clock::now() - a));
    }
    for (int i = 0; i < 2000; ++i) {
        const QPointF p(rng() % unsigned(surface.width()), rng() % unsigned(surface.height()));
        QMouseEvent ev(QEvent::MouseMove, p, surface.mapToGlobal(p), Qt::NoButton, Qt::NoButton,
                       Qt::NoModifier);
        const auto a = Clock::now();
        QApplication::sendEvent(&surface, &ev);
        move.push_back(Ms(Clock::now() - a));
    }
    QCoreApplication::processEvents();

    // 4. Zoom into the largest top folder and out again.
    TDisplayTree& tree = window->Tree()->Tree();
    TTreeNode* top = tree.Roots().empty() ? nullptr : tree.Roots()[0];
    TTreeNode* target = nullptr;
    if (top) {
        for (TTreeNode* c : tree.Children(top))
            if (!c->IsFileGroup && c->Data.Rec->IsFolder() &&
                (!target || c->Data.Rec->SubFoldersTotSize > target->Data.Rec->SubFoldersTotSize))
                target = c;
    }
    std::vector<double> zin, zout;
    for (int i = 0; target && i < 3; ++i) {
        window->Tree()->SelectNode(target);
        before = pictures;
        mark = Clock::now();
        panel.actZoomExecute();
        if (!awaitPicture(before)) return 1;
        zin.push_back(Ms(shown - mark));
        before = pictures;
        mark = Clock::now();
        panel.actUnzoomExecute();
        if (!awaitPicture(before)) return 1;
        zout.push_back(Ms(shown - mark));
    }

    // 5. The resize drag, with the picture.
    const auto [longest, dragPictures, settled] = measureDrag();

    std::printf("records=%zu items_in_picture=%zu scan_ms=%.0f\n", records, items, scanMs);
    std::printf("| Measure (1,000,000-record scan) | Figure | Target |\n|---|---:|---:|\n");
    std::printf("| First picture after the scan, 1920x1080 | %.0f ms | <= 150 ms |\n", firstMs);
    std::printf(
        "| Redraw after resize to 3840x2160, labels (median of 3) | %.0f ms | <= 150 ms |\n",
        Median(big));
    std::printf("| Hover hit-test, layout (median of 100,000) | %.4f ms | <= 0.1 ms |\n",
                Median(hit));
    std::printf("| Hover, whole mouse-move event (median of 2,000) | %.4f ms | |\n", Median(move));
    std::printf("| Zoom in, 1920x1080 (median of 3) | %.0f ms | <= 150 ms |\n", Median(zin));
    std::printf("| Zoom out, 1920x1080 (median of 3) | %.0f ms | <= 150 ms |\n", Median(zout));
    std::printf("| Longest event-loop stall in a resize drag | %.1f ms | <= 16 ms |\n", longest);
    std::printf("| Longest stall in the same drag without a picture (the window alone) | %.1f ms "
                "| |\n",
                bareStall);
    std::printf("| Pictures drawn for the drag (60 sizes) | %d%s | |\n", dragPictures,
                settled ? "" : " (not settled)");
    window.reset();
    // What stays resident once the window and its scan are gone, before and after the free
    // heap pages are handed back (as clearing a session's scans does).
    const double closedMb = bench::ResidentMb();
    ReleaseFreeHeap();
    std::printf("Resident after the window closed: %.0f MB, after handing back free heap pages: "
                "%.0f MB (heap tuned: %s)\n",
                closedMb, bench::ResidentMb(), harness.HeapTuned ? "yes" : "no");
    // The drawing thread's own times ("Treemap drawn in N ms"), in order.
    std::ifstream log(DebugLogPath());
    std::string line, times;
    const std::string key = "Treemap drawn in ";
    for (size_t at; std::getline(log, line);)
        if ((at = line.find(key)) != std::string::npos)
            times += (times.empty() ? "" : " ") + line.substr(at + key.size());
    std::printf("Drawing-thread times of the pictures shown, in order: %s\n", times.c_str());
    return 0;
}
