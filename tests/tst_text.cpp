// The pure text rules: display names, shortened answers, answer decoding and classification.
#include "app/Answers.h"
#include "app/Characters.h"

#include <QTest>

using namespace ferrodock;

class TextTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // 'n': the display name of a path; 'a': the shown part of an answer.
    void shortening_data() {
        QTest::addColumn<char>("rule");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        const QString family =
            QString::fromUtf8("👨‍👩‍👧‍👦");  // one character, seven code points
        const QString ka = QString::fromUtf8("\xE0\xA4\x95\xCC\x81");  // consonant and accent
        const QString marked = "e" + QString(29, QChar(0x301));        // one character, 30 units
        const QString edge = "a" + QString(4094, QChar(0x301)) + "b";
        const auto row = [](const char* name, char rule, const QString& text, const QString& out) {
            QTest::newRow(name) << rule << text << out;
        };
        row("exactly 25", 'n', "/x/abcdefghijklmnopqrstu.png", "abcdefghijklmnopqrstu.png");
        row("26 with é", 'n', "/x/abcdéfghijklmnopqrstuv.png", "abcdéfghijklmnopqrstuv.pn...png");
        row("no extension", 'n', "abcdefghijklmnopqrstuvwxyz1", "abcdefghijklmnopqrstuvwxy...");
        row("emoji at the cut", 'n', "/x/abcdefghijklmnopqrstuvwx" + family + "z.gif",
            "abcdefghijklmnopqrstuvwx" + family + "...gif");
        row("devanagari", 'n', "/x/" + ka.repeated(26) + ".txt", ka.repeated(25) + "...txt");
        row("8 after the dot", 'n', "/x/abcdefghijklmnopqrstuvwxyz.backup12",
            "abcdefghijklmnopqrstuvwxy...backup12");
        row("9 after the dot", 'n', "/x/abcdefghijklmnopqrstuvwxyz.backup123",
            "abcdefghijklmnopqrstuvwxy...");
        row("space after the dot", 'n', "/x/Minutes v2. final draft for the board",
            "Minutes v2. final draft f...");
        row("200", 'a', QString(200, 'a'), QString(200, 'a'));
        row("201", 'a', QString(201, 'a'), QString(200, 'a') + "...");
        row("families", 'a', family.repeated(50000), family.repeated(200) + "...");
        row("4096 units", 'a', marked.repeated(150), marked.repeated(136) + "...");
        row("one huge character", 'a', "a" + QString(524000, QChar(0x301)), "...");
        // The mark after the budget belongs to the last character inside it.
        row("budget edge", 'a', edge + QChar(0x301), edge.chopped(1) + "...");
        row("budget exact", 'a', edge, edge);
    }
    void shortening() {
        QFETCH(char, rule);
        QFETCH(QString, text);
        QTEST(rule == 'n' ? displayName(text) : shownAnswer(text), "shown");
    }

    void answers_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("login");  // -1: not text
        // 16 two-byte letters are 32 bytes but 16 code units: a message, not a key.
        QTest::newRow("32 bytes of é")
            << QString(16, QChar(0xE9)).toUtf8() << int(LoginAnswer::Message);
        // 32 code units from 16 astral characters: a key, as the service counts.
        QTest::newRow("16 astral")
            << QString::fromUtf8("😀").repeated(16).toUtf8() << int(LoginAnswer::Accepted);
        QTest::newRow("byte-order mark")
            << "\xEF\xBB\xBF" + QByteArray(32, 'k') << int(LoginAnswer::Accepted);
        QTest::newRow("rejection")
            << QByteArray(kRejectionAnswer.toLatin1()) << int(LoginAnswer::Rejected);
        for (const char* bad :
             {"caf\xe9", "\xe2\x82", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80"})
            QTest::newRow(bad) << QByteArray(bad) << -1;
    }
    void answers() {
        QFETCH(QByteArray, bytes);
        const std::optional<QString> text = decodeAnswer(bytes);
        QTEST(text ? int(classifyLoginAnswer(*text)) : -1, "login");
    }
};

QTEST_APPLESS_MAIN(TextTest)
#include "tst_text.moc"
