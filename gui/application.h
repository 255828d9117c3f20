// The program's QApplication with the application-wide exception handler: an exception that
// escapes an event handler is logged with its message instead of ending the program; running
// out of memory is also shown in an error box.
#pragma once

#include <QApplication>

namespace qz {

class TQuarzelApplication : public QApplication {
    Q_OBJECT
public:
    TQuarzelApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // ApplicationEvents1Exception: logs the message; out of memory is also shown in a box.
    void ApplicationEvents1Exception(const char* message, bool outOfMemory);
    // The number of exceptions caught so far.
    int CaughtExceptions() const { return FCaught; }

private:
    int FCaught = 0;
};

} // namespace qz
