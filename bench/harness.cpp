// Runs ferrodock's benchmarks and their floors against nginx on 127.0.0.1, each BENCH_RUNS
// times (default 7) in turns, and prints the README's table of the medians in Markdown.
//
//   BENCH_RUNS        runs of each figure (7)
//   BENCH_SIZE_MIB    size of the uploaded file (1024)
//   BENCH_PASTE_MIB   size of the pasted text (16)
//   BENCH_IMAGE_SIZE  size of the chosen JPEG (6000x4000)
//   BENCH_ONLY        some of: startup upload paste image history cli (all)
//
// Needs an X display (run under xvfb-run -a) for all but cli, nginx and curl. Exits non-zero
// only when a benchmark cannot be run; goals that are missed show in the table.
//
// The cli rows run the command line built with the bench nginx as its service origin (the
// real one has ferrodock.net compiled in) and curl, both trusting the bench CA through the
// system store as a user's would: as root the harness enters a mount namespace of its own
// where /etc/ssl/certs is a copy with the CA added. Not as root, they are skipped.
#include "bench/Clock.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using ferrodock::bench::monotonicNs;

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

double number(const Fields& fields, const std::string& key) {
    const auto it = fields.find(key);
    if (it == fields.end()) fail("result has no " + key);
    return std::atof(it->second.c_str());
}

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
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
    double peakMib = 0;  // VmHWM, sampled every 2 ms until the program ends, when asked for
};

// What nginx passes the bodies on to, unbuffered: reads each body whole, answers only then,
// and keeps the size and the end of the last one.
class Upstream {
public:
    explicit Upstream(const fs::path& socketPath) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const std::string path = socketPath.string();
        if (path.size() >= sizeof address.sun_path) fail("socket path too long: " + path);
        std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
        listener_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (listener_ < 0 ||
            bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            listen(listener_, 16) != 0)
            fail("cannot listen on " + path);
        thread_ = std::thread([this] { serve(); });
    }
    ~Upstream() {
        shutdown(listener_, SHUT_RDWR);
        thread_.join();
        close(listener_);
    }
    // The size of the last body, and its last bytes.
    std::pair<long long, std::string> last() {
        std::lock_guard lock(mutex_);
        return {lastBytes_, lastTail_};
    }
    // The first bytes of the last body, and when its request's head had come.
    std::pair<std::string, long long> lastHead() {
        std::lock_guard lock(mutex_);
        return {lastHead_, lastHeadNs_};
    }

private:
    void serve() {
        std::vector<char> buffer(1 << 20);
        for (int fd; (fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC)) >= 0; close(fd)) {
            std::string head;
            long long left = -1, got = 0, headNs = 0;
            std::string tail, first;
            for (ssize_t n; left != 0 && (n = read(fd, buffer.data(), buffer.size())) > 0;) {
                const char* data = buffer.data();
                if (left < 0) {
                    head.append(data, size_t(n));
                    const size_t end = head.find("\r\n\r\n");
                    if (end == std::string::npos) continue;
                    std::string lower = head.substr(0, end);
                    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
                    const size_t at = lower.find("\ncontent-length:");
                    left = at == std::string::npos ? 0 : std::atoll(lower.c_str() + at + 16);
                    headNs = monotonicNs();
                    data = head.data() + end + 4;
                    n = ssize_t(head.size() - end - 4);
                }
                const long long used = std::min<long long>(n, left);
                tail.append(data, size_t(used));
                if (first.size() < 4096)
                    first.append(data, size_t(std::min<long long>(used, 4096)));
                if (tail.size() > 4096) tail.erase(0, tail.size() - 512);
                got += used;
                left -= used;
            }
            if (left != 0) continue;  // the client went away: nginx logs that
            const char answer[] =
                "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 15\r\n\r\n"
                "127.0.0.1/bench";
            if (write(fd, answer, sizeof answer - 1) < 0) continue;
            std::lock_guard lock(mutex_);
            lastBytes_ = got;
            lastTail_ = tail.substr(tail.size() > 512 ? tail.size() - 512 : 0);
            lastHead_ = std::move(first);
            lastHeadNs_ = headNs;
        }
    }

    int listener_ = -1;
    std::thread thread_;
    std::mutex mutex_;
    long long lastBytes_ = 0;
    std::string lastTail_;
    std::string lastHead_;
    long long lastHeadNs_ = 0;
};

// CPU seconds of a running process, from /proc.
double processCpuSeconds(pid_t pid) {
    std::istringstream stat(readFile("/proc/" + std::to_string(pid) + "/stat"));
    std::string field;
    double ticks = 0;
    for (int i = 1; i <= 15 && stat >> field; ++i) {
        if (i >= 14) ticks += std::atof(field.c_str());  // utime, stime (after a name w/o spaces)
    }
    return ticks / double(sysconf(_SC_CLK_TCK));
}

// Busy CPU seconds of the whole machine, from /proc/stat (steal and waiting excluded).
double machineBusySeconds() {
    std::istringstream stat(readFile("/proc/stat"));
    std::string cpu;
    double user = 0, nice = 0, system = 0, idle = 0, iowait = 0, irq = 0, softirq = 0;
    stat >> cpu >> user >> nice >> system >> idle >> iowait >> irq >> softirq;
    return (user + nice + system + irq + softirq) / double(sysconf(_SC_CLK_TCK));
}

double loadAverage() {
    return std::atof(readFile("/proc/loadavg").c_str());
}

double median(std::vector<double> values) {
    if (values.empty()) fail("no samples");
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

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
    std::istringstream release(readFile("/etc/os-release"));
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

// The form fields before the file in the first bytes of a multipart body, as curl options,
// and the file part's type.
std::vector<std::string> formFields(const std::string& head, std::string& fileType) {
    const std::string disposition = "Content-Disposition: form-data; name=\"";
    std::vector<std::string> options;
    for (size_t at = 0; (at = head.find(disposition, at)) != std::string::npos;) {
        at += disposition.size();
        const size_t nameEnd = head.find('"', at);
        const size_t value = head.find("\r\n\r\n", at);
        if (nameEnd == std::string::npos || value == std::string::npos) break;
        const std::string headers = head.substr(nameEnd, value - nameEnd);
        if (headers.find("filename=") != std::string::npos) {
            const size_t type = headers.find("Content-Type: ");
            if (type != std::string::npos) fileType = headers.substr(type + 14);
            return options;
        }
        const size_t end = head.find("\r\n--", value + 4);
        if (end == std::string::npos) break;
        options.push_back("--form-string");
        options.push_back(head.substr(at, nameEnd - at) + "=" +
                          head.substr(value + 4, end - value - 4));
        at = end;
    }
    fail("the upload's form has no file part in its first bytes");
}

// Whether nginx could listen on `port`: as it does, past connections still in TIME_WAIT.
bool portFree(int port) {
    const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<uint16_t>(port));
    const bool free = bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    close(s);
    return free;
}

std::string inPath(const std::string& name) {
    std::istringstream path(std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    for (std::string folder; std::getline(path, folder, ':');) {
        if (access((folder + "/" + name).c_str(), X_OK) == 0) return folder + "/" + name;
    }
    fail(name + " is not in PATH");
}

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
        stopServer();
        std::error_code ignored;
        fs::remove_all(scratch_, ignored);
    }

    void run();

private:
    // Starts `argv` with standard output on a pipe and standard error in the log.
    pid_t spawn(const std::vector<std::string>& argv, int& out, long long& startNs,
                bool freshHome) {
        std::vector<std::string> env = childEnvironment_;
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
                        bool freshHome = true, bool samplePeak = false) {
        Finished result;
        int out = -1;
        const pid_t pid = spawn(argv, out, result.startNs, freshHome);
        LineReader reader(out);
        std::string line;
        // ru_maxrss would not do: it keeps the high-water mark of the harness itself, whose
        // memory the spawned program shared until its exec.
        std::atomic<bool> ended{false};
        std::atomic<long long> peakKib{0};
        std::thread sampler([pid, samplePeak, &ended, &peakKib] {
            const std::string status = "/proc/" + std::to_string(pid) + "/status";
            while (samplePeak && !ended) {
                std::ifstream file(status);
                for (std::string field; file >> field;) {
                    if (field != "VmHWM:") continue;
                    long long kib = 0;
                    file >> kib;
                    peakKib = std::max(peakKib.load(), kib);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
        });
        const auto stopSampler = [&] {
            ended = true;
            sampler.join();
        };
        try {
            const long long deadline = result.startNs + timeoutSeconds * 1000000000LL;
            while (reader.next(line, deadline)) result.output += line + "\n";
        } catch (...) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
            stopSampler();
            close(out);
            throw;
        }
        close(out);
        int status = 0;
        rusage usage{};
        // Reaped only now: until then its /proc entry stays, and the sampler reads its last mark.
        siginfo_t exited{};
        while (waitid(P_PID, id_t(pid), &exited, WEXITED | WNOWAIT) < 0 && errno == EINTR) {
        }
        stopSampler();
        while (wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
        }
        result.endNs = monotonicNs();
        auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
        result.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
        result.peakMib = double(peakKib) / 1024;
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

    // Runs ferrodock's copy as a person's start does, without arguments: it becomes the bench's
    // window program, which takes `scenario` from its environment.
    Finished runThroughFerrodock(const std::string& scenario, int timeoutSeconds) {
        childEnvironment_ = {"FERRODOCK_BENCH_MODE=" + scenario};
        Finished result = runProgram({program("front/bin/ferrodock")}, timeoutSeconds);
        childEnvironment_.clear();
        return result;
    }

    // nginx in the foreground, one process, with a prefix, configuration and logs of its own.
    // Bodies are passed on to the upstream as they come in, so that the answer comes only
    // after the last byte, and no byte of them is stored on the way.
    void startServer(bool cliPort) {
        const fs::path prefix = scratch_ / "nginx";
        fs::create_directories(prefix / "logs");
        upstream_ = std::make_unique<Upstream>(scratch_ / "upstream.sock");
        const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            fail("cannot find a free port");
        close(probe);
        const std::string port = std::to_string(ntohs(address.sin_port));
        const std::string p = prefix.string() + "/";
        std::ofstream conf(prefix / "nginx.conf");
        conf << (geteuid() == 0 ? "user root;\n" : "") << "daemon off;\nmaster_process off;\n"
             << "pid " << p << "nginx.pid;\nerror_log " << p << "logs/error.log warn;\n"
             << "events { worker_connections 64; }\nhttp {\n"
             << "  log_format timing '$msec $request_time $request_length $status';\n"
             << "  access_log " << p << "logs/access.log timing;\n";
        for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
            conf << "  " << temp << "_temp_path " << p << temp << ";\n";
        conf << "  server {\n    listen 127.0.0.1:" << port << " ssl;\n";
        if (cliPort) conf << "    listen 127.0.0.1:" << FERRODOCK_BENCH_CLI_PORT << " ssl;\n";
        conf << "    ssl_certificate " FERRODOCK_BENCH_CERTS_DIR "/server.pem;\n"
             << "    ssl_certificate_key " FERRODOCK_BENCH_CERTS_DIR "/server.key;\n"
             << "    client_max_body_size 0;\n    location / {\n"
             << "      proxy_pass http://unix:" << (scratch_ / "upstream.sock").string() << ":;\n"
             << "      proxy_request_buffering off;\n    }\n  }\n}\n";
        conf.close();
        int out = -1;
        long long startNs = 0;
        server_ = spawn({"nginx", "-p", p, "-c", p + "nginx.conf", "-e", p + "logs/error.log"}, out,
                        startNs, false);
        close(out);
        accessLog_ = prefix / "logs" / "access.log";
        origin_ = "https://127.0.0.1:" + port;
        for (const long long deadline = monotonicNs() + 10000000000LL;;) {
            const int s = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
            const bool up = connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
            close(s);
            if (up) break;
            if (monotonicNs() > deadline || waitpid(server_, nullptr, WNOHANG) != 0)
                fail("nginx did not start:\n" + readFile(prefix / "logs" / "error.log"));
            usleep(10000);
        }
    }

    void stopServer() {
        if (server_ > 0) {
            kill(server_, SIGTERM);
            waitpid(server_, nullptr, 0);
            server_ = -1;
        }
        upstream_.reset();
    }

    // nginx's line for the request that just ended: its end on the monotonic clock, its
    // request time and its status.
    struct Request {
        long long endNs;
        double seconds;
    };
    Request served(long long atLeastBytes) {
        for (const long long deadline = monotonicNs() + 30000000000LL;;) {
            const std::string log = readFile(accessLog_);
            const size_t end = log.find('\n', logRead_);
            if (end != std::string::npos) {
                std::istringstream line(log.substr(logRead_, end - logRead_));
                logRead_ = end + 1;
                double msec = 0, seconds = 0;
                long long bytes = 0;
                int status = 0;
                line >> msec >> seconds >> bytes >> status;
                if (status != 200 || bytes < atLeastBytes)
                    fail("nginx answered " + std::to_string(status) + " after " +
                         std::to_string(bytes) + " bytes");
                timespec real{};
                clock_gettime(CLOCK_REALTIME, &real);
                const long long offset = real.tv_sec * 1000000000LL + real.tv_nsec - monotonicNs();
                return {static_cast<long long>(msec * 1e9) - offset, seconds};
            }
            if (monotonicNs() > deadline) fail("nginx logged no request");
            usleep(1000);
        }
    }

    // Own CPU seconds so far: this process, its children that ended, and nginx.
    double ownCpuSeconds() const {
        auto seconds = [](const timeval& t) { return double(t.tv_sec) + double(t.tv_usec) / 1e6; };
        rusage self{}, children{};
        getrusage(RUSAGE_SELF, &self);
        getrusage(RUSAGE_CHILDREN, &children);
        return seconds(self.ru_utime) + seconds(self.ru_stime) + seconds(children.ru_utime) +
               seconds(children.ru_stime) + (server_ > 0 ? processCpuSeconds(server_) : 0);
    }

    // Runs `measure` and adds to `group`'s account the cores other processes kept busy.
    template <typename F>
    void accounted(const std::string& group, const F& measure) {
        const long long start = monotonicNs();
        const double busy = machineBusySeconds(), own = ownCpuSeconds();
        measure();
        Account& a = others_[group];
        a.cpu += (machineBusySeconds() - busy) - (ownCpuSeconds() - own);
        a.wall += double(monotonicNs() - start) / 1e9;
    }

    void prepare(bool upload, bool paste, bool image, bool history);

    // The shared libraries the dynamic loader maps for `program` at start, as ldd lists them.
    int sharedLibraries(const std::string& program) {
        std::istringstream lines(runProgram({"ldd", program}, 60).output);
        int count = 0;
        for (std::string line; std::getline(lines, line);)
            count += line.find('/') != std::string::npos;
        return count;
    }

    // Enters a mount namespace of this process's own (threads would forbid it) where
    // /etc/ssl/certs, the store both libcurl and curl trust by default, also holds the bench
    // CA: hashed into the folder and appended to its bundle. The machine's store stays as it
    // is. Returns why it cannot, or nothing.
    std::string trustBenchCa() {
        if (geteuid() != 0) {
            return "not run as root, which they need for a mount namespace where the system's "
                   "trust store also holds the bench CA";
        }
        const fs::path store = "/etc/ssl/certs";
        const fs::path copy = scratch_ / "certs";
        const fs::path bundle = copy / "ca-certificates.crt";
        if (unshare(CLONE_NEWNS) != 0) return std::string("unshare: ") + std::strerror(errno);
        if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
            return std::string("a private mount: ") + std::strerror(errno);
        std::error_code error;
        fs::copy(store, copy, fs::copy_options::recursive | fs::copy_options::copy_symlinks, error);
        if (error || !fs::is_regular_file(bundle))
            return "cannot copy " + store.string() + " with its bundle";
        fs::copy_file(ca_, copy / "ferrodock-bench-ca.pem");
        std::ofstream(bundle, std::ios::app) << readFile(ca_);
        runProgram({"openssl", "rehash", copy.string()}, 60);
        if (mount(copy.c_str(), store.c_str(), nullptr, MS_BIND, nullptr) != 0)
            return std::string("a bind mount on /etc/ssl/certs: ") + std::strerror(errno);
        return {};
    }

    struct Account {
        double cpu = 0, wall = 0;
    };

    fs::path scratch_;
    fs::path log_;
    fs::path programs_;
    int homes_ = 0;
    std::vector<std::string> childEnvironment_;  // for the next program started, before the rest
    pid_t server_ = -1;
    std::unique_ptr<Upstream> upstream_;
    fs::path accessLog_;
    size_t logRead_ = 0;
    std::string origin_;
    std::map<std::string, Account> others_;

    int runs_ = int(std::max<long long>(1, envNumber("BENCH_RUNS", 7)));
    long long sizeMib_ = std::max<long long>(1, envNumber("BENCH_SIZE_MIB", 1024));
    long long pasteMib_ = std::max<long long>(1, envNumber("BENCH_PASTE_MIB", 16));
    int imageWidth_ = 6000;
    int imageHeight_ = 4000;
    double jpegMib_ = 0;
    fs::path uploadFile_, jpeg_, text_;
    std::string ca_ = FERRODOCK_BENCH_CERTS_DIR "/ca.pem";
};

void Bench::prepare(bool upload, bool paste, bool image, bool history) {
    uploadFile_ = scratch_ / "upload.bin";
    jpeg_ = scratch_ / "picture.jpg";
    text_ = scratch_ / "paste.txt";
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
        if (!out.flush()) fail("cannot write the upload file");
        // On disk before any figure: the kernel writing a GiB back would run beside them.
        ::sync();
    }
    const std::string app = program("ferrodock-bench-window");
    if (paste) runProgram({app, "make-text", text_.string(), std::to_string(pasteMib_)}, 300);
    if (history) runProgram({app, "make-history", (scratch_ / "history").string()}, 300);
    if (image) {
        runProgram({app, "make-jpeg", jpeg_.string(), std::to_string(imageWidth_),
                    std::to_string(imageHeight_)},
                   300);
        jpegMib_ = double(fs::file_size(jpeg_)) / (1 << 20);
    }
}

struct Row {
    std::string group, figure, ours, floor, comparison, goal;
    bool met;
};

void Bench::run() {
    const std::string only = std::getenv("BENCH_ONLY") ? std::getenv("BENCH_ONLY") : "";
    auto wanted = [&only](const char* group) {
        return only.empty() || only.find(group) != std::string::npos;
    };
    const bool windows = wanted("startup") || wanted("upload") || wanted("paste") ||
                         wanted("image") || wanted("history");
    if (windows && !std::getenv("DISPLAY")) fail("no X display: run under xvfb-run -a");
    const double loadBefore = loadAverage();
    // Before any thread starts: a process with threads cannot leave its mount namespace.
    std::string cliSkipped = wanted("cli") ? trustBenchCa() : "";
    if (wanted("cli") && cliSkipped.empty() && !portFree(FERRODOCK_BENCH_CLI_PORT))
        cliSkipped = "127.0.0.1:" + std::to_string(FERRODOCK_BENCH_CLI_PORT) + " is in use";
    const bool cli = wanted("cli") && cliSkipped.empty();
    std::fprintf(stderr, "preparing the data...\n");
    prepare(wanted("upload") || cli, wanted("paste"), wanted("image"), wanted("history"));
    startServer(cli);
    const std::string app = program("ferrodock-bench-window");
    const std::string bare = program("ferrodock-bench-bare");
    const long long uploadBytes = sizeMib_ << 20;
    const int uploadTimeout = int(120 + sizeMib_ / 4);
    // Built by appending: GCC 12 warns wrongly about "literal" + std::string temporaries.
    std::string uploadArgument = "file=@";
    uploadArgument += uploadFile_.string();

    // Uncounted: loads the libraries and fonts into the page cache; shows the paste's other
    // fields, which curl then sends as they are, and that both send a body of the same size.
    std::string window;
    if (wanted("startup") || wanted("paste")) {
        window = parseFields(runThroughFerrodock("startup", 60).output)["window"];
        runProgram({bare, "startup", window}, 60);
    }
    // The command line's twin and curl, with what curl needs to send the same form: the
    // paste's other fields and the upload's, taken from what the twin sent. Both run in one
    // home kept across runs, so the twin's history already exists, as for someone who has
    // used it before.
    const std::string cliTwin = FERRODOCK_BENCH_CLI;
    // curl by its path, as the twin is: no search of PATH in either's time.
    const std::string curl = cli ? inPath("curl") : "curl";
    const std::string cliOrigin = "https://127.0.0.1:" + std::to_string(FERRODOCK_BENCH_CLI_PORT);
    const fs::path line = scratch_ / "line.txt";
    std::vector<std::string> linePasteCurl, cliUploadCurl;
    std::pair<long long, long long> lineBodies;  // ferrodock's and curl's
    std::pair<int, int> libraries;               // ferrodock's and curl's
    if (cli) {
        std::ofstream(line) << "ferrodock bench: one line of text\n";
        runProgram({cliTwin, "paste", line.string()}, 60, false);
        served(1);
        const auto [bytes, tail] = upstream_->last();
        const size_t fields = tail.rfind("&language=");
        if (fields == std::string::npos) fail("the command line's paste has no language field");
        linePasteCurl = {curl,
                         "-sS",
                         "--data-urlencode",
                         "pastedata@" + line.string(),
                         "-d",
                         tail.substr(fields + 1),
                         cliOrigin + "/api/upload/paste"};
        runProgram(linePasteCurl, 60, false);
        served(1);
        lineBodies = {bytes, upstream_->last().first};

        runProgram({cliTwin, "upload", uploadFile_.string()}, uploadTimeout, false);
        served(uploadBytes);
        std::string fileType;
        cliUploadCurl = {curl, "-sS"};
        for (const std::string& option : formFields(upstream_->lastHead().first, fileType))
            cliUploadCurl.push_back(option);
        std::string filePart = "file=@";
        filePart += uploadFile_.string() + ";type=" + fileType;
        cliUploadCurl.insert(cliUploadCurl.end(), {"-F", filePart, cliOrigin + "/api/upload/file"});
        runProgram(cliUploadCurl, uploadTimeout, false);
        served(uploadBytes);
        // ferrodock becomes the command line's program: those are the libraries the command
        // runs with (ferrodock itself maps the C library only).
        libraries = {sharedLibraries(FERRODOCK_BENCH_REAL_COMMANDS), sharedLibraries(curl)};
        runProgram({FERRODOCK_BENCH_REAL_CLI, "--version"}, 60, false);
    }
    std::pair<long long, long long> pasteBodies;  // ferrodock's and curl's
    // curl encodes at most 8 MB a part: the text goes in parts of 4 MiB, which curl joins
    // with "&", a byte each.
    std::vector<std::string> pasteCurl = {"curl", "-sS", "--cacert", ca_, "-o", "/dev/null"};
    if (wanted("paste")) {
        const std::string text = readFile(text_);
        for (size_t at = 0, part = 0; at < text.size(); at += 4 << 20, ++part) {
            const fs::path file = text_.string() + "." + std::to_string(part);
            std::ofstream(file, std::ios::binary) << text.substr(at, 4 << 20);
            pasteCurl.insert(pasteCurl.end(),
                             {"--data-urlencode", (part ? "@" : "pastedata@") + file.string()});
        }
    }
    if (wanted("paste")) {
        runProgram({app, "paste", text_.string(), origin_, ca_}, 300);
        served(pasteMib_ << 20);
        const auto [bytes, tail] = upstream_->last();
        const size_t fields = tail.rfind("&language=");
        if (fields == std::string::npos) fail("the paste has no language field");
        pasteCurl.insert(pasteCurl.end(),
                         {"-d", tail.substr(fields + 1), origin_ + "/api/upload/paste"});
        runProgram(pasteCurl, 300);
        served(pasteMib_ << 20);
        // curl sends a space as "+", ferrodock as "%20": the same form, in fewer bytes.
        pasteBodies = {bytes, upstream_->last().first};
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
    auto gaps = [&s](const std::string& name, const Fields& r) {
        s[name + "Gap"].push_back(number(r, "max_gap_ns") / 1e6);
        s[name + "GapCpu"].push_back(number(r, "max_gap_cpu_ns") / 1e6);
    };
    for (int i = 0; i < runs_; ++i) {
        std::fprintf(stderr, "run %d of %d\n", i + 1, runs_);
        if (wanted("startup")) {
            auto startUp = [&](const Finished& f, const std::string& name) {
                const Fields r = parseFields(f.output);
                s[name + "StartUp"].push_back((number(r, "frame_ns") - double(f.startNs)) / 1e6);
                s[name + "IdlePeak"].push_back(number(r, "hwm_kib") / 1024);
            };
            accounted("startup", [&] {
                inTurn(
                    i, [&] { startUp(runThroughFerrodock("startup", 60), "ours"); },
                    [&] {
                        startUp(runProgram({bare, "startup", window}, 60), "bare");
                    });
            });
        }
        if (wanted("upload")) {
            accounted("upload", [&] {
                inTurn(
                    i,
                    [&] {
                        const Fields r = parseFields(
                            runProgram({app, "upload", uploadFile_.string(), origin_, ca_},
                                       uploadTimeout)
                                .output);
                        s["uploadWall"].push_back(served(uploadBytes).seconds);
                        s["uploadCpu"].push_back(number(r, "cpu_s"));
                        s["uploadPeak"].push_back(
                            (number(r, "end_hwm_kib") - number(r, "idle_hwm_kib")) / 1024);
                        gaps("upload", r);
                    },
                    [&] {
                        const Finished f =
                            runProgram({"curl", "-sS", "--cacert", ca_, "-o", "/dev/null", "-F",
                                        uploadArgument, origin_ + "/api/upload/file"},
                                       uploadTimeout);
                        s["curlWall"].push_back(served(uploadBytes).seconds);
                        s["curlCpu"].push_back(f.cpuSeconds);
                    });
            });
        }
        if (wanted("paste")) {
            accounted("paste", [&] {
                inTurn(
                    i,
                    [&] {
                        const Fields r = parseFields(
                            runProgram({app, "paste", text_.string(), origin_, ca_}, 300).output);
                        const long long last = served(pasteMib_ << 20).endNs;
                        s["paste"].push_back((double(last) - number(r, "press_ns")) / 1e6);
                        s["pastePeak"].push_back(number(r, "hwm_kib") / 1024);
                        gaps("paste", r);
                    },
                    [&] {
                        const Finished f = runProgram(pasteCurl, 300);
                        s["curlPaste"].push_back(double(served(pasteMib_ << 20).endNs - f.startNs) /
                                                 1e6);
                        const Fields r = parseFields(
                            runProgram({bare, "text", window, text_.string()}, 60).output);
                        s["barePastePeak"].push_back(number(r, "hwm_kib") / 1024);
                    });
            });
        }
        if (cli) {
            accounted("cli", [&] {
                auto wall = [](const Finished& f) { return double(f.endNs - f.startNs) / 1e6; };
                // The real program: the origin plays no part in --version.
                auto version = [&](const std::string& program, const std::string& name) {
                    s[name + "Version"].push_back(
                        wall(runProgram({program, "--version"}, 60, false)));
                };
                inTurn(
                    i, [&] { version(FERRODOCK_BENCH_REAL_CLI, "cli"); },
                    [&] { version(curl, "curl"); });
                auto paste = [&](const std::vector<std::string>& argv, const std::string& name) {
                    const Finished f = runProgram(argv, 60, false, true);
                    served(1);
                    s[name + "Line"].push_back(wall(f));
                    s[name + "LineCpu"].push_back(f.cpuSeconds * 1e3);
                    s[name + "LinePeak"].push_back(f.peakMib);
                    s[name + "LineHead"].push_back(
                        double(upstream_->lastHead().second - f.startNs) / 1e6);
                };
                inTurn(
                    i,
                    [&] {
                        paste({cliTwin, "paste", line.string()}, "cli");
                    },
                    [&] { paste(linePasteCurl, "curl"); });
                auto upload = [&](const std::vector<std::string>& argv, const std::string& name) {
                    const Finished f = runProgram(argv, uploadTimeout, false, true);
                    served(uploadBytes);
                    s[name + "Upload"].push_back(wall(f) / 1e3);
                    s[name + "UploadCpu"].push_back(f.cpuSeconds);
                    s[name + "UploadPeak"].push_back(f.peakMib);
                };
                inTurn(
                    i,
                    [&] {
                        upload({cliTwin, "upload", uploadFile_.string()}, "cli");
                    },
                    [&] { upload(cliUploadCurl, "curl"); });
            });
        }
        if (wanted("history")) {
            accounted("history", [&] {
                const Fields r = parseFields(
                    runProgram({app, "history", (scratch_ / "history").string()}, 300).output);
                if (number(r, "rows") != 1) fail("the history filter did not find its entry");
                s["historyOpen"].push_back(number(r, "open_ns") / 1e6);
                s["historyFilter"].push_back(number(r, "filter_ns") / 1e6);
            });
        }
        if (wanted("image")) {
            accounted("image", [&] {
                std::vector<std::string> argv = {app, "image", jpeg_.string()};
                if (i % 2) argv.push_back("floor-first");
                const Fields r = parseFields(runProgram(argv, 300).output);
                s["preview"].push_back(number(r, "preview_ns") / 1e6);
                s["decode"].push_back(number(r, "decode_ns") / 1e6);
                gaps("image", r);
            });
        }
    }
    stopServer();
    const double loadAfter = loadAverage();

    std::vector<Row> rows;
    auto ratioRow = [&rows](std::string group, std::string figure, const char* unit, double ours,
                            double floor, std::string floorName, double goal) {
        const double ratio = ours / floor;
        const std::string coarse = std::string("%.1f ") + unit;
        const std::string fine = std::string("%.3f ") + unit;
        auto value = [&](double v) { return format(v < 10 ? fine.c_str() : coarse.c_str(), v); };
        rows.push_back({std::move(group), std::move(figure), value(ours),
                        value(floor) + " (" + floorName + ")", format("×%.2f", ratio),
                        format("≤ ×%.2f", goal), ratio <= goal});
    };
    auto differenceRow = [&rows](std::string group, std::string figure, double ours, double floor,
                                 std::string floorName, double goal) {
        const double difference = ours - floor;
        rows.push_back({std::move(group), std::move(figure), format("%.1f MiB", ours),
                        format("%.1f MiB", floor) + " (" + floorName + ")",
                        format("%+.1f MiB", difference), format("≤ +%.0f MiB", goal),
                        difference <= goal});
    };
    if (wanted("startup")) {
        ratioRow("startup", "Start-up, exec to first frame on the X server", "ms",
                 median(s["oursStartUp"]), median(s["bareStartUp"]), "bare Qt window, same size",
                 1.3);
        differenceRow("startup", "Peak memory at idle after start-up (VmHWM)",
                      median(s["oursIdlePeak"]), median(s["bareIdlePeak"]),
                      "bare Qt window, same size", 10);
    }
    if (wanted("upload")) {
        const std::string upload = sizeText(sizeMib_) + " upload";
        ratioRow("upload", upload + ", wall time (nginx's request time)", "s",
                 median(s["uploadWall"]), median(s["curlWall"]), "curl -F", 1.05);
        ratioRow("upload", upload + ", CPU time (user+system)", "s", median(s["uploadCpu"]),
                 median(s["curlCpu"]), "curl -F, whole process", 1);
        differenceRow("upload", upload + ", peak memory over idle (VmHWM)", median(s["uploadPeak"]),
                      0, "none", 16);
    }
    if (wanted("paste")) {
        const std::string paste = sizeText(pasteMib_) + " paste";
        ratioRow("paste", paste + ", press to nginx's last byte", "ms", median(s["paste"]),
                 median(s["curlPaste"]), "curl --data-urlencode, from exec", 1.2);
        rows.back().figure += format(" (bodies: %.2f MiB", double(pasteBodies.first) / (1 << 20)) +
                              format(" and %.2f MiB)", double(pasteBodies.second) / (1 << 20));
        ratioRow("paste", paste + ", peak memory (VmHWM)", "MiB", median(s["pastePeak"]),
                 median(s["barePastePeak"]), "bare QPlainTextEdit holding it", 1.2);
    }
    if (wanted("image")) {
        ratioRow("image",
                 std::to_string(imageWidth_) + "x" + std::to_string(imageHeight_) +
                     " JPEG, panel answer to preview",
                 "ms", median(s["preview"]), median(s["decode"]),
                 "QImageReader::setScaledSize to the preview's size", 1.05);
    }
    if (wanted("history")) {
        // No floor: the goals are what a person notices.
        for (const auto& [key, figure, goal] :
             {std::tuple{"historyOpen",
                         "History of 100,000 entries, Ctrl+H to the table's first frame", 100.0},
              std::tuple{
                  "historyFilter",
                  "History filter, one keystroke to the table repainted (every row searched)",
                  50.0}}) {
            const double v = median(s[key]);
            rows.push_back({"history", figure, format("%.1f ms", v), "—", "—",
                            format("≤ %.0f ms", goal), v <= goal});
        }
    }
    if (cli) {
        // Informative rows: no goal, no verdict.
        auto shown = [&rows] { rows.back().goal = "—"; };
        ratioRow("cli", "`ferrodock --version`, exec to exit", "ms", median(s["cliVersion"]),
                 median(s["curlVersion"]), "curl --version", 1.3);
        rows.push_back({"cli", "`ferrodock --version`, shared libraries loaded (ldd)",
                        std::to_string(libraries.first),
                        std::to_string(libraries.second) + " (curl)",
                        format("%+.0f", libraries.first - libraries.second), "—", true});
        const std::string paste = "`ferrodock paste` of one line";
        const std::string pasteFloor = "curl --data-urlencode, same fields";
        ratioRow("cli", paste + ", exec to exit", "ms", median(s["cliLine"]), median(s["curlLine"]),
                 pasteFloor, 1.1);
        rows.back().figure += format(" (bodies: %.0f B", double(lineBodies.first)) +
                              format(" and %.0f B)", double(lineBodies.second));
        ratioRow("cli", paste + ", CPU time (user+system)", "ms", median(s["cliLineCpu"]),
                 median(s["curlLineCpu"]), pasteFloor, 1.1);
        ratioRow("cli", paste + ", peak memory (VmHWM)", "MiB", median(s["cliLinePeak"]),
                 median(s["curlLinePeak"]), pasteFloor, 1);
        shown();
        ratioRow("cli", paste + ", exec to its request at the service (TLS, system store)", "ms",
                 median(s["cliLineHead"]), median(s["curlLineHead"]), pasteFloor, 1);
        shown();
        const std::string upload = "`ferrodock upload` of " + sizeText(sizeMib_);
        ratioRow("cli", upload + ", exec to exit", "s", median(s["cliUpload"]),
                 median(s["curlUpload"]), "curl -F, same fields", 1.05);
        ratioRow("cli", upload + ", CPU time (user+system)", "s", median(s["cliUploadCpu"]),
                 median(s["curlUploadCpu"]), "curl -F, same fields", 1);
        ratioRow("cli", upload + ", peak memory (VmHWM)", "MiB", median(s["cliUploadPeak"]),
                 median(s["curlUploadPeak"]), "curl -F, same fields", 1);
        shown();
    }
    // The longest stall of the main thread's event loop, probed every millisecond, in each.
    std::string stalls, running;
    double longest = 0;
    for (const char* name : {"upload", "paste", "image"}) {
        if (!wanted(name)) continue;
        const double gap = median(s[std::string(name) + "Gap"]);
        longest = std::max(longest, gap);
        stalls += (stalls.empty() ? "" : ", ") + std::string(name) + format(" %.1f", gap);
        running +=
            (running.empty() ? "" : ", ") + format("%.1f", median(s[std::string(name) + "GapCpu"]));
    }
    if (!stalls.empty()) {
        rows.push_back({"", "Longest main-thread stall",
                        stalls + " ms (running " + running + " ms of it)", "—",
                        format("%.1f ms", longest), "≤ 10 ms", longest <= 10});
    }

    auto others = [this](const std::string& group) {
        double cpu = 0, wall = 0;
        for (const auto& [name, a] : others_) {
            if (group.empty() || name == group) {
                cpu += a.cpu;
                wall += a.wall;
            }
        }
        return wall > 0 ? std::max(0.0, cpu / wall) : 0.0;
    };
    // The sizes of what was run.
    std::string sizes;
    if (wanted("upload") || cli) sizes += sizeText(sizeMib_) + " upload, ";
    if (wanted("paste")) sizes += sizeText(pasteMib_) + " paste, ";
    if (wanted("image")) {
        sizes += std::to_string(imageWidth_) + "x" + std::to_string(imageHeight_) +
                 format(" JPEG (%.1f MiB), ", jpegMib_);
    }
    if (!sizes.empty()) sizes.replace(sizes.size() - 2, 2, "; ");
    std::printf(
        "Median of %d runs; %s%s. Load average %.2f before, %.2f after; other processes kept "
        "%.2f cores busy while it ran.\n\n",
        runs_, sizes.c_str(), machineText().c_str(), loadBefore, loadAfter, others(""));
    std::printf("| figure | ferrodock | floor | ratio or difference | goal | met |\n");
    std::printf("|---|---|---|---|---|---|\n");
    for (const Row& row : rows) {
        // A figure taken while others wanted more than a core says little about ferrodock.
        const bool noisy = loadBefore > 1 || others(row.group) > 1;
        std::printf("| %s | %s | %s | %s | %s | %s |\n", row.figure.c_str(), row.ours.c_str(),
                    row.floor.c_str(), row.comparison.c_str(), row.goal.c_str(),
                    row.goal == "—" ? "—"
                    : noisy         ? "noisy"
                    : row.met       ? "yes"
                                    : "**no**");
    }
    if (wanted("cli") && !cli) {
        std::printf("\nThe command line's rows were skipped: %s.\n", cliSkipped.c_str());
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
