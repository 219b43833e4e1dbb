#include "core/Feedback.h"
#include "platform/FormEncoding.h"
#include "platform/Transfer.h"
#include "support/DataRows.h"
#include "support/Files.h"
#include "support/TestService.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <csignal>
#include <optional>

#include <QtTest>

#include <atomic>
#include <thread>

using namespace ferrodock;
using namespace ferrodock::test;
using namespace std::chrono_literals;

using Fields = QList<FormField>;
using Steps = QList<RawStep>;
using Error = TransportError;
using Tls = TestService::Options;
using Cert = TestService::Certificate;
Q_DECLARE_METATYPE(RawStep)
Q_DECLARE_METATYPE(TestService::Options)

namespace {

// A process that sleeps with an environment of exactly `size` bytes: its /proc environ file
// reports size 0 and holds `block`, as a pseudo-file of a size the test chooses.
struct Sleeper {
    explicit Sleeper(qint64 size) {
        QByteArrayList strings;
        for (int i = 0; size > 0; size -= strings.last().size() + 1, ++i) {
            // Pieces under the system's limit for one string.
            strings << ("E" + QByteArray::number(i) + "=")
                           .leftJustified(int(qMin<qint64>(size, 100000)) - 1, 'v');
            block += strings.last() + '\0';
        }
        std::vector<char*> env;
        for (QByteArray& string : strings) env.push_back(string.data());
        env.push_back(nullptr);
        char sleep[] = "sleep", time[] = "60", *args[] = {sleep, time, nullptr};
        // Spawned, not forked: the thread sanitizer cannot follow a fork of a threaded process.
        if (::posix_spawnp(&pid, "sleep", nullptr, nullptr, args, env.data()) != 0) pid = 0;
        // The spawn returns before the new program's environment is in place.
        (void)QTest::qWaitFor([this] { return readFile(environ()) == block; });
    }
    ~Sleeper() {
        if (pid > 0) ::kill(pid, SIGKILL), ::waitpid(pid, nullptr, 0);
    }
    QString environ() const { return QString("/proc/%1/environ").arg(pid); }
    pid_t pid = 0;
    QByteArray block;
};

// Completions and progress reports as the main thread sees them.
struct Outcomes {
    QObject context;
    QList<TransportResult> results;
    QList<TransportProgress> reports;
    qsizetype reportsAtCompletion = -1;

    TransportCompletion add() {
        return [this](const TransportResult& r) {
            results.append(r);
            reportsAtCompletion = reports.size();
        };
    }
    ProgressReport report() {
        return [this](const TransportProgress& p) { reports.append(p); };
    }
    // A stray second completion of a request would be posted right behind the first: a
    // short look after the last one shows it.
    bool waitFor(int count) {
        return QTest::qWaitFor([&] { return results.size() >= count; }, 20000) &&
               !QTest::qWaitFor([&] { return results.size() > count; }, 20);
    }
};

// ferrodock's logging categories that print debug lines without being asked to.
std::atomic<int> chatty{0};
QLoggingCategory::CategoryFilter defaultFilter = nullptr;
void noteChatty(QLoggingCategory* c) {
    defaultFilter(c);
    chatty += QByteArray(c->categoryName()).startsWith("ferrodock.") && c->isDebugEnabled();
}

// The one request of `out` ended once, as `expected` says (None: it succeeded).
#define QVERIFY_ENDED(out, expected)                                    \
    QVERIFY2((out).waitFor(1) && (out).results[0].kind == (expected) && \
                 (out).results[0].ok == ((expected) == Error::None),    \
             qPrintable((out).results.value(0).error))

constexpr int kEarly = 1, kDropped = -1;

// A raw answer: status line and headers, then the body as given.
Steps raw(const QByteArray& head, Steps body = {}) {
    body.prepend({"HTTP/1.1 " + head + "\r\n\r\n"});
    return body;
}

}  // namespace

class TransportTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

private Q_SLOTS:
    void initTestCase() { defaultFilter = QLoggingCategory::installFilter(noteChatty); }
    // Debug lines only when asked for: on a terminal they run into the progress line.
    void cleanupTestCase() { QCOMPARE((lcSession(), lcLogin(), lcUpload(), chatty.load()), 0); }

    void requestArrivesExactly_data() {
        // file: empty for a form, absolute for a file of the system; redirect: the status that
        // moves the request on, or 0, kEarly (a 307 before the body is read) or kDropped (sent
        // on a kept connection that the service closes under it, so sent again on a new one)
        columns<Fields, QString, QByteArray, int>("fields", "file", "content", "redirect");
        const Fields reserved{{"text", "a&b=c+d%e 100% 09AZaz-._~/?@`{"}, {"k", "v"}};
        const Fields utf8{{"title", "grüße ✓ 日本語 😀"}, {"text", "line 1\r\nline 2\n\ttab"}};
        // Encoded in pieces of 16384 units: a pair across a piece's edge stays one character.
        const QString edge = QString(16383, 'a') + QString::fromUtf8("😀") + "b";
        const QByteArray blob = patternBytes(3 * 1024 * 1024 + 17);
        // Empty: fully sent once the answer begins.
        QTest::newRow("form: empty") << Fields{} << "" << QByteArray() << 0;
        QTest::newRow("form: reserved characters") << reserved << "" << QByteArray() << 0;
        row("form: large", Fields{{"p", QString(300 << 10, '&')}}, "", QByteArray(), 0);
        row("form: pair across an edge", Fields{{"p", edge}}, "", QByteArray(), 0);
        QTest::newRow("form: lone surrogate, then a pair across an edge")
            << Fields{{"p", QString(16383, 'a') + QChar(0xD800) + edge.mid(16383)}} << ""
            << QByteArray() << 0;
        QTest::newRow("form: utf-8 given, across an edge")
            << Fields{{"a", "b"}, {"p", {}, QByteArray(16383, 'a') + "\xf0\x9f\x98\x80 &\xc2\xa0"}}
            << "" << QByteArray() << 0;
        for (int status : {0, 302, 307, 308, kDropped})
            QTest::addRow("form: utf-8, redirect %d", status)
                << utf8 << "" << QByteArray() << status;
        QTest::newRow("form: large, a 307 before the body is read")
            << Fields{{"p", QString(16 << 20, 'a')}} << "" << QByteArray() << kEarly;
        QTest::newRow("upload: fields, awkward name")
            << Fields{{"expiry", "7d"}, {"note", "a & b = ü"}, {"album", ""}}
            << "my file & ünï ✓.txt" << QByteArray("hello\n") << 0;
        QTest::newRow("upload: empty file") << Fields{} << "empty.png" << QByteArray("") << 0;
        // The body goes out again, so the file is read again from the start.
        for (int status : {0, 301, 307, kDropped})
            QTest::addRow("upload: large, redirect %d", status)
                << Fields{{"a", "1"}} << "blob.bin" << blob << status;
        // Reports size 0: read whole, sent as it is.
        QTest::newRow("upload: size 0") << Fields{} << "/proc/self/status" << QByteArray() << 0;
        QTest::newRow("upload: size 0, 1 MiB") << Fields{} << "environ" << QByteArray() << 0;
    }

    void requestArrivesExactly() {
        auto [fields, file, content, redirect] =
            fetch<Fields, QString, QByteArray, int>("fields", "file", "content", "redirect");
        std::optional<Sleeper> sleeper;
        if (file == "environ")  // as much as is read without a size
            file = sleeper.emplace(1 << 20).environ(), content = sleeper->block;
        TestService service;
        service.setReply(Reply::text("answer"));
        if (redirect > 1) service.setReply("/api", {.status = redirect, .location = "/moved"});
        // Read slowly enough for reports while it goes out again.
        if (redirect == kDropped) service.setReply("/api", {.body = "answer", .readPause = 1ms});
        if (redirect == kEarly)
            service.setReply("/api",
                             {.kind = Reply::Kind::Early,
                              .raw = raw("307 X\r\nLocation: /moved\r\nContent-Length: 0")});
        auto transport = service.makeTransport();
        Outcomes out, first;
        if (redirect == kDropped) {
            service.setReply("/kept", {.body = "kept", .keepAlive = true});
            transport->postFields("/kept", {}, &first.context, first.add());
            QVERIFY(first.waitFor(1));
        }
        // A form reports to its own function, an upload to the watch on its context.
        transport->watchProgress(&out.context, out.report());
        if (file.isEmpty())
            transport->postFields("/api", fields, &out.context, out.add(), out.report());
        else
            transport->uploadFile(
                "/api", fields, file.startsWith('/') ? file : makeFile(dir_.path(), file, content),
                "text/plain", &out.context, out.add());
        QVERIFY_ENDED(out, Error::None);
        QVERIFY(out.results[0].body == "answer" &&
                service.requestCount() == (redirect ? 2 + (redirect == kDropped) : 1));
        const RecordedRequest got = service.requests().last();
        // No second lost waiting for a "100 Continue" that never comes.
        QVERIFY(got.path == (redirect > 0 ? "/moved" : "/api") && !got.expect);
        // Progress ends with the whole body sent, before the completion; that is said once
        // each time the body goes out (a redirect or a closed connection sends it again).
        const TransportProgress last = out.reports.value(out.reports.size() - 1);
        QVERIFY(last.fullySent && out.reports.size() == out.reportsAtCompletion &&
                std::ranges::count(out.reports, true, &TransportProgress::fullySent) <=
                    (redirect ? 2 : 1));
        QCOMPARE((QList<qint64>{last.sent, last.total}), QList<qint64>(2, got.body.size()));
        // Fields as a form sends them; an upload's parts written the same way, the file part
        // with its file name and content type for a value.
        const auto pair = [](const QString& name, const QString& value) {
            return QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value);
        };
        QByteArrayList sent{got.body}, expected;
        for (const FormField& f : std::as_const(fields))
            expected << pair(f.name, f.utf8.isEmpty() ? f.value : QString::fromUtf8(f.utf8));
        if (!file.isEmpty()) {
            sent.clear();
            for (const RecordedPart& part : got.parts)
                sent << pair(part.name, part.fileName.isEmpty()
                                            ? QString::fromUtf8(part.content)
                                            : part.fileName + ':' + part.contentType);
            expected << pair("file", QFileInfo(file).fileName() + ":text/plain");
            const QByteArray data = got.parts.value(got.parts.size() - 1).content;
            QVERIFY(content.isNull() ? data.startsWith("Name:") : data == content);
        }
        QCOMPARE(sent.join('&'), expected.join('&'));
        QCOMPARE(got.contentType.section(';', 0, 0),
                 file.isEmpty() ? "application/x-www-form-urlencoded" : "multipart/form-data");
    }

    void answersAreReadWithCare_data() {
        columns<Tls, Steps, QByteArray, Error>("tls", "answer", "body", "kind");
        const QByteArray chunked = "200 OK\r\nTransfer-Encoding: chunked", extension(60000, 'e');
        // 44 bytes of status line and headers: the cap counts them with the body.
        const qint64 fits = (1 << 20) - 44;
        const auto sized = [](qint64 size) {
            return raw("200 OK\r\nContent-Length: " + QByteArray::number(size),
                       {{QByteArray(size, 'b')}});
        };
        // Past the idle limit: a finished request is waited for.
        const Steps late{{"HTTP/1.1 404 No\r\nContent-Length: 2\r\n\r\n", 1, 500ms}, {"ok"}};
        const Steps trickle{
            {"HTTP/1.1 200 OK\r\n"}, {"X: y\r\n", 30, 50ms}, {"Content-Length: 2\r\n\r\nok"}};
        const QByteArray none;
        const auto plain = [](const char* name, const Steps& answer, const QByteArray& body,
                              Error kind) { row(name, Tls{}, answer, body, kind); };
        plain("chunked, extensions, trailer, a chunk in two reads",
              raw(chunked,
                  {{"5;a=b\r\nhe", 1, 20ms}, {"llo\r\nA ; x\r\n world 123\r\n0\r\nT: 1\r\n\r\n"}}),
              "hello world 123", Error::None);
        plain("exactly the cap", sized(fits), QByteArray(fits, 'b'), Error::None);
        plain("a byte over the cap", sized(fits + 1), none, Error::TooLarge);
        plain("10 MB extension", raw(chunked, {{"1;"}, {extension, 170}}), none, Error::TooLarge);
        // Refused at once, not waited for.
        plain("a chunk of 2^45 bytes", raw(chunked, {{"200000000000\r\nabc"}, {{}, 1, 1h}}), none,
              Error::Other);
        plain("a chunk of 2^44 bytes: waited for",
              raw(chunked, {{"100000000000\r\nabc"}, {{}, 1, 1h}}), none, Error::NoAnswer);
        plain("chunk longer than its size", raw(chunked, {{"3\r\nabcd\r\n0\r\n\r\n"}}), none,
              Error::Other);
        plain("bad chunk size", raw(chunked, {{"zz\r\nabc\r\n0\r\n\r\n"}}), none, Error::Other);
        plain("no chunk size", raw(chunked, {{"\r\n\r\n"}}), none, Error::Other);
        plain("gzip transfer coding",
              raw("200 OK\r\nTransfer-Encoding: gzip, chunked", {{"0\r\n\r\n"}}), none,
              Error::Other);
        plain("a 404 after 500 ms", late, "ok", Error::None);
        // A trickle that would last far past the answer's deadline.
        plain("a body byte every 40 ms", raw("200 OK\r\nContent-Length: 100", {{"x", 100, 40ms}}),
              none, Error::NoAnswer);
        plain("a header line every 50 ms", trickle, none, Error::NoAnswer);
        plain("silent", Steps{{{}, 1, 1h}}, none, Error::NoAnswer);
        plain("dropped", Steps{}, none, Error::ConnectionLost);
        // Nothing is sent unless the service is trusted and speaks sound TLS.
        const Steps ok = raw("200 OK\r\nContent-Length: 2", {{"ok"}});
        for (const auto& [name, tls] :
             {std::pair{"expired", Tls{Cert::Expired}},
              {"another host", Tls{Cert::OtherHost}},
              {"name only in the CN, by name", Tls{Cert::CommonNameOnly}}})
            QTest::newRow(name) << tls << ok << QByteArray() << Error::Untrusted;
        row("the name in the certificate, by name", Tls{}, ok, QByteArray("ok"), Error::None);
        for (const auto& [name, tls] :
             {std::pair{"AES128-SHA only",
                        Tls{Cert::Good, "AES128-SHA:@SECLEVEL=0", TLS1_2_VERSION}},
              {"CBC-SHA1 only",
               Tls{Cert::Good, "ECDHE-ECDSA-AES128-SHA:ECDHE-ECDSA-AES256-SHA", TLS1_2_VERSION}},
              {"TLS 1.1 at most", Tls{Cert::Good, "ALL:@SECLEVEL=0", TLS1_1_VERSION}}})
            QTest::newRow(name) << tls << ok << QByteArray() << Error::ConnectionLost;
    }

    void answersAreReadWithCare() {
        auto [tls, answer, body, kind] =
            fetch<Tls, Steps, QByteArray, Error>("tls", "answer", "body", "kind");
        TestService service(tls);
        service.setReply({.kind = Reply::Kind::Raw, .raw = answer});
        // Idle for 200 ms while sending fails. The answer's deadline, apart from it so that the
        // limit that ran out shows, is short only where it is to run out.
        QString origin = service.origin();  // by name: as the service is reached, not by address
        if (QByteArray(QTest::currentDataTag()).endsWith("by name"))
            origin.replace("127.0.0.1", "localhost");
        HttpsTransport transport(
            {origin, TestService::caPem(), 200ms, kind == Error::NoAnswer ? 400ms : 5s});
        Outcomes out;
        transport.postFields("/", {{"password", "secret"}}, &out.context, out.add());
        QVERIFY_ENDED(out, kind);
        QCOMPARE(out.results[0].body, body);
        // Sent at once, so only the answer's deadline can run out.
        if (kind == Error::NoAnswer) QCOMPARE(out.results[0].limit, 400ms);
        QCOMPARE(service.requestCount(), tls.certificate == Cert::Good && !tls.maxTlsVersion);
        // HTTP/1.1 only: an HTTP/2 upload spins on a slow reader.
        QVERIFY2(!service.offeredProtocols().contains("h2"), service.offeredProtocols());
    }

    void redirectsStayWithinTheOrigin_data() {
        // target "other": a second service on another port
        columns<int, QString, int>("status", "target", "hops");
        for (int status : {301, 302, 307, 308})
            QTest::addRow("%d to another origin", status) << status << "other" << 1;
        QTest::newRow("to plain http") << 302 << "http" << 1;
        QTest::newRow("to another origin, a long address") << 302 << "long" << 1;
        QTest::newRow("303") << 303 << "same" << 1;
        QTest::newRow("300 with a body") << 300 << "same" << 1;
        QTest::newRow("5 hops") << 307 << "same" << 5;
        QTest::newRow("6 hops") << 307 << "same" << 6;
    }

    void redirectsStayWithinTheOrigin() {
        auto [status, target, hops] = fetch<int, QString, int>("status", "target", "hops");
        const bool ok = hops == 5;
        TestService service, other;
        service.setReply(Reply::text("answer"));
        QString origin = target == "other" || target == "long" ? other.origin() : service.origin();
        if (target == "http") origin.replace("https:", "http:");
        const QString tail = target == "long" ? QString(300, 'a') : QString();
        for (int i = 0; i < hops; ++i) {
            const QString to = origin + QString("/%1").arg(i + 1) + tail;
            service.setReply(QString("/%1").arg(i),
                             {.status = status, .body = "body", .location = to});
        }
        auto transport = service.makeTransport();
        Outcomes out;
        transport->postFields("/0", {{"password", "secret"}}, &out.context, out.add());
        QVERIFY_ENDED(out, ok ? Error::None : Error::Other);
        QCOMPARE(out.results[0].body, ok ? "answer" : QByteArray());
        if (status == 303) QVERIFY(out.results[0].error.endsWith("would drop the request"));
        if (!tail.isEmpty())  // shown shortened, to its first 200 characters
            QCOMPARE(out.results[0].error, "the service redirected to another site (" +
                                               (origin + "/1" + tail).left(200) +
                                               "); nothing was sent there");
        QCOMPARE(std::pair(other.requestCount(), service.requestCount()), std::pair(0, hops + ok));
        QCOMPARE(service.requests().last().body, "password=secret");
    }

    void uploadFailsWithItsCause_data() {
        columns<QString, Error>("cause", "kind");  // kind None: no completion at all
        QTest::newRow("service not trusted") << "untrusted" << Error::Untrusted;
        QTest::newRow("connection refused") << "refused" << Error::Unreachable;
        QTest::newRow("an address curl refuses") << "long address" << Error::Other;
        QTest::newRow("missing") << "missing" << Error::FileGone;
        QTest::newRow("a directory") << "directory" << Error::NotRegular;
        QTest::newRow("deleted after the call") << "deleted" << Error::FileGone;
        QTest::newRow("a pipe in its place") << "pipe" << Error::NotRegular;
        QTest::newRow("shrinks while sent") << "shrinks" << Error::FileChanged;
        QTest::newRow("grows while sent") << "grows" << Error::FileChanged;
        QTest::newRow("no size, past the limit") << "/proc/self/pagemap" << Error::FileUnreadable;
        QTest::newRow("no size, a byte past the limit") << "environ" << Error::FileUnreadable;
        QTest::newRow("not read while sent") << "stalls" << Error::NoAnswer;
        QTest::newRow("not read, a 1xx every 50 ms") << "interim" << Error::NoAnswer;
        QTest::newRow("cancelled while sent") << "cancelled" << Error::Cancelled;
        QTest::newRow("main thread busy while sent") << "busy" << Error::None;
        QTest::newRow("slow, past the idle limit, but moving") << "slow" << Error::None;
        QTest::newRow("20 in flight, transport destroyed") << "destroyed" << Error::None;
        QTest::newRow("no transport module") << "no module" << Error::Other;
    }

    void uploadFailsWithItsCause() {
        auto [cause, kind] = fetch<QString, Error>("cause", "kind");
        const bool queued = cause == "deleted" || cause == "pipe";
        // A held handshake: the file goes after the transport took its size, before it opens it.
        TestService service(Tls{Cert::Good, {}, 0, queued});
        // A slow reader, so the file is still being sent when something happens to it.
        service.setReply({.body = "ok", .readPause = cause == "stalls" ? 1h : 2ms});
        Reply interim{.kind = Reply::Kind::Early};  // never reads the body; a 1xx every 50 ms
        interim.raw = {{"HTTP/1.1 102 Processing\r\n\r\n", 1000, 50ms}};
        if (cause == "interim") service.setReply(interim);
        // The idle limit is short only where it is to run out.
        std::unique_ptr<Transport> transport = std::make_unique<LoadedTransport>(
            cause == "no module" ? "/none.so" : FERRODOCK_TRANSPORT_FILE,
            HttpsTransport::Options{cause == "refused" ? "https://127.0.0.1:1" : service.origin(),
                                    cause == "untrusted" ? QByteArray() : TestService::caPem(),
                                    kind == Error::NoAnswer || cause == "slow" ? 300ms : 10s, 10s});
        Outcomes out, busy;
        QString path = makeFile(dir_.path(), cause.section('/', -1));
        QVERIFY(QFile(path).resize(32 << 20));  // holes: nothing to write, quick to read
        if (cause == "missing" || cause == "directory")
            path = dir_.filePath(cause == "missing" ? "none" : "");
        if (cause.startsWith('/')) path = cause;
        std::optional<Sleeper> sleeper;
        if (cause == "environ") path = sleeper.emplace((1 << 20) + 1).environ();
        TransferHandle handle;
        for (int i = 0; i < (cause == "destroyed" ? 20 : 1); ++i)
            handle = transport->uploadFile(
                cause == "long address" ? '/' + QString(8 << 20, 'a') : "/upload", {}, path,
                "text/plain", &out.context, out.add(), out.report());
        if (queued) {  // a pipe must not hold the transport: another request still completes
            QTRY_COMPARE_WITH_TIMEOUT(service.connections(), 1, 20000);
            QVERIFY(QFile::remove(path) && (cause == "deleted" || !mkfifo(qPrintable(path), 0600)));
            service.releaseHandshakes();
            transport->postFields("/other", {}, &busy.context, busy.add());
            QVERIFY(busy.waitFor(1) && busy.results[0].ok);
        }
        if (QStringList{"shrinks", "grows", "cancelled", "destroyed", "busy"}.contains(cause)) {
            QTRY_VERIFY_WITH_TIMEOUT(!out.reports.isEmpty() && out.reports.last().sent > 0, 30000);
            QFile changing(path);
            if (cause == "shrinks") QVERIFY(changing.resize(16 << 20));
            if (cause == "grows") QVERIFY(changing.open(QIODevice::Append) && changing.write("+"));
            if (cause == "cancelled") handle.cancel();
        }
        if (cause == "busy") {  // one report waits for the main thread, not one per interval
            std::this_thread::sleep_for(400ms);  // four report intervals
            const qsizetype before = out.reports.size();
            QCoreApplication::processEvents();
            QCOMPARE(out.reports.size(), before + 1);
        }
        if (cause == "destroyed" || cause == "busy") {
            const auto started = std::chrono::steady_clock::now();
            transport.reset();
            QVERIFY(std::chrono::steady_clock::now() - started < 5s);
            QCoreApplication::sendPostedEvents();
            QVERIFY(out.results.isEmpty());
            return;
        }
        QVERIFY_ENDED(out, kind);
        if (cause == "stalls") QVERIFY(out.results[0].error.contains("no data moved for 0.3 s"));
        if (cause == "cancelled") {  // its connection, mid-body, is closed, not used again
            transport->postFields("/other", {}, &busy.context, busy.add());
            QVERIFY(busy.waitFor(1) && busy.results[0].ok);
        }
        if (kind == Error::NoAnswer) QCOMPARE(out.results[0].limit, 300ms);
        // The log's detail is curl's own account of what happened, not just its code's name.
        if (cause == "refused") QVERIFY(out.results[0].error.contains("127.0.0.1 port 1"));
        if (cause == "long address") QCOMPARE(out.results[0].error, "cannot set up the request");
        if (cause == "no module") QVERIFY(out.results[0].error.contains("transport: /none.so: "));
        for (const RecordedRequest& request : service.requests())
            QVERIFY(request.path != "/upload" || request.complete == (cause == "slow"));
        handle.cancel();  // harmless once ended
    }

    // Completions come in the order requests finish, never to a context that has gone.
    void completionsFollowFinishOrder() {
        TestService service;
        const QStringList paths{"/slow", "/gone", "/mid", "/fast"};
        for (int i = 0; i < 4; ++i)
            service.setReply(paths[i], {.body = paths[i].toLatin1(), .delay = 200ms * (3 - i)});
        auto transport = service.makeTransport();
        Outcomes out;
        auto* gone = new QObject;
        // A watch that has ended reports nothing.
        transport->watchProgress(&out.context, out.report());
        transport->watchProgress(&out.context, {});
        for (const QString& path : paths)
            transport->postFields(path, {}, path == "/gone" ? gone : &out.context, out.add());
        delete gone;
        QVERIFY(out.waitFor(3));
        QCOMPARE(out.results[0].body + out.results[1].body + out.results[2].body, "/fast/mid/slow");
        QVERIFY(out.reports.isEmpty());
    }

    // A file without a size is read whole, whatever an interrupted call left in errno before.
    void unsizedFileAfterAnInterruptedCall() {
        transfer::UploadBody body;
        body.filePath = "/proc/self/cmdline";
        QString failure;
        errno = EINTR;
        QVERIFY(transfer::prepareUpload(body, failure) && ::close(body.fd) == 0);
        QCOMPARE(body.content, QCoreApplication::arguments().join(QChar(0)).toLocal8Bit() + '\0');
    }

    // Run by CI under ThreadSanitizer, which must report it: a race in ferrodock's own code is
    // reported even when one side of it runs in a completion handed to the main thread.
    void plantedRaceIsReported() {
        if (qEnvironmentVariableIsEmpty("FERRODOCK_PLANT_RACE")) QSKIP("planted only on request");
        TestService service;
        auto transport = service.makeTransport();
        static int planted = 0;
        std::atomic<bool> stop{false};
        std::thread writer([&stop] {
            while (!stop) ++planted;
        });
        Outcomes out;
        transport->postFields("/", {}, &out.context, [&out](const TransportResult& r) {
            planted = -1;
            out.results.append(r);
        });
        const bool ended = out.waitFor(1);
        stop = true;
        writer.join();
        QVERIFY(ended);
    }

    // Only a folder of hashed names is taken for the trust store; any other falls back to the
    // bundle, which holds the same certificates.
    void hashedTrustFolder_data() {
        test::columns<QString, bool>("names", "hashed");
        test::row("hashed beside the bundle", QString("ca-certificates.crt 5ed36f99.0"), true);
        test::row("the bundle alone", QString("ca-certificates.crt"), false);
        test::row("upper case", QString("5ED36F99.0"), false);
        test::row("a second of the hash only", QString("5ed36f99.1"), false);
        test::row("nine digits", QString("5ed36f990.0"), false);
        test::row("not hexadecimal", QString("5ed36g99.0"), false);
        test::row("empty", QString(), false);
    }
    void hashedTrustFolder() {
        auto [names, hashed] = test::fetch<QString, bool>("names", "hashed");
        const QTemporaryDir folder(QDir::tempPath() + "/trust-XXXXXX");
        for (const QString& name : names.split(' ', Qt::SkipEmptyParts))
            makeFile(QDir(folder.path()), name, "x");
        QCOMPARE(transfer::holdsHashedNames(QFile::encodeName(folder.path()).constData()), hashed);
        QVERIFY(!transfer::holdsHashedNames((folder.path() + "/none").toUtf8().constData()));
    }

    // Once a request is over, the password, the key and the paste it carried are wiped where
    // they lie, not only freed.
    void fieldsAreWipedAfterUse() {
        transfer::FormBody sent;
        sent.fields = {{QString::fromLatin1("password"), QString::fromLatin1("hunter2"), {}},
                       {QString::fromLatin1("pastedata"), {}, QByteArray("secret text", 11)}};
        sent.staged = "password=hunter2";  // as the last piece sent left it
        transfer::RequestBody body = std::move(sent);
        const auto& form = std::get<transfer::FormBody>(body);
        transfer::releaseBody(body);
        QCOMPARE(form.fields[0].name + form.fields[0].value, QString(8 + 7, QChar(0)));
        QCOMPARE(form.fields[1].utf8, QByteArray(11, 0));
        QCOMPARE(form.staged.find_first_not_of('\0'), std::string::npos);
    }

    // A form value as the service reads it, written where the request is staged: exactly its
    // size, not a byte past it; the same for text already in UTF-8.
    void formEncoding_data() {
        test::columns<QString, QByteArray>("text", "encoded");
        test::row("empty", QString(), QByteArray());
        test::row("unreserved", QString("AZaz09-._~"), QByteArray("AZaz09-._~"));
        test::row("reserved and space", QString("a b&=+%/"), QByteArray("a%20b%26%3D%2B%25%2F"));
        test::row("two and three bytes", QString("ü€"), QByteArray("%C3%BC%E2%82%AC"));
        test::row("the edges of each length", QString::fromUtf16(u"\u0080\u07ff\u0800\uffff"),
                  QByteArray("%C2%80%DF%BF%E0%A0%80%EF%BF%BF"));
        test::row("a pair", QString("😀"), QByteArray("%F0%9F%98%80"));
        test::row("a lone surrogate", QString(QChar(0xD800)) + "x", QByteArray("%3Fx"));
        test::row("a lone surrogate last", "x" + QString(QChar(0xD800)), QByteArray("x%3F"));
        test::row("a control", QString("\t\x7f"), QByteArray("%09%7F"));
    }
    void formEncoding() {
        auto [text, encoded] = test::fetch<QString, QByteArray>("text", "encoded");
        for (const bool utf8 : {false, true}) {
            if (utf8 && text.contains(QChar(0xD800))) continue;  // no such UTF-8
            const QByteArray bytes = text.toUtf8();
            // A view of a longer text, as the pieces of a value are: what lies past it is not
            // read, here a low surrogate that would pair with a high one at its end.
            const QString longer = text + QChar(0xDE00);
            const QStringView view = QStringView(longer).first(text.size());
            const qsizetype size =
                utf8 ? formEncodedSize(QByteArrayView(bytes)) : formEncodedSize(view);
            QByteArray staged = QByteArray(size, '.') + "####";
            char* end = utf8 ? appendFormEncoded(staged.data(), QByteArrayView(bytes))
                             : appendFormEncoded(staged.data(), view);
            QVERIFY(end - staged.data() == encoded.size() && staged == encoded + "####");
        }
    }
};

QTEST_GUILESS_MAIN(TransportTest)
#include "tst_transport.moc"
