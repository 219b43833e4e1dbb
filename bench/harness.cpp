// Runs ferrodock's benchmarks and their floors, each BENCH_RUNS times (default 5) in turns,
// on this machine and in this run, and prints one Markdown table of the medians.
//
//   BENCH_RUNS        runs of each figure (5)
//   BENCH_SIZE_MIB    size of the uploaded file (1024)
//   BENCH_PASTE_MIB   size of the pasted text (16)
//   BENCH_IMAGE_SIZE  size of the chosen JPEG (6000x4000)
//   BENCH_ONLY        some of: startup upload paste image (all)
//
// Needs an X display (run under xvfb-run -a) and curl. Exits non-zero only when a benchmark
// cannot be run; goals that are missed show in the table.
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

long long envNumber(const char* name, long long fallback) {
    const char* value = std::getenv(name);
    return value && *value ? std::atoll(value) : fallback;
}

[[noreturn]] void fail(const std::string& what) {
    throw std::runtime_error(what);
}

using Fields = std::map<std::string, std::string>;

// "key=value key=value" into a map.
Fields parseFields(const std::string& line) {
    Fields fields;
    std::istringstream words(line);
    std::string word;
    while (words >> word) {
        const size_t eq = word.find('=');
        if (eq != std::string::npos) fields[word.substr(0, eq)] = word.substr(eq + 1);
    }
    return fields;
}

long long number(const Fields& fields, const std::string& key) {
    const auto it = fields.find(key);
    if (it == fields.end()) fail("result has no " + key);
    return std::atoll(it->second.c_str());
}

double real(const Fields& fields, const std::string& key) {
    const auto it = fields.find(key);
    if (it == fields.end()) fail("result has no " + key);
    return std::atof(it->second.c_str());
}

// Reads lines from a child's standard output, waiting at most until a deadline.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    // False at end of output.
    bool next(std::string& line, long long deadlineNs) {
        for (;;) {
            const size_t end = pending_.find('\n');
            if (end != std::string::npos) {
                line = pending_.substr(0, end);
                pending_.erase(0, end + 1);
                return true;
            }
            if (closed_) return false;
            const long long left = (deadlineNs - monotonicNs()) / 1000000;
            if (left <= 0) fail("timed out waiting for a result");
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, static_cast<int>(std::min<long long>(left, 1000))) <= 0) continue;
            char chunk[4096];
            const ssize_t n = read(fd_, chunk, sizeof chunk);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                closed_ = true;
                continue;
            }
            pending_.append(chunk, static_cast<size_t>(n));
        }
    }

private:
    int fd_;
    std::string pending_;
    bool closed_ = false;
};

struct Finished {
    std::string output;
    long long startNs = 0;
    long long endNs = 0;  // when the process had exited
    double cpuSeconds = 0;
};

class Bench {
public:
    Bench() {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/ferrodock-bench.XXXXXX";
        if (!mkdtemp(pattern.data())) fail("cannot make a scratch folder");
        scratch_ = pattern;
        log_ = scratch_ / "children.log";
        char self[4096];
        const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
        if (n <= 0) fail("cannot find the benchmark programs");
        programs_ = fs::path(std::string(self, static_cast<size_t>(n))).parent_path();
        fs::create_directories(scratch_ / "runtime");
        fs::permissions(scratch_ / "runtime", fs::perms::owner_all);
        if (const char* size = std::getenv("BENCH_IMAGE_SIZE"); size && *size) {
            if (std::sscanf(size, "%dx%d", &imageWidth_, &imageHeight_) != 2 || imageWidth_ < 1 ||
                imageHeight_ < 1)
                fail("BENCH_IMAGE_SIZE must be WIDTHxHEIGHT");
        }
    }

    ~Bench() {
        if (receiver_ > 0) {
            kill(receiver_, SIGTERM);
            waitpid(receiver_, nullptr, 0);
        }
        std::error_code ignored;
        fs::remove_all(scratch_, ignored);
    }

    void run();

private:
    // Starts `argv` with standard output on a pipe and standard error in the log.
    pid_t spawn(const std::vector<std::string>& argv, int& out, long long& startNs,
                bool freshHome) {
        std::vector<std::string> env;
        for (char** e = environ; *e; ++e) {
            const std::string entry = *e;
            if (entry.rfind("HOME=", 0) == 0 || entry.rfind("XDG_", 0) == 0 ||
                entry.rfind("QT_QPA_PLATFORM=", 0) == 0)
                continue;
            env.push_back(entry);
        }
        if (freshHome) {
            const fs::path home = scratch_ / ("home" + std::to_string(++homes_));
            fs::create_directories(home);
            env.push_back("HOME=" + home.string());
        } else {
            env.push_back("HOME=" + (scratch_ / "runtime").string());
        }
        env.push_back("XDG_RUNTIME_DIR=" + (scratch_ / "runtime").string());
        env.push_back("QT_QPA_PLATFORM=xcb");

        int pipeFds[2];
        if (pipe2(pipeFds, O_CLOEXEC) != 0) fail("cannot make a pipe");
        const int logFd = open(log_.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
        if (logFd >= 0) posix_spawn_file_actions_adddup2(&actions, logFd, STDERR_FILENO);

        std::vector<char*> args;
        for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
        args.push_back(nullptr);
        std::vector<char*> envp;
        for (std::string& e : env) envp.push_back(e.data());
        envp.push_back(nullptr);

        pid_t pid = 0;
        startNs = monotonicNs();
        const int error = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(pipeFds[1]);
        if (logFd >= 0) close(logFd);
        if (error != 0) {
            close(pipeFds[0]);
            fail("cannot start " + argv[0] + ": " + std::strerror(error));
        }
        out = pipeFds[0];
        return pid;
    }

    // Runs `argv` to its end and returns what it printed, its times and its CPU time.
    Finished runProgram(const std::vector<std::string>& argv, int timeoutSeconds,
                        bool freshHome = true) {
        Finished result;
        int out = -1;
        const pid_t pid = spawn(argv, out, result.startNs, freshHome);
        LineReader reader(out);
        std::string line;
        try {
            const long long deadline = result.startNs + timeoutSeconds * 1000000000LL;
            while (reader.next(line, deadline)) result.output += line + "\n";
        } catch (...) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            close(out);
            throw;
        }
        close(out);
        int status = 0;
        rusage usage{};
        while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        result.endNs = monotonicNs();
        auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
        result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fail(argv[0] + " failed; its messages:\n" + logTail());
        }
        return result;
    }

    std::string logTail() const {
        std::ifstream in(log_);
        std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        return all.size() > 4000 ? all.substr(all.size() - 4000) : all;
    }

    std::string program(const char* name) const { return (programs_ / name).string(); }

    // The receiver's line for the request that just ended.
    Fields received(long long expectBytes) {
        std::string line;
        do {
            if (!receiverOut_->next(line, monotonicNs() + 30 * 1000000000LL))
                fail("the receiver stopped");
        } while (line.rfind("request ", 0) != 0);
        Fields fields = parseFields(line);
        if (expectBytes >= 0 && number(fields, "bytes") < expectBytes)
            fail("the receiver got only " + fields["bytes"] + " bytes");
        return fields;
    }

    void prepare(bool upload, bool image);
    void startReceiver();

    fs::path scratch_;
    fs::path log_;
    fs::path programs_;
    int homes_ = 0;
    pid_t receiver_ = -1;
    int receiverFd_ = -1;
    std::unique_ptr<LineReader> receiverOut_;
    std::string origin_;

    int runs_ = int(std::max<long long>(1, envNumber("BENCH_RUNS", 5)));
    long long sizeMib_ = std::max<long long>(1, envNumber("BENCH_SIZE_MIB", 1024));
    long long pasteMib_ = std::max<long long>(1, envNumber("BENCH_PASTE_MIB", 16));
    int imageWidth_ = 6000;
    int imageHeight_ = 4000;
    double jpegMib_ = 0;
    fs::path uploadFile_, jpeg_, pasteBody_;
    std::string ca_ = FERRODOCK_BENCH_CERTS_DIR "/ca.pem";
};

void Bench::prepare(bool upload, bool image) {
    uploadFile_ = scratch_ / "upload.bin";
    jpeg_ = scratch_ / "picture.jpg";
    pasteBody_ = scratch_ / "paste-body";
    // Bytes that do not compress, written once and then read from the page cache by both.
    if (upload) {
        std::ofstream out(uploadFile_, std::ios::binary);
        std::vector<unsigned long long> block(1 << 17);  // 1 MiB
        unsigned long long state = 88172645463325252ULL;
        for (long long mib = 0; mib < sizeMib_; ++mib) {
            for (auto& word : block) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                word = state;
            }
            out.write(reinterpret_cast<const char*>(block.data()),
                      static_cast<std::streamsize>(block.size() * sizeof block[0]));
        }
        if (!out) fail("cannot write the upload file");
    }
    if (image) {
        runProgram({program("ferrodock-bench-app"), "make-jpeg", jpeg_.string(),
                    std::to_string(imageWidth_), std::to_string(imageHeight_)},
                   300);
        jpegMib_ = double(fs::file_size(jpeg_)) / (1 << 20);
    }
}

void Bench::startReceiver() {
    long long startNs = 0;
    receiver_ = spawn({program("ferrodock-bench-receiver"), FERRODOCK_BENCH_CERTS_DIR "/server.pem",
                       FERRODOCK_BENCH_CERTS_DIR "/server.key", pasteBody_.string()},
                      receiverFd_, startNs, false);
    receiverOut_ = std::make_unique<LineReader>(receiverFd_);
    std::string line;
    if (!receiverOut_->next(line, monotonicNs() + 30 * 1000000000LL))
        fail("the receiver did not start:\n" + logTail());
    origin_ = "https://127.0.0.1:" + parseFields(line)["port"];
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Row {
    std::string figure;
    std::string ours;
    std::string floor;
    std::string comparison;
    std::string goal;
    bool met;
};

std::string format(const char* pattern, double value) {
    char text[64];
    std::snprintf(text, sizeof text, pattern, value);
    return text;
}

std::string sizeText(long long mib) {
    return mib >= 1024 && mib % 1024 == 0 ? std::to_string(mib / 1024) + " GiB"
                                          : std::to_string(mib) + " MiB";
}

std::string machineText() {
    std::string os = "Linux";
    std::ifstream release("/etc/os-release");
    for (std::string line; std::getline(release, line);) {
        if (line.rfind("PRETTY_NAME=", 0) == 0) {
            os = line.substr(12);
            os.erase(std::remove(os.begin(), os.end(), '"'), os.end());
        }
    }
    utsname name{};
    uname(&name);
    char date[32];
    const std::time_t now = std::time(nullptr);
    std::strftime(date, sizeof date, "%Y-%m-%d", std::localtime(&now));
    return std::string(date) + ", " + std::to_string(sysconf(_SC_NPROCESSORS_ONLN)) + " cores, " +
           os + ", " + name.machine;
}

void Bench::run() {
    if (!std::getenv("DISPLAY")) fail("no X display: run under xvfb-run -a");
    const std::string only = std::getenv("BENCH_ONLY") ? std::getenv("BENCH_ONLY") : "";
    auto wanted = [&only](const char* group) {
        return only.empty() || only.find(group) != std::string::npos;
    };
    std::fprintf(stderr, "preparing the data...\n");
    prepare(wanted("upload"), wanted("image"));
    startReceiver();
    const std::string app = program("ferrodock-bench-app");
    const std::string bare = program("ferrodock-bench-bare");
    const std::string paste = std::to_string(pasteMib_);
    const long long uploadBytes = sizeMib_ << 20;
    const int uploadTimeout = int(120 + sizeMib_ / 4);
    // Built by appending: GCC 12 warns wrongly about "literal" + std::string temporaries.
    std::string uploadArgument = "file=@";
    uploadArgument += uploadFile_.string();
    std::string pasteArgument = "@";
    pasteArgument += pasteBody_.string();

    // Uncounted: loads the libraries and fonts into the page cache, and gives the receiver
    // ferrodock's paste body for curl to send.
    const std::string window = parseFields(runProgram({app, "startup"}, 60).output)["window"];
    runProgram({bare, "startup", window}, 60);
    if (wanted("paste")) {
        runProgram({app, "paste", paste, origin_, ca_}, 300);
        received(pasteMib_ << 20);
    }

    // Runs ferrodock's side and the floor's once each, in an order that alternates.
    auto inTurn = [](int run, const auto& ours, const auto& floor) {
        if (run % 2 == 0) {
            ours();
            floor();
        } else {
            floor();
            ours();
        }
    };
    std::map<std::string, std::vector<double>> s;  // samples by name
    for (int i = 0; i < runs_; ++i) {
        std::fprintf(stderr, "run %d of %d\n", i + 1, runs_);
        if (wanted("startup")) {
            auto startUp = [&](const std::string& program, const std::string& name) {
                const Finished f = runProgram({program, "startup", window}, 60);
                const Fields r = parseFields(f.output);
                s[name + "StartUp"].push_back(double(number(r, "frame_ns") - f.startNs) / 1e6);
                s[name + "IdlePeak"].push_back(double(number(r, "hwm_kib")) / 1024);
            };
            inTurn(
                i, [&] { startUp(app, "ours"); }, [&] { startUp(bare, "bare"); });
        }
        if (wanted("upload")) {
            inTurn(
                i,
                [&] {
                    const Finished f = runProgram(
                        {app, "upload", uploadFile_.string(), origin_, ca_}, uploadTimeout);
                    received(uploadBytes);
                    const Fields r = parseFields(f.output);
                    s["uploadWall"].push_back(double(number(r, "wall_ns")) / 1e9);
                    s["uploadCpu"].push_back(real(r, "cpu_s"));
                    s["beforePeak"].push_back(double(number(r, "idle_hwm_kib")) / 1024);
                    s["afterPeak"].push_back(double(number(r, "end_hwm_kib")) / 1024);
                    s["gap"].push_back(double(number(r, "max_gap_ns")) / 1e6);
                    s["gapCpu"].push_back(double(number(r, "max_gap_cpu_ns")) / 1e6);
                    s["idleGap"].push_back(double(number(r, "idle_max_gap_ns")) / 1e6);
                },
                [&] {
                    const Finished f =
                        runProgram({"curl", "-sS", "--cacert", ca_, "-F", uploadArgument,
                                    origin_ + "/api/upload/file", "-o", "/dev/null"},
                                   uploadTimeout);
                    received(uploadBytes);
                    s["curlWall"].push_back(double(f.endNs - f.startNs) / 1e9);
                    s["curlCpu"].push_back(f.cpuSeconds);
                });
        }
        if (wanted("paste")) {
            inTurn(
                i,
                [&] {
                    const Finished f = runProgram({app, "paste", paste, origin_, ca_}, 300);
                    const Fields r = parseFields(f.output);
                    const long long press = number(r, "press_ns");
                    const long long last = number(received(pasteMib_ << 20), "last_ns");
                    s["paste"].push_back(double(last - press) / 1e6);
                    s["pasteHandler"].push_back(double(number(r, "handled_ns") - press) / 1e6);
                },
                [&] {
                    const Finished f =
                        runProgram({"curl", "-sS", "--cacert", ca_, "--data-binary", pasteArgument,
                                    origin_ + "/api/upload/paste", "-o", "/dev/null"},
                                   300);
                    const long long body = static_cast<long long>(fs::file_size(pasteBody_));
                    const long long last = number(received(body), "last_ns");
                    s["curlPaste"].push_back(double(last - f.startNs) / 1e6);
                });
        }
        if (wanted("image")) {
            const Finished f = runProgram({app, "image", jpeg_.string()}, 300);
            const Fields r = parseFields(f.output);
            s["preview"].push_back(double(number(r, "preview_ns")) / 1e6);
            s["decode"].push_back(double(number(r, "decode_ns")) / 1e6);
        }
    }

    std::vector<Row> rows;
    auto ratioRow = [&rows](std::string figure, const char* unit, double ours, double floor,
                            std::string floorName, double goal) {
        const double ratio = ours / floor;
        const std::string coarse = std::string("%.1f ") + unit;
        const std::string fine = std::string("%.3f ") + unit;
        auto value = [&](double v) { return format(v < 10 ? fine.c_str() : coarse.c_str(), v); };
        rows.push_back({std::move(figure), value(ours), value(floor) + " (" + floorName + ")",
                        format("×%.2f", ratio), format("≤ ×%.2g", goal), ratio <= goal});
    };
    auto differenceRow = [&rows](std::string figure, double ours, double floor,
                                 std::string floorName, double goal) {
        const double difference = ours - floor;
        rows.push_back({std::move(figure), format("%.1f MiB", ours),
                        format("%.1f MiB", floor) + " (" + floorName + ")",
                        format("%+.1f MiB", difference), format("≤ +%.0f MiB", goal),
                        difference <= goal});
    };
    if (wanted("startup")) {
        ratioRow("Start-up, process start to first frame", "ms", median(s["oursStartUp"]),
                 median(s["bareStartUp"]), "bare Qt window, same size", 1.3);
        differenceRow("Peak memory at idle after start-up (VmHWM)", median(s["oursIdlePeak"]),
                      median(s["bareIdlePeak"]), "bare Qt window, same size", 10);
    }
    if (wanted("upload")) {
        const std::string upload = sizeText(sizeMib_) + " upload";
        ratioRow(upload + ", wall time", "s", median(s["uploadWall"]), median(s["curlWall"]),
                 "curl -F", 1.1);
        ratioRow(upload + ", CPU time (user+system)", "s", median(s["uploadCpu"]),
                 median(s["curlCpu"]), "curl -F", 1.3);
        differenceRow(upload + ", peak memory (VmHWM at the end)", median(s["afterPeak"]),
                      median(s["beforePeak"]), "idle, just before", 16);
        const double gap = median(s["gap"]);
        rows.push_back({upload + ", longest event-loop gap",
                        format("%.1f ms", gap) +
                            format(" (main thread running %.1f ms of it)", median(s["gapCpu"])),
                        format("%.1f ms (same probe, idle, as long)", median(s["idleGap"])), "—",
                        "≤ 10 ms", gap <= 10});
    }
    if (wanted("paste")) {
        ratioRow(sizeText(pasteMib_) + " paste, press to last byte received", "ms",
                 median(s["paste"]), median(s["curlPaste"]), "curl --data-binary", 1.2);
        rows.back().ours +=
            format(" (%.1f ms of it in the button's handler)", median(s["pasteHandler"]));
    }
    if (wanted("image")) {
        ratioRow(std::to_string(imageWidth_) + "x" + std::to_string(imageHeight_) +
                     " JPEG, panel answer to preview",
                 "ms", median(s["preview"]), median(s["decode"]), "full decode", 0.25);
    }

    std::printf("Median of %d runs; %s upload, %s paste, %dx%d JPEG (%.1f MiB); %s.\n\n", runs_,
                sizeText(sizeMib_).c_str(), sizeText(pasteMib_).c_str(), imageWidth_, imageHeight_,
                jpegMib_, machineText().c_str());
    std::printf("| figure | ferrodock | floor | ratio or difference | goal | met |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        std::printf("| %s | %s | %s | %s | %s | %s |\n", row.figure.c_str(), row.ours.c_str(),
                    row.floor.c_str(), row.comparison.c_str(), row.goal.c_str(),
                    row.met ? "yes" : "**no**");
    }
    std::fflush(stdout);
}

}  // namespace

int main() {
    std::signal(SIGPIPE, SIG_IGN);
    try {
        Bench bench;
        bench.run();
    } catch (const std::exception& error) {
        std::fprintf(stderr, "ferrodock-bench: %s\n", error.what());
        return 1;
    }
    return 0;
}
