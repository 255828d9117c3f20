#include "gui/application.h"

#include "base/debuglog.h"
#include "gui/qtext.h"

#include <QMessageBox>
#include <new>

namespace qz {

TQuarzelApplication::TQuarzelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    setApplicationName(QStringLiteral("Quarzel"));
    setOrganizationName(QStringLiteral("Quarzel"));
}

bool TQuarzelApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc& e) {
        ApplicationEvents1Exception(e.what(), true);
    } catch (const std::exception& e) {
        ApplicationEvents1Exception(e.what(), false);
    } catch (...) {
        ApplicationEvents1Exception("unknown exception", false);
    }
    return false;
}

void TQuarzelApplication::ApplicationEvents1Exception(const char* message, bool outOfMemory) {
    ++FCaught;
    DebugLog(std::string("Exception: ") + message);
    std::fprintf(stderr, "quarzel: %s\n", message);
    if (outOfMemory)
        QMessageBox::critical(activeWindow(), QStringLiteral("Quarzel"),
                              Tr("Out of memory") + QStringLiteral(": ") +
                                  QString::fromUtf8(message));
}

} // namespace qz
