// A minimal HTTPS service on 127.0.0.1 for the benchmarks: it reads each request's body and
// throws it away, answers "127.0.0.1/bench", and prints one line per request with the
// monotonic time its last byte came in. One thread per connection, large reads, no parsing
// of the body, so it is never what a transfer waits for.
//
//   ferrodock-bench-receiver CERT_PEM KEY_PEM [PASTE_COPY]
//
// Prints "port=N" first. With PASTE_COPY, the first body posted to /api/upload/paste is also
// written there, so the floor can send exactly the same bytes.
#include <openssl/err.h>
#include <openssl/ssl.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <mutex>
#include <string>
#include <thread>

namespace {

SSL_CTX* context = nullptr;
const char* pasteCopy = nullptr;
std::mutex outputMutex;
bool pasteCopied = false;

long long monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<long long>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

std::string lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The value of header `name` (lower case) in `head`, or empty.
std::string header(const std::string& head, const std::string& name) {
    const std::string lowered = lower(head);
    const std::string key = "\r\n" + name + ":";
    const size_t at = lowered.find(key);
    if (at == std::string::npos) return {};
    size_t start = at + key.size();
    const size_t end = head.find("\r\n", start);
    while (start < end && head[start] == ' ') ++start;
    return head.substr(start, end - start);
}

bool writeAll(SSL* ssl, const std::string& data) {
    return SSL_write(ssl, data.data(), static_cast<int>(data.size())) ==
           static_cast<int>(data.size());
}

// Serves the requests of one connection until the client closes it.
void serveRequests(SSL* ssl) {
    static constexpr int kChunk = 256 * 1024;
    std::string buffer;  // bytes read but not used yet
    std::string chunk(kChunk, '\0');
    for (;;) {
        size_t headEnd;
        while ((headEnd = buffer.find("\r\n\r\n")) == std::string::npos) {
            const int n = SSL_read(ssl, chunk.data(), kChunk);
            if (n <= 0) return;
            buffer.append(chunk.data(), static_cast<size_t>(n));
        }
        const std::string head = buffer.substr(0, headEnd + 2);
        buffer.erase(0, headEnd + 4);
        const size_t pathStart = head.find(' ') + 1;
        const std::string path = head.substr(pathStart, head.find(' ', pathStart) - pathStart);
        const std::string length = header(head, "content-length");
        if (length.empty()) {
            writeAll(ssl, "HTTP/1.1 411 Length Required\r\nContent-Length: 0\r\n\r\n");
            std::fprintf(stderr, "receiver: %s without Content-Length\n", path.c_str());
            return;
        }
        if (lower(header(head, "expect")) == "100-continue") {
            writeAll(ssl, "HTTP/1.1 100 Continue\r\n\r\n");
        }
        const long long total = std::atoll(length.c_str());
        bool keep = false;  // only the first paste's body, which then goes to the file
        if (pasteCopy && path == "/api/upload/paste") {
            std::lock_guard lock(outputMutex);
            keep = !pasteCopied;
            pasteCopied = true;
        }
        std::string kept;
        long long got = std::min<long long>(total, static_cast<long long>(buffer.size()));
        if (keep) kept.assign(buffer, 0, static_cast<size_t>(got));
        buffer.erase(0, static_cast<size_t>(got));
        long long lastNs = monotonicNs();
        while (got < total) {
            const int n = SSL_read(ssl, chunk.data(), kChunk);
            if (n <= 0) return;
            lastNs = monotonicNs();
            const long long used = std::min<long long>(n, total - got);
            if (keep) kept.append(chunk.data(), static_cast<size_t>(used));
            got += used;
            if (used < n) buffer.append(chunk.data() + used, static_cast<size_t>(n - used));
        }
        {
            std::lock_guard lock(outputMutex);
            if (keep) {
                if (std::FILE* out = std::fopen(pasteCopy, "wb")) {
                    std::fwrite(kept.data(), 1, kept.size(), out);
                    std::fclose(out);
                }
            }
            std::printf("request path=%s bytes=%lld last_ns=%lld\n", path.c_str(), got, lastNs);
            std::fflush(stdout);
        }
        const std::string answer = "127.0.0.1/bench";
        if (!writeAll(ssl,
                      "HTTP/1.1 200 OK\r\nContent-Type: text/plain; charset=utf-8\r\n"
                      "Content-Length: " +
                          std::to_string(answer.size()) + "\r\n\r\n" + answer))
            return;
    }
}

void serve(int fd) {
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, fd);
    if (SSL_accept(ssl) == 1) {
        serveRequests(ssl);
        SSL_shutdown(ssl);
    }
    SSL_free(ssl);
    close(fd);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: ferrodock-bench-receiver CERT_PEM KEY_PEM [PASTE_COPY]\n");
        return 2;
    }
    std::signal(SIGPIPE, SIG_IGN);
    if (argc > 3) pasteCopy = argv[3];
    context = SSL_CTX_new(TLS_server_method());
    if (!context || SSL_CTX_use_certificate_chain_file(context, argv[1]) != 1 ||
        SSL_CTX_use_PrivateKey_file(context, argv[2], SSL_FILETYPE_PEM) != 1) {
        ERR_print_errors_fp(stderr);
        return 1;
    }
    const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener < 0 || bind(listener, reinterpret_cast<sockaddr*>(&address), size) != 0 ||
        listen(listener, 64) != 0 ||
        getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
        std::perror("receiver");
        return 1;
    }
    std::printf("port=%d\n", ntohs(address.sin_port));
    std::fflush(stdout);
    for (;;) {
        const int fd = accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        std::thread(serve, fd).detach();
    }
}
