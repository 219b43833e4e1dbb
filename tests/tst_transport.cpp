#include "platform/HttpsTransport.h"
#include "support/Files.h"
#include "support/RawService.h"
#include "support/TestService.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <netinet/in.h>
#include <openssl/ssl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace ferrodock;
using namespace ferrodock::test;
using namespace std::chrono_literals;

using Fields = QList<FormField>;
using Form = QMap<QString, QString>;

namespace {

// Completions as the main thread sees them.
struct Outcomes {
    QObject context;
    QList<TransportResult> results;

    TransportCompletion add() {
        return [this](const TransportResult& r) { results.append(r); };
    }
    // Also gives a stray second completion time to show up.
    bool waitFor(int count, int ms = 15000) {
        const bool arrived = QTest::qWaitFor([&] { return results.size() >= count; }, ms);
        QTest::qWait(100);
        return arrived && results.size() == count;
    }
};

QByteArray encodeForm(const Fields& fields) {
    QByteArrayList pairs;
    for (const auto& [name, value] : fields)
        pairs.append(QUrl::toPercentEncoding(name) + '=' + QUrl::toPercentEncoding(value));
    return pairs.join('&');
}

Reply reply(Reply::Kind kind, std::chrono::milliseconds delay = 0ms) {
    Reply r = Reply::text("ok");
    r.kind = kind;
    r.delay = delay;
    return r;
}

Reply huge(qint64 bytes, qint64 chunkBytes = 64 * 1024, std::chrono::milliseconds pause = 0ms) {
    Reply r = reply(Reply::Kind::Huge);
    r.hugeBytes = bytes;
    r.chunkBytes = chunkBytes;
    r.pause = pause;
    return r;
}

}  // namespace

// A raw answer: status line and headers, then the body as given.
QList<RawStep> rawAnswer(const QByteArray& headers, QList<RawStep> body = {}) {
    body.prepend({"HTTP/1.1 200 OK\r\n" + headers + "\r\n"});
    return body;
}

const QByteArray kChunked = "Transfer-Encoding: chunked\r\n";

enum class Failure {
    UntrustedCertificate,
    ExpiredCertificate,
    OtherHostCertificate,
    ConnectionRefused,
    DroppedConnection,
    RedirectToHttp,
    MissingFile,
    Directory,
    FileDeletedAfterCall,
    FileShrinks,
    FileGrows,
};
Q_DECLARE_METATYPE(Failure)
Q_DECLARE_METATYPE(RawStep)

class TransportTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;

    static HttpsTransport::Options options(const QString& origin,
                                           std::chrono::milliseconds answerLimit = 10s) {
        HttpsTransport::Options o;
        o.origin = origin;
        o.extraCaPem = TestService::caPem();
        o.idleLimit = 1000ms;
        o.answerLimit = answerLimit;
        return o;
    }

private Q_SLOTS:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        // The service is on loopback; a proxy from the environment must not get in the way.
        for (const char* name : {"https_proxy", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            qunsetenv(name);
    }

    void formPostArrivesExactly_data() {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<int>("redirect");  // status that moves the request on, or 0
        const Fields reserved{{"text", "a&b=c+d%e 100% 09AZaz-._~"}, {"k", "v"}};
        const Fields utf8{{"title", "grüße ✓ 日本語 😀"}, {"text", "line 1\r\nline 2\n\ttab"}};
        QTest::newRow("empty") << Fields{} << 0;
        QTest::newRow("reserved characters") << reserved << 0;
        QTest::newRow("utf-8 and line breaks") << utf8 << 0;
        // Past httplib's own form limit, and past one encoded piece.
        QTest::newRow("large") << Fields{{"paste", QString(300 * 1024, '&')}} << 0;
        // Encoded in pieces of 16384 units: a pair across a piece's edge stays one character.
        QTest::newRow("pair across a piece edge")
            << Fields{{"paste", QString(16383, 'a') + QString::fromUtf8("😀") + "b"}} << 0;
        QTest::newRow("still a post after a 302") << reserved << 302;
        QTest::newRow("after a 307") << utf8 << 307;
        QTest::newRow("after a 308") << reserved << 308;
    }

    void formPostArrivesExactly() {
        QFETCH(Fields, fields);
        QFETCH(int, redirect);
        TestService service;
        service.setReply(Reply::text("thanks"));
        if (redirect)
            service.setReply("/api/paste", Reply::redirect(service.origin() + "/moved", redirect));
        auto transport = service.makeTransport();
        Outcomes out;
        transport->postFields("/api/paste", fields, &out.context, out.add());
        QVERIFY(out.waitFor(1));
        QVERIFY2(out.results[0].ok, qPrintable(out.results[0].error));
        QCOMPARE(out.results[0].body, QByteArray("thanks"));

        const auto requests = service.requests();
        QCOMPARE(requests.size(), redirect ? 2 : 1);
        QCOMPARE(requests.last().method, "POST");
        QCOMPARE(requests.last().path, redirect ? "/moved" : "/api/paste");
        QCOMPARE(requests.last().contentType, "application/x-www-form-urlencoded");
        QCOMPARE(requests.last().body, encodeForm(fields));
        Form expected;
        for (const auto& [name, value] : fields) expected.insert(name, value);
        QCOMPARE(requests.last().form, expected);
    }

    void answerIsReported_data() {
        QTest::addColumn<Reply>("answer");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("500 with a body") << Reply::text("boom", 500) << QByteArray("boom");
        QTest::newRow("404 without a body") << Reply::text({}, 404) << QByteArray();
        // Headers and chunk framing count too, so the body stays a little under the cap.
        QTest::newRow("chunked, near the cap")
            << huge((1 << 20) - 16384, 997) << QByteArray((1 << 20) - 16384, 'x');
    }

    void answerIsReported() {
        QFETCH(Reply, answer);
        QFETCH(QByteArray, body);
        TestService service;
        service.setReply(answer);
        auto transport = service.makeTransport();
        Outcomes out;
        transport->postFields("/", Fields{{"a", "1"}}, &out.context, out.add());
        QVERIFY(out.waitFor(1));
        QVERIFY2(out.results[0].ok, qPrintable(out.results[0].error));
        QCOMPARE(out.results[0].body, body);
    }

    void uploadSendsFieldsThenFile_data() {
        QTest::addColumn<Fields>("fields");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("mimeType");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<bool>("keepBodies");
        QTest::addColumn<int>("redirect");  // status that moves the request on, or 0
        const QString binary = "application/octet-stream";
        QTest::newRow("text with fields")
            << Fields{{"expiry", "7d"}, {"note", "a & b = ü"}, {"album", ""}} << "notes.txt"
            << "text/plain" << QByteArray("hello\n") << true << 0;
        QTest::newRow("awkward file name") << Fields{} << "my file & ünï ✓.txt"
                                           << "text/plain" << QByteArray("x") << true << 0;
        QTest::newRow("empty file") << Fields{} << "empty.png"
                                    << "image/png" << QByteArray() << true << 0;
        QTest::newRow("binary over several buffers")
            << Fields{{"a", "1"}} << "blob.bin" << binary << patternBytes(3 * 1024 * 1024 + 17)
            << true << 0;
        QTest::newRow("large, counted only")
            << Fields{} << "big.bin" << binary << patternBytes(24 * 1024 * 1024) << false << 0;
        // The body goes out again, so the file is read again from the start.
        QTest::newRow("after a 301") << Fields{{"a", "1"}} << "blob.bin" << binary
                                     << patternBytes(3 * 1024 * 1024 + 17) << true << 301;
        QTest::newRow("after a 307")
            << Fields{} << "blob.bin" << binary << patternBytes(1 << 20) << true << 307;
    }

    void uploadSendsFieldsThenFile() {
        QFETCH(Fields, fields);
        QFETCH(QString, fileName);
        QFETCH(QString, mimeType);
        QFETCH(QByteArray, content);
        QFETCH(bool, keepBodies);
        QFETCH(int, redirect);
        const QString file = makeFile(dir_.path(), fileName, content);
        QVERIFY(!file.isEmpty());
        TestService service({TestService::Certificate::Good, keepBodies, 16});
        service.setReply(Reply::text("https://x.example/f"));
        if (redirect)
            service.setReply("/api/upload", Reply::redirect(service.origin() + "/moved", redirect));
        auto transport = service.makeTransport();
        Outcomes out;
        transport->uploadFile("/api/upload", fields, file, mimeType, &out.context, out.add());
        QVERIFY(out.waitFor(1));
        QVERIFY2(out.results[0].ok, qPrintable(out.results[0].error));
        QCOMPARE(out.results[0].body, QByteArray("https://x.example/f"));

        const auto requests = service.requests();
        QCOMPARE(requests.size(), redirect ? 2 : 1);
        QCOMPARE(requests.last().path, redirect ? "/moved" : "/api/upload");
        QVERIFY(requests.last().contentType.startsWith("multipart/form-data; boundary="));
        const auto& parts = requests.last().parts;
        QCOMPARE(parts.size(), fields.size() + 1);
        for (qsizetype i = 0; i < fields.size(); ++i) {
            QCOMPARE(parts[i].name, fields[i].name);
            QCOMPARE(parts[i].fileName, QString());
            QCOMPARE(QString::fromUtf8(parts[i].content), fields[i].value);
        }
        QCOMPARE(parts.last().name, "file");
        QCOMPARE(parts.last().fileName, fileName);
        QCOMPARE(parts.last().contentType, mimeType);
        QCOMPARE(parts.last().size, qint64(content.size()));
        if (keepBodies) QVERIFY(parts.last().content == content);
    }

    void redirectsStayWithinTheOrigin_data() {
        QTest::addColumn<int>("status");
        QTest::addColumn<bool>("elsewhere");  // to a second service on another port
        QTest::addColumn<int>("hops");
        QTest::addColumn<bool>("ok");
        for (int status : {301, 302, 307, 308})
            QTest::addRow("%d to another origin", status) << status << true << 1 << false;
        QTest::newRow("303 within the origin") << 303 << false << 1 << false;
        QTest::newRow("300 with a body") << 300 << false << 1 << false;
        QTest::newRow("5 hops") << 307 << false << 5 << true;
        QTest::newRow("6 hops") << 307 << false << 6 << false;
    }

    void redirectsStayWithinTheOrigin() {
        QFETCH(int, status);
        QFETCH(bool, elsewhere);
        QFETCH(int, hops);
        QFETCH(bool, ok);
        TestService service;
        TestService other;
        other.setReply(Reply::text("stolen"));
        service.setReply(Reply::text("answer"));
        for (int i = 0; i < hops; ++i) {
            Reply hop = Reply::redirect(
                (elsewhere ? other.origin() : service.origin()) + QString("/hop%1").arg(i + 1),
                status);
            hop.body = "redirect body";
            service.setReply(i ? QString("/hop%1").arg(i) : QString("/api/login"), hop);
        }
        auto transport = service.makeTransport();
        Outcomes out;
        transport->postFields("/api/login", {{"password", "secret"}}, &out.context, out.add());
        QVERIFY(out.waitFor(1));
        QVERIFY2(out.results[0].ok == ok, qPrintable(out.results[0].error));
        QCOMPARE(out.results[0].body, ok ? QByteArray("answer") : QByteArray());
        QCOMPARE(other.requestCount(), 0);
        QCOMPARE(service.requestCount(), ok ? hops + 1 : std::min(hops, 6));
        if (ok) QCOMPARE(service.requests().last().form.value("password"), "secret");
    }

    void hostileAnswers_data() {
        QTest::addColumn<QList<RawStep>>("answer");
        QTest::addColumn<QByteArray>("body");  // null: the request fails
        const QByteArray hugeExtension(60000, 'e');
        QTest::newRow("chunked with extensions and a trailer")
            << rawAnswer(kChunked, {{"5;a=b\r\nhello\r\n6 ; x\r\n world\r\n0\r\nT: 1\r\n\r\n"}})
            << QByteArray("hello world");
        QTest::newRow("length-delimited")
            << rawAnswer("Content-Length: 3\r\n", {{"abc"}}) << QByteArray("abc");
        QTest::newRow("1-byte chunks, 60 kB extensions")
            << rawAnswer(kChunked, {{"1;" + hugeExtension + "\r\nx\r\n", 40}, {"0\r\n\r\n"}})
            << QByteArray();
        QTest::newRow("10 MB extension")
            << rawAnswer(kChunked, {{"1;"}, {hugeExtension, 170}}) << QByteArray();
        QTest::newRow("headers and body past the cap together")
            << QList<RawStep>{{"HTTP/1.1 200 OK\r\n"},
                              {"X: " + QByteArray(50000, 'h') + "\r\n", 5},
                              {"Content-Length: 900000\r\n\r\n" + QByteArray(900000, 'b')}}
            << QByteArray();
        QTest::newRow("malformed chunk size")
            << rawAnswer(kChunked, {{"zz\r\nabc\r\n0\r\n\r\n"}}) << QByteArray();
        QTest::newRow("gzip transfer coding")
            << rawAnswer("Transfer-Encoding: gzip, chunked\r\n", {{"0\r\n\r\n"}}) << QByteArray();
        QTest::newRow("a body byte every 300 ms")
            << rawAnswer("Content-Length: 100\r\n", {{"x", 100, 300ms}}) << QByteArray();
        QList<RawStep> trickle;
        for (char c : QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok"))
            trickle.append({QByteArray(1, c), 1, 300ms});
        QTest::newRow("a header byte every 300 ms") << trickle << QByteArray();
    }

    void hostileAnswers() {
        QFETCH(QList<RawStep>, answer);
        QFETCH(QByteArray, body);
        RawService service(answer, {});
        HttpsTransport transport(options(service.origin(), 1500ms));
        Outcomes out;
        transport.postFields("/", {{"a", "1"}}, &out.context, out.add());
        QVERIFY(out.waitFor(1, 30000));
        QVERIFY2(out.results[0].ok == !body.isNull(), qPrintable(out.results[0].error));
        QCOMPARE(out.results[0].body, body);
        // Failed by the transport's own checks, not by some limit of libcurl's.
        if (body.isNull()) QVERIFY(!out.results[0].error.contains("curl error"));
    }

    void weakTlsIsRefused_data() {
        QTest::addColumn<QString>("certificate");
        QTest::addColumn<QByteArray>("ciphers");
        QTest::addColumn<int>("maxVersion");
        QTest::addColumn<bool>("ok");
        QTest::newRow("good") << "server" << QByteArray() << 0 << true;
        QTest::newRow("name only in the common name") << "cnonly" << QByteArray() << 0 << false;
        QTest::newRow("AES128-SHA only")
            << "server" << QByteArray("AES128-SHA:@SECLEVEL=0") << TLS1_2_VERSION << false;
        QTest::newRow("CBC-SHA1 suites only")
            << "server" << QByteArray("ECDHE-ECDSA-AES128-SHA:ECDHE-ECDSA-AES256-SHA")
            << TLS1_2_VERSION << false;
        QTest::newRow("TLS 1.1 at most")
            << "server" << QByteArray("ALL:@SECLEVEL=0") << TLS1_1_VERSION << false;
    }

    void weakTlsIsRefused() {
        QFETCH(QString, certificate);
        QFETCH(QByteArray, ciphers);
        QFETCH(int, maxVersion);
        QFETCH(bool, ok);
        RawService service(rawAnswer("Content-Length: 2\r\n", {{"ok"}}),
                           {certificate, ciphers, maxVersion});
        HttpsTransport transport(options(service.origin()));
        Outcomes out;
        transport.postFields("/", {{"password", "secret"}}, &out.context, out.add());
        QVERIFY(out.waitFor(1));
        QVERIFY2(out.results[0].ok == ok, qPrintable(out.results[0].error));
        QCOMPARE(service.requestCount(), ok ? 1 : 0);
        // HTTP/1.1 only: an HTTP/2 upload spins on a slow reader.
        if (ok) QVERIFY2(!service.offeredProtocols().contains("h2"), service.offeredProtocols());
    }

    void filesWithoutSize_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("ok");
        QTest::newRow("/proc/self/status") << "/proc/self/status" << true;
        QTest::newRow("/proc/self/pagemap, past the limit") << "/proc/self/pagemap" << false;
    }

    void filesWithoutSize() {
        QFETCH(QString, file);
        QFETCH(bool, ok);
        TestService service;
        service.setReply(Reply::text("done"));
        auto transport = service.makeTransport();
        Outcomes out;
        transport->uploadFile("/upload", {}, file, "text/plain", &out.context, out.add());
        QVERIFY(out.waitFor(1));
        QVERIFY2(out.results[0].ok == ok, qPrintable(out.results[0].error));
        QCOMPARE(service.requestCount(), ok ? 1 : 0);
        if (ok) QVERIFY(service.requests()[0].parts.last().content.startsWith("Name:"));
    }

    void failuresCompleteOnceWithAnError_data() {
        QTest::addColumn<Failure>("failure");
        QTest::newRow("untrusted certificate") << Failure::UntrustedCertificate;
        QTest::newRow("expired certificate") << Failure::ExpiredCertificate;
        QTest::newRow("certificate for another host") << Failure::OtherHostCertificate;
        QTest::newRow("connection refused") << Failure::ConnectionRefused;
        QTest::newRow("connection dropped") << Failure::DroppedConnection;
        QTest::newRow("redirect to http") << Failure::RedirectToHttp;
        QTest::newRow("missing file") << Failure::MissingFile;
        QTest::newRow("directory") << Failure::Directory;
        QTest::newRow("file deleted after the call") << Failure::FileDeletedAfterCall;
        QTest::newRow("file shrinks during upload") << Failure::FileShrinks;
        QTest::newRow("file grows during upload") << Failure::FileGrows;
    }

    void failuresCompleteOnceWithAnError() {
        QFETCH(Failure, failure);
        const bool changing = failure == Failure::FileShrinks || failure == Failure::FileGrows;
        TestService service(
            {failure == Failure::ExpiredCertificate     ? TestService::Certificate::Expired
             : failure == Failure::OtherHostCertificate ? TestService::Certificate::OtherHost
                                                        : TestService::Certificate::Good,
             !changing, 16});
        service.setReply(failure == Failure::RedirectToHttp
                             ? Reply::redirect(QString("http://127.0.0.1:%1/").arg(service.port()))
                             : Reply::text("ok"));

        HttpsTransport::Options options;
        options.origin = service.origin();
        if (failure != Failure::UntrustedCertificate) options.extraCaPem = TestService::caPem();
        // Reads the request, then closes without a word.
        std::optional<RawService> silent;
        if (failure == Failure::DroppedConnection)
            options.origin = silent.emplace(QList<RawStep>{}, RawService::Options{}).origin();
        const int unused = ::socket(AF_INET, SOCK_STREAM, 0);  // bound, never listening
        if (failure == Failure::ConnectionRefused) {
            sockaddr_in address{};
            address.sin_family = AF_INET;
            address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            socklen_t length = sizeof address;
            QCOMPARE(::bind(unused, reinterpret_cast<sockaddr*>(&address), length), 0);
            QCOMPARE(::getsockname(unused, reinterpret_cast<sockaddr*>(&address), &length), 0);
            options.origin = QString("https://127.0.0.1:%1").arg(ntohs(address.sin_port));
        }
        HttpsTransport transport(options);
        Outcomes out;
        Outcomes busy;
        const auto upload = [&](const QString& file) {
            transport.uploadFile("/upload", {}, file, "text/plain", &out.context, out.add());
        };

        if (failure == Failure::MissingFile) {
            upload(dir_.filePath("no-such-file"));
        } else if (failure == Failure::Directory) {
            upload(dir_.path());
        } else if (failure == Failure::FileDeletedAfterCall) {
            // Every connection is busy, so the upload is still waiting when the file goes.
            service.setReply("/slow", reply(Reply::Kind::Text, 500ms));
            for (int i = 0; i < 8; ++i)
                transport.postFields("/slow", Fields{{"a", "1"}}, &busy.context, busy.add());
            upload(makeFile(dir_.path(), "doomed.txt", "content"));
            QVERIFY(QFile::remove(dir_.filePath("doomed.txt")));
        } else if (changing) {
            // The service reads nothing for a while: the upload stalls on full socket buffers
            // while the file changes under it.
            Reply stall = Reply::text("ok");
            stall.readDelay = 1500ms;
            service.setReply(stall);
            QFile file(makeFile(dir_.path(), "changing.bin", patternBytes(32 << 20)));
            upload(file.fileName());
            QTest::qWait(400);
            if (failure == Failure::FileShrinks)
                QVERIFY(file.resize(16 << 20));
            else
                QVERIFY(file.open(QIODevice::Append) && file.write("more") == 4);
        } else {
            transport.postFields("/", Fields{{"a", "1"}}, &out.context, out.add());
        }

        const bool once = out.waitFor(1);
        ::close(unused);
        QVERIFY(once);
        QVERIFY(!out.results[0].ok);
        QVERIFY(!out.results[0].error.isEmpty());
    }

    void limits_data() {
        QTest::addColumn<Reply>("answer");
        QTest::addColumn<int>("requests");
        QTest::addColumn<qint64>("uploadBytes");  // 0: a form
        QTest::addColumn<bool>("ok");
        QTest::newRow("silent past the answer deadline")
            << reply(Reply::Kind::Silent) << 1 << qint64(0) << false;
        Reply stall = reply(Reply::Kind::Silent);
        stall.readDelay = 60s;
        QTest::newRow("not read while sending") << stall << 1 << qint64(16 << 20) << false;
        QTest::newRow("a byte now and then") << huge(4, 1, 600ms) << 1 << qint64(0) << true;
        // Four waves on eight connections: the last waits longer than the limits for one.
        QTest::newRow("waiting for a free connection")
            << reply(Reply::Kind::Text, 800ms) << 32 << qint64(0) << true;
    }

    void limits() {
        QFETCH(Reply, answer);
        QFETCH(int, requests);
        QFETCH(qint64, uploadBytes);
        QFETCH(bool, ok);
        TestService service({TestService::Certificate::Good, false, 16});
        service.setReply(answer);
        HttpsTransport transport(options(service.origin(), 2500ms));
        const QString file = makeFile(dir_.path(), "limits.bin", patternBytes(uploadBytes));
        Outcomes out;
        QElapsedTimer timer;
        timer.start();
        for (int i = 0; i < requests; ++i) {
            if (uploadBytes)
                transport.uploadFile("/", {}, file, "text/plain", &out.context, out.add());
            else
                transport.postFields("/", {{"a", "1"}}, &out.context, out.add());
        }
        QVERIFY(QTest::qWaitFor([&] { return out.results.size() >= requests; }, 15000));
        const qint64 elapsed = timer.elapsed();
        QVERIFY(out.waitFor(requests));
        for (const TransportResult& result : std::as_const(out.results))
            QVERIFY2(result.ok == ok && (ok || !result.error.isEmpty()), qPrintable(result.error));
        if (!ok) QVERIFY2(elapsed >= 1000, qPrintable(QString::number(elapsed)));
    }

    void completionsFollowFinishOrder() {
        TestService service;
        Outcomes out;
        for (const auto& [path, delay] :
             {std::pair{"/slow", 600ms}, {"/mid", 300ms}, {"/fast", 0ms}}) {
            Reply answer = Reply::text(path);
            answer.delay = delay;
            service.setReply(path, answer);
        }
        auto transport = service.makeTransport();
        for (const char* path : {"/slow", "/mid", "/fast"})
            transport->postFields(path, Fields{{"a", "1"}}, &out.context, out.add());
        QVERIFY(out.waitFor(3));
        QCOMPARE(out.results[0].body, QByteArray("/fast"));
        QCOMPARE(out.results[1].body, QByteArray("/mid"));
        QCOMPARE(out.results[2].body, QByteArray("/slow"));
    }

    // With no transport installed, requests fail on their own; they are never lost.
    void noTransportInstalledFails() {
        installSharedTransport(nullptr);
        Outcomes out;
        sharedTransport().postFields("/", {}, &out.context, out.add());
        sharedTransport().uploadFile("/", {}, "x", "text/plain", &out.context, out.add());
        QVERIFY(out.waitFor(2));
        for (const TransportResult& result : std::as_const(out.results))
            QVERIFY(!result.ok && !result.error.isEmpty());
    }

    void destroyedContextGetsNoCompletion() {
        TestService service;
        service.setReply(reply(Reply::Kind::Text, 300ms));
        auto transport = service.makeTransport();
        int calls = 0;
        auto* context = new QObject;
        transport->postFields("/", Fields{{"a", "1"}}, context,
                              [&calls](const TransportResult&) { ++calls; });
        delete context;
        QVERIFY(service.waitForRequests(1, 5s));
        QTest::qWait(600);
        QCOMPARE(calls, 0);
    }

    void destroyingWithUploadsInFlightIsPrompt_data() {
        QTest::addColumn<bool>("midUpload");
        QTest::newRow("stalled mid-upload") << true;
        QTest::newRow("waiting for answers") << false;
    }

    void destroyingWithUploadsInFlightIsPrompt() {
        QFETCH(bool, midUpload);
        TestService service({TestService::Certificate::Good, false, 16});
        Reply silent = reply(Reply::Kind::Silent);
        silent.readDelay = midUpload ? 60s : 0s;
        service.setReply(silent);
        const QString file =
            makeFile(dir_.path(), "inflight.bin", patternBytes(midUpload ? 8 << 20 : 1000));
        auto transport = service.makeTransport();
        Outcomes out;
        for (int i = 0; i < 20; ++i)
            transport->uploadFile("/upload", {{"i", QString::number(i)}}, file,
                                  "application/octet-stream", &out.context, out.add());
        if (midUpload)
            QTest::qWait(300);
        else
            QVERIFY(service.waitForRequests(8, 10s));

        QElapsedTimer timer;
        timer.start();
        transport.reset();
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
        QTest::qWait(200);
        QCOMPARE(out.results.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TransportTest)
#include "tst_transport.moc"
