#pragma once

// What the measured programs share: clocks, memory and CPU readings, and a watch for the main
// window's first frame that is set up from inside the application object's constructor, so
// the program under test runs unchanged.

#include "bench/Clock.h"

#include <QtGlobal>

#include <functional>

namespace ferrodock::bench {

// CPU time of the calling thread.
qint64 threadCpuNs();

// A "Vm..." line of /proc/self/status, in KiB; -1 when missing.
qint64 statusKib(const char* field);

// Restarts the peak resident size (VmHWM) from the current size; false when the kernel
// refuses.
bool resetPeakMemory();

// User plus system CPU time of the whole process.
double cpuSeconds();

// Arms the watch: once the first QMainWindow's first frame is on the X server (painted,
// flushed, and a round trip to the server made after it), `next` runs on the main thread with
// the monotonic time of that. Call before the application object
// exists; installFrameWatch() is then called from its constructor.
void onFirstFrame(std::function<void(qint64 frameNs)> next);
void installFrameWatch();

// The start-up figures: the first frame's time and, a second later, the peak resident size
// and the main window's size; then the application quits.
void measureStartUp();

// Prints one "key=value ..." result line on standard output, for the harness.
void report(const char* format, ...) Q_ATTRIBUTE_FORMAT_PRINTF(1, 2);

}  // namespace ferrodock::bench
