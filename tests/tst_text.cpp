// The pure text rules: display names, answer decoding, classification and shortening.
#include "app/Answers.h"
#include "app/Characters.h"
#include "app/PasteUpload.h"

#include <QTest>

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
        // Past the last dot: more than 8 characters, or a space, is no extension.
        const QString early = "/x/ab." + QString(66, 'c');
        QTest::newRow("early dot") << early << "ab." + QString(22, 'c') + "...";
        QTest::newRow("9 after the dot") << "/x/abcdefghijklmnopqrstuvwxyz.backup123"
                                         << "abcdefghijklmnopqrstuvwxy...";
        QTest::newRow("8 after the dot") << "/x/abcdefghijklmnopqrstuvwxyz.backup12"
                                         << "abcdefghijklmnopqrstuvwxy...backup12";
        QTest::newRow("space after the dot") << "/x/Minutes v2. final draft for the board"
                                             << "Minutes v2. final draft f...";
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

    void answers_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("readable");
        QTest::addColumn<int>("login");  // LoginAnswer when readable
        // 16 two-byte letters are 32 bytes but 16 code units: a message, not a key.
        QTest::newRow("32 bytes of é")
            << QString(16, QChar(0xE9)).toUtf8() << true << int(LoginAnswer::Message);
        // 32 code units from 16 astral characters: a key, as the service counts.
        QTest::newRow("16 astral") << QString::fromUtf8("\xF0\x9F\x98\x80").repeated(16).toUtf8()
                                   << true << int(LoginAnswer::Accepted);
        QTest::newRow("byte-order mark")
            << "\xEF\xBB\xBF" + QByteArray(32, 'k') << true << int(LoginAnswer::Accepted);
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

    // At most 200 characters and 4096 code units are shown, cut between characters.
    void shownAnswers_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("shown");
        const QString family = QString::fromUtf8(
            "\xF0\x9F\x91\xA8\xE2\x80\x8D\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7");
        const QString marked = "e" + QString(29, QChar(0x301));  // one character, 30 units
        QTest::newRow("empty") << ""
                               << "";
        QTest::newRow("200") << QString(200, 'a') << QString(200, 'a');
        QTest::newRow("201") << QString(201, 'a') << QString(200, 'a') + "...";
        QTest::newRow("families") << family.repeated(50000) << family.repeated(200) + "...";
        QTest::newRow("4096 units") << marked.repeated(150) << marked.repeated(136) + "...";
        QTest::newRow("one huge character") << "a" + QString(524000, QChar(0x301)) << "...";
        // The mark after the budget belongs to the last character inside it.
        const QString edge = "a" + QString(4094, QChar(0x301)) + "b";
        QTest::newRow("budget edge")
            << edge + QChar(0x301) << "a" + QString(4094, QChar(0x301)) + "...";
        QTest::newRow("budget exact") << edge << edge;
    }
    void shownAnswers() {
        QFETCH(QString, answer);
        QFETCH(QString, shown);
        QCOMPARE(shownAnswer(answer), shown);
    }
};

QTEST_APPLESS_MAIN(TextTest)
#include "tst_text.moc"
