#include "app/Application.h"

#include <sys/prctl.h>

int main(int argc, char** argv) {
    // Holds a password and an API key: no core dumps, and no other process of the user may
    // attach to read them.
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    return ferrodock::runApplication(argc, argv);
}
