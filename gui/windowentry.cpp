#include "gui/windowentry.h"

#include "app/headless.h"
#include "base/debuglog.h"
#include "base/heaptune.h"
#include "base/promptwakeup.h"
#include "base/translate.h"
#include "gui/application.h"
#include "gui/mainwindow.h"

#include <QFile>
#include <QTimer>
#include <cstdlib>

namespace qz {

namespace {
bool Set(const char* name) {
    const char* v = std::getenv(name);
    return v && *v;
}
} // namespace

bool DisplayAvailable() {
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY") || Set("QT_QPA_PLATFORM");
}

int RunWindow(TWindowStart& start) {
    if (!DisplayAvailable()) {
        std::fprintf(stderr, "quarzel: %s\n%s\n  %s\n(%s)\n",
                     tr("no display is available (neither DISPLAY nor WAYLAND_DISPLAY is set), so "
                        "the window cannot open."),
                     tr("To scan without a window, ask for an output, for example:"),
                     "quarzel PATH --export=quarzel.csv --treemapimagefile=quarzel.png",
                     tr("see quarzel --help"));
        return kExitUsage;
    }
    // Before the window allocates its first image: large image buffers come from the heap and
    // are reused while the window is resized (a headless run keeps the allocator's defaults).
    TuneHeapForLargeBuffers();
    // Events reach the window promptly while scan threads keep every core busy.
    AskShortSchedulerSlice();
    TQuarzelApplication app(start.argc, start.argv);
    TfrmQuarzelMain window(start);
    window.show();
    const QString path =
        QFile::decodeName(QByteArray::fromStdString(start.CommandLine.GetPathArgument(1)));
    // The command line is processed once the window is up.
    QTimer::singleShot(50, &window, [&window, path] { window.ProcessCommandLinePath(path); });
    const int code = app.exec();
    DebugLog("Window closed");
    return code;
}

} // namespace qz
