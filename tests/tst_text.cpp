// The pure text rules: display names, shortened answers, answer decoding and classification.
#include "core/Answers.h"
#include "core/Characters.h"
#include "window/UploadPanel.h"

#include <QTest>

using namespace ferrodock;

class TextTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // 'n': the display name of a path; 'a': the shown part of an answer; 'k': what a login
    // answer's bytes are; 'p': the progress line for "sent total bytes-per-second" (from
    // "about" on when there is a speed).
    void rules_data() {
        QTest::addColumn<char>("rule");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<QString>("result");
        const QString ka = QString::fromUtf8("\xE0\xA4\x95\xCC\x81");  // consonant and accent
        const QString marked = "e" + QString(29, QChar(0x301));        // one character, 30 units
        const QString edge = "a" + QString(4094, QChar(0x301)) + "b",
                      az = "abcdefghijklmnopqrstuvwxyz";
        const auto row = [](const char* name, char rule, const QString& input, const QString& out) {
            QTest::newRow(name) << rule << input.toUtf8() << out;
        };
        row("exactly 25", 'n', "/x/" + az.left(21) + ".png", az.left(21) + ".png");
        row("26 with é", 'n', "/x/abcdéfghijklmnopqrstuv.png", "abcdéfghijklmnopqrstuv.pn...png");
        row("emoji at the cut", 'n', az.left(24) + "👨‍👩‍👧z.gif",
            az.left(24) + "👨‍👩‍👧...gif");
        row("devanagari", 'n', "/x/" + ka.repeated(26) + ".txt", ka.repeated(25) + "...txt");
        row("8 after the dot", 'n', az + ".backup12", az.left(25) + "...backup12");
        row("9 after the dot", 'n', az + ".backup123", az.left(25) + "...");
        row("space after the dot", 'n', az + ".a b", az.left(25) + "...");
        row("200", 'a', QString(200, 'a'), QString(200, 'a'));
        row("201", 'a', QString(201, 'a'), QString(200, 'a') + "...");
        row("4096 units", 'a', marked.repeated(150), marked.repeated(136) + "...");
        row("one huge character", 'a', "a" + QString(524000, QChar(0x301)), "...");
        // The mark after the budget belongs to the last character inside it.
        row("budget edge", 'a', edge + QChar(0x301), edge.chopped(1) + "...");
        row("budget exact", 'a', edge, edge);
        // 32 bytes but 16 code units is a message; 16 astral characters are 32 units, a key.
        row("32 bytes of é", 'k', QString(16, QChar(0xE9)), "message");
        row("16 astral", 'k', QString::fromUtf8("😀").repeated(16), "key");
        row("byte-order mark", 'k', "\uFEFF" + QString(32, 'k'), "key");
        row("rejection", 'k', kRejectionAnswer.toString(), "rejected");
        row("32 with a comma", 'k', QString(31, 'k') + ",",
            "message");  // the file could not hold it
        row("all sent", 'p', "1000 1000 0", "Uploading f: 100%, 1.0 kB of 1.0 kB");
        row("59 s", 'p', "0 59 1", "59 s left");
        row("just under an hour", 'p', "0 3599 1", "60 min left");
        row("an hour and a bit", 'p', "0 3661 1", "1 h 2 min left");
        row("just under two hours", 'p', "1 7200 1", "2 h 0 min left");
        int bad = 0;
        for (const char* bytes :
             {"caf\xe9", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"})
            QTest::addRow("not UTF-8, %d", ++bad)
                << 'k' << QByteArray(bytes) << QString("not text");
    }
    void rules() {
        QFETCH(char, rule);
        QFETCH(QByteArray, input);
        const std::optional<QString> text = decodeAnswer(input);
        if (rule == 'p') {
            const QList<QByteArray> n = input.split(' ');
            const QString line =
                progressText("f", n[0].toLongLong(), n[1].toLongLong(), n[2].toInt());
            QTEST(n[2] == "0" ? line : line.section(", about ", 1), "result");
            return;
        }
        const char* kinds[] = {"rejected", "key", "message"};
        QTEST(rule == 'n'   ? displayName(*text)
              : rule == 'a' ? shownAnswer(*text)
              : text        ? QString(kinds[int(classifyLoginAnswer(*text))])
                            : "not text",
              "result");
    }
};

QTEST_APPLESS_MAIN(TextTest)
#include "tst_text.moc"
