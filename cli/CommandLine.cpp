#include "cli/CommandLine.h"

#include "cli/CommandSupport.h"

#include <QCommandLineParser>

namespace ferrodock {

using namespace cli;

namespace {

QString programHelp() {
    return QStringLiteral(
               "Usage: ferrodock [COMMAND [OPTIONS] [ARGUMENTS]]\n"
               "Uploads files, images and text pastes to %1 and prints their addresses.\n"
               "With no command, ferrodock opens its window.\n"
               "\n"
               "Commands:\n"
               "  open [FILE...]        Open the window with FILE chosen, the first of several;\n"
               "                        a window already open takes it.\n"
               "  upload [-p] [-a] [--copy] FILE...\n"
               "                        Upload files, one address per file.\n"
               "  image [-p] [-a] [--nsfw] [--copy] FILE...\n"
               "                        Upload jpg, jpeg, gif or png images.\n"
               "  paste [-l LANGUAGE] [-p] [-a] [--copy] [FILE|-]\n"
               "                        Paste a UTF-8 text file, or standard input.\n"
               "  login [--password-stdin] [USER]\n"
               "                        Log in; the window shares the login.\n"
               "  logout                Forget the login.\n"
               "  history [-n N] [--json] [--clear]\n"
               "                        List the latest N uploads (20), newest first, as\n"
               "                        columns or JSON lines; --clear forgets them all.\n"
               "\n"
               "Options:\n"
               "  -p, --private         Keep the upload out of public listings.\n"
               "  -a, --anonymous       Do not link the upload to the account.\n"
               "  --nsfw                Mark the image not safe for work.\n"
               "  -l, --language LANGUAGE\n"
               "                        Highlight the paste as LANGUAGE, a name such as C++\n"
               "                        (any case) or its identifier such as cpp;\n"
               "                        'ferrodock paste --help' lists them.\n"
               "  --copy                Also put the last address on the clipboard (needs a\n"
               "                        display).\n"
               "  --password-stdin      Read the password from standard input (one trailing\n"
               "                        line feed is dropped); an empty one, one over 4096\n"
               "                        bytes or an unreadable input fails before anything\n"
               "                        is sent.\n"
               "  -h, --help            Show this help, or a command's help after it.\n"
               "  -v, --version         Show the version.\n"
               "\n"
               "Standard output holds only the addresses, one per line; messages go to\n"
               "standard error. The login is kept in ~/Documents/ferrodock.data, where the\n"
               "window keeps it; logged out, uploads go out without a key. Every address\n"
               "is kept in $XDG_DATA_HOME/ferrodock/history.sqlite (~/.local/share/...).\n"
               "\n"
               "Exit status:\n"
               "  0  everything succeeded\n"
               "  1  something failed (the other files were still uploaded), or standard\n"
               "     output could not take an address (it is then on standard error)\n"
               "  2  the command line is wrong\n")
        .arg(QStringLiteral(FERRODOCK_SERVICE_ORIGIN));
}

// Writes a help or version text: like cat, a failed write is a failure.
int output(const CommandStreams& io, const QString& text) {
    const QString problem = writeOut(io, text);
    if (problem.isEmpty()) return kCommandOk;
    return failed(io, QStringLiteral("cannot write to standard output: ") + problem);
}

struct Command {
    const char16_t* name;
    const char16_t* synopsis;
    const char16_t* summary;
    int (*run)(const CommandStreams&, const QCommandLineParser&);
};

const Command kCommands[] = {
    {u"upload", u"[-p] [-a] [--copy] [--name NAME] FILE...",
     u"Uploads each FILE and prints its address; - reads the file from standard input.",
     [](const CommandStreams& io, const QCommandLineParser& p) {
         return uploadFiles(io, p, false);
     }},
    {u"image", u"[-p] [-a] [--nsfw] [--copy] [--name NAME] FILE...",
     u"Uploads each jpg, jpeg, gif or png image and prints its address; - reads a PNG, JPEG "
     u"or GIF picture from standard input.",
     [](const CommandStreams& io, const QCommandLineParser& p) {
         return uploadFiles(io, p, true);
     }},
    {u"paste", u"[-l LANGUAGE] [-p] [-a] [--copy] [FILE|-]",
     u"Pastes the UTF-8 text of FILE, or of standard input, and prints its address.", paste},
    {u"login", u"[--password-stdin] [USER]",
     u"Logs in and remembers the login for the window and the command line.", login},
    {u"logout", u"", u"Forgets the login.", logout},
    {u"history", u"[-n N] [--json] [--clear]",
     u"Lists the latest uploads, newest first, or forgets them all.", history},
};

}  // namespace

int runCommand(const QStringList& arguments, const CommandStreams& io) {
    if (arguments.isEmpty()) return usageError(io, QStringLiteral("no command given"));
    const QString& word = arguments.first();
    if (word == u"-h" || word == u"--help") {
        return output(io, programHelp());
    }
    if (word == u"-v" || word == u"--version") {
        return output(io, QStringLiteral("ferrodock %1\n").arg(QStringLiteral(FERRODOCK_VERSION)));
    }
    const Command* command = nullptr;
    for (const Command& candidate : kCommands) {
        if (word == QStringView(candidate.name)) command = &candidate;
    }
    if (!command) {
        return usageError(io, word.startsWith(QLatin1Char('-'))
                                  ? QStringLiteral("unknown option '") + word + QLatin1Char('\'')
                                  : QStringLiteral("unknown command '") + word + QLatin1Char('\''));
    }

    const QString name = QString::fromUtf16(command->name);
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf16(command->summary));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help."));
    parser.addOption(help);
    if (!name.startsWith(u"log") && name != u"history") {  // the uploads
        parser.addOption({{QStringLiteral("p"), QStringLiteral("private")},
                          QStringLiteral("Keep the upload out of public listings.")});
        parser.addOption({{QStringLiteral("a"), QStringLiteral("anonymous")},
                          QStringLiteral("Do not link the upload to the account.")});
        parser.addOption({QStringLiteral("copy"),
                          QStringLiteral("Also put the last address on the clipboard.")});
    }
    if (name == u"upload" || name == u"image") {
        parser.addOption({QStringLiteral("name"),
                          QStringLiteral("Send standard input (-) under NAME; by default "
                                         "'stdin', with .png, .jpg or .gif for a picture."),
                          QStringLiteral("NAME")});
    }
    if (name == u"image") {
        parser.addOption(
            {QStringLiteral("nsfw"), QStringLiteral("Mark the image not safe for work.")});
    }
    if (name == u"paste") {
        parser.addOption({{QStringLiteral("l"), QStringLiteral("language")},
                          QStringLiteral("Highlight the paste as LANGUAGE: one of ") +
                              languageList() + QLatin1Char('.'),
                          QStringLiteral("LANGUAGE")});
    }
    if (name == u"login") {
        parser.addOption({QStringLiteral("password-stdin"),
                          QStringLiteral("Read the password, at most 4096 bytes, from "
                                         "standard input.")});
    }
    if (name == u"history") {
        parser.addOption(
            {QStringLiteral("n"), QStringLiteral("List the latest N (20)."), QStringLiteral("N")});
        parser.addOption({QStringLiteral("json"),
                          QStringLiteral("One JSON object a line, every field but the picture.")});
        parser.addOption({QStringLiteral("clear"), QStringLiteral("Remove every entry.")});
    }
    if (!parser.parse(QStringList{QStringLiteral("ferrodock")} + arguments.mid(1))) {
        return usageError(io, name + QStringLiteral(": ") + parser.errorText(), name);
    }
    if (parser.isSet(help)) {
        // Qt's first line names the program by its path; the rest lists the options.
        QString text = parser.helpText();
        text = text.mid(text.indexOf(QLatin1Char('\n')) + 1);
        return output(io, QStringLiteral("Usage: ferrodock ") + name + QLatin1Char(' ') +
                              QString::fromUtf16(command->synopsis) + QLatin1Char('\n') + text);
    }
    return command->run(io, parser);
}

int runCommandLine(const QStringList& arguments, const CommandStreams& io) {
    int status = runCommand(arguments, io);
    // What is still buffered may fail to go out too; that loses it as surely as a failed write.
    if (output(io, {}) != kCommandOk && status == kCommandOk) status = kCommandFailed;
    return status;
}

}  // namespace ferrodock
