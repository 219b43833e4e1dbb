// ferrodock-bench-app, as the harness starts it. Start-up goes the way a person's start goes:
// through ferrodock, which becomes the window program, here ferrodock-bench-window, laid out
// beside a copy of ferrodock (front/) as the install lays them out. Every other scenario starts
// ferrodock-bench-window at once. It links nothing but the C library: it adds one exec.
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
    char dir[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", dir, sizeof dir - 1);
    if (n <= 0) return std::perror("ferrodock-bench-app"), 1;
    dir[n] = '\0';
    *std::strrchr(dir, '/') = '\0';
    char program[PATH_MAX + 64];
    if (argc == 2 && std::strcmp(argv[1], "startup") == 0) {
        // ferrodock passes on no arguments of its own but "open": the scenario goes by name.
        setenv("FERRODOCK_BENCH_MODE", "startup", 1);
        std::snprintf(program, sizeof program, "%s/front/bin/ferrodock", dir);
        char name[] = "ferrodock";
        char* args[] = {name, nullptr};
        ::execv(program, args);
    } else {
        std::snprintf(program, sizeof program, "%s/ferrodock-bench-window", dir);
        ::execv(program, argv);
    }
    std::perror(program);
    return 1;
}
