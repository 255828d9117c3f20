// quarzel: the program's entry.
#include "app/startup.h"

int main(int argc, char** argv) {
    return qz::QuarzelMain(argc, argv);
}
