// The pure text rules: display names, form bodies, answer decoding and classification.
#include "app/PasteUpload.h"
#include "app/Text.h"

#include <QTest>
#include <QUrlQuery>

using namespace ferrodock;

class TextTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void displayNames_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("shown");
        QTest::newRow("short") << "/Users/a/Pictures/cat.png"
                               << "cat.png";
        QTest::newRow("exactly 25") << "/x/abcdefghijklmnopqrstu.png"
                                    << "abcdefghijklmnopqrstu.png";
        QTest::newRow("30") << "/x/abcdefghijklmnopqrstuvwxyz.png"
                            << "abcdefghijklmnopqrstuvwxy...png";
        QTest::newRow("26 with é") << QString::fromUtf8("/x/abcdéfghijklmnopqrstuv.png")
                                   << QString::fromUtf8("abcdéfghijklmnopqrstuv.pn...png");
        QTest::newRow("25 with é") << QString::fromUtf8("/x/abcdéfghijklmnopqrstu.png")
                                   << QString::fromUtf8("abcdéfghijklmnopqrstu.png");
        QTest::newRow("screenshot") << "/x/Screenshot 2014-11-20 at 10.15.42.png"
                                    << "Screenshot 2014-11-20 at ...png";
        QTest::newRow("report") << "/Users/a/Documents/quarterly-report-final-version-2.pdf"
                                << "quarterly-report-final-ve...pdf";
        QTest::newRow("no extension") << "/x/abcdefghijklmnopqrstuvwxyz1234"
                                      << "abcdefghijklmnopqrstuvwxy...";
        // A family emoji is one character made of seven code points.
        const QString family = QString::fromUtf8(
            "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9"
            "\xE2\x80\x8D\xF0\x9F\x91\xA7\xE2\x80\x8D"
            "\xF0\x9F\x91\xA6");
        QTest::newRow("emoji is one")
            << "/x/" + family + "bcdefghijklmnopqrstu.png" << family + "bcdefghijklmnopqrstu.png";
        QTest::newRow("emoji at the cut") << "/x/abcdefghijklmnopqrstuvwx" + family + "z.gif"
                                          << "abcdefghijklmnopqrstuvwx" + family + "...gif";
        // A consonant with a combining accent is one character in every script.
        const QString ka = QString::fromUtf8("\xE0\xA4\x95\xCC\x81");
        QTest::newRow("devanagari 17")
            << "/x/" + ka.repeated(13) + ".txt" << ka.repeated(13) + ".txt";
        QTest::newRow("devanagari 30")
            << "/x/" + ka.repeated(26) + ".txt" << ka.repeated(25) + "...txt";
        QTest::newRow("name is all") << "plain.txt"
                                     << "plain.txt";
        QTest::newRow("literal &") << "/x/Tom & Jerry.png"
                                   << "Tom & Jerry.png";
    }
    void displayNames() {
        QFETCH(QString, path);
        QFETCH(QString, shown);
        QCOMPARE(displayName(path), shown);
    }

    void formBodies_data() {
        QTest::addColumn<QList<FormPiece>>("pieces");
        QTest::addColumn<QByteArray>("body");
        QTest::newRow("empty login") << QList<FormPiece>{{"username", ""}, {"password", ""}}
                                     << QByteArray("username=&password=");
        QTest::newRow("ann") << QList<FormPiece>{{"username", "ann"}, {"password", ""}}
                             << QByteArray("username=ann&password=");
        QTest::newRow("paste") << QList<FormPiece>{{"pastedata", "abc"},
                                                   {"language", "python"},
                                                   {"priv", "1"},
                                                   {"anon", "0"},
                                                   {"apikey", ""}}
                               << QByteArray("pastedata=abc&language=python&priv=1&anon=0&apikey=");
        QTest::newRow("reserved") << QList<FormPiece>{{"p", "a&b=c C++ 100%"}}
                                  << QByteArray("p=a%26b%3Dc%20C%2B%2B%20100%25");
        QTest::newRow("utf-8 and line breaks")
            << QList<FormPiece>{{"p", QString::fromUtf8("é\n~-._")}}
            << QByteArray("p=%C3%A9%0A~-._");
    }
    void formBodies() {
        QFETCH(QList<FormPiece>, pieces);
        QFETCH(QByteArray, body);
        QCOMPARE(formBody(pieces), body);
    }

    // What the encoder writes, a form parser reads back unchanged.
    void formBodyRoundTrip() {
        const QString nasty =
            QString::fromUtf8("a&b=c C++ 100% +%2B\r\n\t\"'<>#?/é日本\xF0\x9F\x98\x80");
        const QByteArray body = formBody({{"x", nasty}, {"y", "&="}});
        const QUrlQuery query(QString::fromLatin1(body));
        QCOMPARE(query.queryItemValue("x", QUrl::FullyDecoded), nasty);
        QCOMPARE(query.queryItemValue("y", QUrl::FullyDecoded), QStringLiteral("&="));
    }

    void answers_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("login");  // LoginAnswer when readable
        QTest::newRow("rejection")
            << QByteArray("3b7f0c52a9d14e68b2c5f7091d4a6e83") << true << int(LoginAnswer::Rejected);
        QTest::newRow("rejection upper")
            << QByteArray("3B7F0C52A9D14E68B2C5F7091D4A6E83") << true << int(LoginAnswer::Accepted);
        QTest::newRow("key") << QByteArray("0123456789abcdef0123456789abcdef") << true
                             << int(LoginAnswer::Accepted);
        QTest::newRow("31") << QByteArray(31, 'k') << true << int(LoginAnswer::Message);
        QTest::newRow("33") << QByteArray(33, 'k') << true << int(LoginAnswer::Message);
        QTest::newRow("empty") << QByteArray() << true << int(LoginAnswer::Message);
        // 16 two-byte letters are 32 bytes but 16 code units: a message, not a key.
        QTest::newRow("32 bytes of é")
            << QString(16, QChar(0xE9)).toUtf8() << true << int(LoginAnswer::Message);
        // 32 code units from 16 astral characters: a key, as the service counts.
        QTest::newRow("16 astral") << QString::fromUtf8("\xF0\x9F\x98\x80").repeated(16).toUtf8()
                                   << true << int(LoginAnswer::Accepted);
        QTest::newRow("latin-1") << QByteArray("caf\xe9") << false << 0;
        QTest::newRow("truncated") << QByteArray("\xe2\x82") << false << 0;
        QTest::newRow("overlong") << QByteArray("\xc0\xaf") << false << 0;
        QTest::newRow("surrogate") << QByteArray("\xed\xa0\x80") << false << 0;
    }
    void answers() {
        QFETCH(QByteArray, bytes);
        QFETCH(bool, readable);
        QFETCH(int, login);
        const std::optional<QString> text = decodeAnswer(bytes);
        QCOMPARE(text.has_value(), readable);
        if (text) QCOMPARE(int(classifyLoginAnswer(*text)), login);
    }

    void languages_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("identifier");
        const char* rows[][2] = {{"Apache", "apache"},
                                 {"Bash", "bash"},
                                 {"C", "c"},
                                 {"C#", "cs"},
                                 {"C++", "cpp"},
                                 {"CSS", "css"},
                                 {"CoffeeScript", "coffeescript"},
                                 {"HTML", "html"},
                                 {"Ini", "ini"},
                                 {"Java", "java"},
                                 {"JavaScript", "javascript"},
                                 {"Objective C", "objectivec"},
                                 {"PHP", "php"},
                                 {"Perl", "perl"},
                                 {"Python", "python"},
                                 {"Ruby", "ruby"},
                                 {"SQL", "sql"},
                                 {"XML", "xml"},
                                 {"python", "no-highlight"},
                                 {"C ", "no-highlight"},
                                 {"Plain text", "no-highlight"},
                                 {"", "no-highlight"}};
        for (const auto& row : rows) QTest::newRow(row[0]) << row[0] << row[1];
    }
    void languages() {
        QFETCH(QString, title);
        QFETCH(QString, identifier);
        QCOMPARE(languageIdentifier(title), identifier);
    }
    void noLanguageChosen() { QCOMPARE(languageIdentifier(std::nullopt), "no-highlight"); }

    void addressLengths_data() {
        QTest::addColumn<QString>("title");
        QTest::addColumn<int>("length");
        QTest::newRow("ascii 24") << "ferrodock.net/f/abcdefgh" << 24;
        QTest::newRow("ascii 25") << "ferrodock.net/i/abcdefghi" << 25;
        QTest::newRow("placeholder") << "Choose a file, then press upload." << 33;
        QTest::newRow("copied") << "Copied to clipboard." << 20;
        QTest::newRow("é counts once") << QString::fromUtf8("ferrodock.net/f/abcdefgé") << 24;
        QTest::newRow("flag counts once")
            << QString::fromUtf8("ferrodock.net/p/abcdefgh\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7") << 25;
    }
    void addressLengths() {
        QFETCH(QString, title);
        QFETCH(int, length);
        QVERIFY(hasAddressLength(title, length));
        QVERIFY(!hasAddressLength(title, length - 1));
        QVERIFY(!hasAddressLength(title, length + 1));
    }
};

QTEST_APPLESS_MAIN(TextTest)
#include "tst_text.moc"
