// quarzel: the program's entry. The window is linked here only, so the start-up code and the
// headless runs stay free of any toolkit.
#include "app/startup.h"
#include "gui/windowentry.h"

int main(int argc, char** argv) {
    return qz::QuarzelMain(argc, argv, qz::RunWindow);
}
