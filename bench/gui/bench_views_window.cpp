// The views of the real window over a scan of 1,000,000 records (a generated CSV file read as a
// source: about 8 % folders up to 8 levels deep, sizes with a long tail, 14 extensions, and
// 100,000 files of the extension ".sel" spread over 10,000 folders), on the "offscreen"
// platform. Prints a table of wall-clock figures, each from the user's action to the picture
// on screen (the list or tree painted once more after the work has ended):
//   - the file list's first page after the scan (the scans' lists sorted by the list's order
//     first), and a reload, for the top 1,000 and the top 100,000;
//   - a search typed into the box (the 500 ms typing pause left out) to its rows shown: a name
//     pattern many files match, one that only a few match (the whole scan walked) and a
//     full-path pattern;
//   - "Select" of the extension ".sel" in the file-types view to the tree's status text;
//   - the filter panel's Apply with an include and an exclude filter to the tree repainted.
//
// usage: bench_views_window [RECORDS]
#include "bench/common/windowbench.h"
#include "gui/extview.h"
#include "gui/filelistpanel.h"
#include "gui/filelistview.h"
#include "gui/filterapplier.h"
#include "gui/filterpanel.h"
#include "gui/historycombo.h"
#include "gui/scancontrol.h"
#include "gui/statuspanel.h"
#include "gui/treeview.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

using namespace qz;
namespace fs = std::filesystem;
using bench::Clock;
using bench::CpuMs;
using bench::Median;
using bench::Ms;
using bench::WaitFor;

namespace {

// Wall-clock and CPU figures of one measure (medians of its runs).
struct TFigure {
    std::vector<double> Wall, Cpu;
    void Add(double wall, double cpu) {
        Wall.push_back(wall);
        Cpu.push_back(cpu);
    }
    std::string Text() const {
        char b[64];
        std::snprintf(b, sizeof b, "%.0f ms (CPU %.0f ms)", Median(Wall), Median(Cpu));
        return b;
    }
};

constexpr int kSelFolders = 10000, kSelPerFolder = 10;

// A CSV file of n records under /bench: the first 10,000 folders made get ten ".sel" files
// each when they are made.
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
    auto file = [&](const std::string& name, uint64_t size) {
        f << '"' << name << "\"," << size << ',' << (size + 4095) / 4096 * 4096
          << ",2024/01/02 03:04:05,32,0,0\r\n";
    };
    int selFolders = 0;
    for (size_t i = 1; i < n;) {
        const Open where = folders[rng() % folders.size()];
        // Folders are made often enough at first for the ".sel" files to find their 10,000.
        const bool makeFolder = selFolders < kSelFolders ? rng() % 3 == 0 : rng() % 12 == 0;
        if (makeFolder && where.depth < 8) {
            const std::string p = where.path + "dir" + std::to_string(i) + "/";
            f << '"' << p << "\",0,0,2024/01/02 03:04:05,16,0,0\r\n";
            folders.push_back({p, where.depth + 1});
            ++i;
            if (selFolders < kSelFolders) {
                ++selFolders;
                for (int k = 0; k < kSelPerFolder && i < n; ++k, ++i)
                    file(p + "part" + std::to_string(i) + ".sel", rng() % 50000);
            }
            continue;
        }
        const int batch = 1 + int(rng() % 12);
        for (int k = 0; k < batch && i < n; ++k, ++i) {
            const uint64_t size = rng() % 100 == 0 ? rng() % 4000000000ull : rng() % 200000;
            file(where.path + "file" + std::to_string(i) + exts[rng() % 14], size);
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

    bench::TBenchWindow harness(dir);
    std::unique_ptr<TfrmQuarzelMain>& window = harness.Window;
    TScanControl& scans = *window->ScanControl();
    TFileListPanel& files = *window->Files();
    TFilterPanel& filters = *window->Filters();
    TTreeView& tree = *window->Tree();
    scans.ShowMessage = [](const QString& m) { std::fprintf(stderr, "%s\n", qPrintable(m)); };
    window->resize(1600, 1000);
    window->show();

    bool ended = false;
    QObject::connect(&scans, &TScanControl::scanFinished, [&](bool) { ended = true; });
    t = Clock::now();
    scans.ScanPath(QString::fromStdString(csv));
    if (!WaitFor([&] { return ended; }, 600000)) {
        std::fprintf(stderr, "no scan\n");
        return 1;
    }
    const double scanMs = Ms(Clock::now() - t);
    // The treemap's first picture is drawn off the window's thread: let it finish first so
    // that it does not share the cores with what is measured.
    for (int i = 0; i < 40; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    // ---- the file list
    auto setLimit = [&](int limit) {
        files.cbMaxFiles->setCurrentIndex(files.cbMaxFiles->findData(limit));
    };
    // Starts a load, waits for its end and paints the list once more: the rows on screen.
    double lastCpu = 0;
    auto loadMs = [&](auto start) {
        const auto a = Clock::now();
        const double c = CpuMs();
        start();
        if (!WaitFor([&] { return !files.Loading() && files.List().Loaded(); })) return -1.0;
        files.vstFiles->viewport()->repaint();
        lastCpu = CpuMs() - c;
        return Ms(Clock::now() - a);
    };
    setLimit(1000);
    // The page shows: its first load sorts the scans' lists by the list's order.
    TFigure firstPage, top1k, top100k;
    // (Each figure's wall-clock time is taken first: it sets lastCpu.)
    double wall = loadMs([&] { window->pcMain->setCurrentWidget(window->tsFiles); });
    firstPage.Add(wall, lastCpu);
    const size_t firstRows = files.List().Roots().size();
    for (int i = 0; i < 3; ++i) {
        wall = loadMs([&] { files.LoadFileList(); });
        top1k.Add(wall, lastCpu);
    }
    setLimit(100000);
    for (int i = 0; i < 3; ++i) {
        wall = loadMs([&] { files.LoadFileList(); });
        top100k.Add(wall, lastCpu);
    }
    const size_t rows100k = files.List().Roots().size();
    setLimit(1000);

    // A search typed into the box: the text set as typing leaves it, the load the typing
    // pause starts.
    struct TSearch {
        const char* label;
        QString text;
        bool path;
        TFigure figure;
        size_t rows = 0;
    } searches[] = {
        {"Search, name pattern many files match (*5.jpg)", QStringLiteral("*5.jpg"), false},
        {"Search, name pattern few files match (file12345*)", QStringLiteral("file12345*"), false},
        {"Search, full-path pattern (*/dir1*/*.iso, Match entire path)",
         QStringLiteral("*/dir1*/*.iso"), true},
        {"Search, full-path pattern few files match (*/dir12*/file9*)",
         QStringLiteral("*/dir12*/file9*"), true},
    };
    for (TSearch& s : searches) {
        (s.path ? files.rbMatchPath : files.rbMatchName)->setChecked(true);
        for (int i = 0; i < 3; ++i) {
            files.cbFileSearch->SetText(QString());
            if (loadMs([&] { files.LoadFileList(); }) < 0) return 1;
            wall = loadMs([&] {
                files.cbFileSearch->SetText(s.text);
                files.LoadFileList();
            });
            s.figure.Add(wall, lastCpu);
        }
        s.rows = files.List().Roots().size();
    }
    files.rbMatchName->setChecked(true);
    files.cbFileSearch->SetText(QString());

    // ---- "Select" of an extension in the file-types view
    window->pcMain->setCurrentWidget(window->tsTree);
    QCoreApplication::processEvents();
    TFigure select;
    QString selected;
    for (int i = 0; i < 3; ++i) {
        window->TreeStatus()->SetSelectionText(QString());
        const auto a = Clock::now();
        const double c = CpuMs();
        emit window->FileTypes()->selectExtension(QStringLiteral(".sel"));
        // The status text is set before the call returns; the tree repaints with it.
        tree.viewport()->repaint();
        window->TreeStatus()->pnlSelection->repaint();
        select.Add(Ms(Clock::now() - a), CpuMs() - c);
        selected = window->TreeStatus()->SelectionText();
    }

    // ---- the filter panel's Apply
    if (!filters.isVisible()) filters.actFilterScanResults->trigger();
    TFigure apply;
    double longestStall = 0; // the longest time the window's thread did not turn its loop
    // A tick every millisecond: the loop turns at least that often while the window's thread
    // only waits for the pass (waiting for events is not a stall).
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [] {});
    tick.start();
    size_t shownAfter = 0;
    bool applyOk = true;
    for (int i = 0; i < 3 && applyOk; ++i) {
        for (const QString& include : {QStringLiteral("*.jpg|*.png|*.sel >10K"), QString()}) {
            filters.cbFilterInclude->SetText(include);
            filters.cbFilterExclude->SetText(include.isEmpty() ? QString()
                                                               : QStringLiteral("*/dir1*/*"));
            const auto a = Clock::now();
            const double c = CpuMs();
            auto turn = Clock::now();
            filters.actApplyFilter->trigger();
            if (!WaitFor([&] {
                    longestStall = std::max(longestStall, Ms(Clock::now() - turn));
                    turn = Clock::now();
                    return !window->FilterApplier()->Busy();
                }))
                applyOk = false;
            tree.viewport()->repaint();
            if (!include.isEmpty()) {
                apply.Add(Ms(Clock::now() - a), CpuMs() - c);
                shownAfter = size_t(tree.model()->rowCount(tree.model()->index(0, 0)));
            }
        }
    }

    tick.stop();
    std::printf("records=%zu scan_ms=%.0f first_page_rows=%zu top100k_rows=%zu\n", records, scanMs,
                firstRows, rows100k);
    std::printf(
        "| Measure (1,000,000-record scan) | Wall clock (CPU) | Target |\n|---|---:|---:|\n");
    std::printf("| File list, first page after the scan (sorts first), top 1,000 | %s | |\n",
                firstPage.Text().c_str());
    std::printf("| File list reload, top 1,000 (median of 3) | %s | <= 100 ms |\n",
                top1k.Text().c_str());
    std::printf("| File list reload, top 100,000 (median of 3) | %s | <= 300 ms |\n",
                top100k.Text().c_str());
    for (const TSearch& s : searches)
        std::printf("| %s, %zu rows (median of 3) | %s | <= %s |\n", s.label, s.rows,
                    s.figure.Text().c_str(), s.path ? "1 s" : "300 ms");
    std::printf("| Select \".sel\" (100,000 files in 10,000 folders) to the status text "
                "(median of 3) | %s | <= 100 ms |\n",
                select.Text().c_str());
    std::printf("| Filter Apply, include and exclude, to the tree repainted (median of 3) | %s%s "
                "| <= 500 ms |\n",
                apply.Text().c_str(), applyOk ? "" : " (a pass did not end)");
    std::printf("| Filter Apply, the window's longest stall (all passes) | %.0f ms | |\n",
                longestStall);
    std::printf("Status after Select: %s\nRows below the root after the filter: %zu\n",
                qPrintable(selected), shownAfter);
    window.reset();
    return 0;
}
