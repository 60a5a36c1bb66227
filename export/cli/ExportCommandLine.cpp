#include "export/cli/ExportCommandLine.h"

#include <QCommandLineParser>
#include <QRegularExpression>

namespace larkspan {

namespace {

struct Option {
    const char *name;
    const char *value; // nullptr: a switch
    const char *help;
};

const Option kOptions[] = {
    {"server", "HOST[:PORT]", "the IMAP server (default: the \"Server\" and \"Port\" settings)"},
    {"security", "tls|starttls", "TLS from the start, or STARTTLS on a plain port (default: the \"Security\" setting)"},
    {"user", "NAME", "the user name (default: the \"User\" setting)"},
    {"folder", "NAME", "the server folder (default: the folder last chosen in the window); with --maildir, a "
                       "folder of the Maildir++ tree (default: its INBOX)"},
    {"mbox", "FILE", "export the mbox FILE instead of a server folder"},
    {"maildir", "DIR", "export the Maildir folder DIR (cur/ and new/) instead of a server folder"},
    {"range", "FIRST-LAST", "only messages FIRST to LAST, by their number in the folder"},
    {"since", "YYYY-MM-DD", "only messages that arrived on or after that day"},
    {"containing", "TEXT", "only messages containing TEXT, as \"Filter By Characters\" does"},
    {"to", "DIR", "the output folder (default: the \"Backup Path\" setting, else the Desktop)"},
    {"pattern", "TEXT", "the file-name pattern (default: the \"Text1\" setting)"},
    {"text-only", nullptr, "text-only PDFs (default: as the email appears in a browser, with images)"},
    {"no-attachments", nullptr, "do not show attachments in the PDF (they stay inside it)"},
    {"bundle", nullptr, "one PDF for all the messages instead of one PDF per message"},
    {"all-again", nullptr, "export again what the folder's export report says was exported"},
    {"password-file", "FILE", "read the password from FILE, which only its owner may read"},
    {"password-stdin", nullptr, "read the password from standard input"},
    {"quiet", nullptr, "no progress line: one line per stage and every failure"},
    {"help", nullptr, "show this help"},
    {"version", nullptr, "show the version"},
};

} // namespace

QString ExportCommandLineHelp()
{
    QString text = QStringLiteral(
        "Usage: larkspan-export [OPTION]... [FILE.eml]...\n"
        "Exports the messages of a mail folder to PDF files, unattended: signs in, lists the\n"
        "folder and writes the PDFs and the export report, as the export window does. What\n"
        "was exported before is skipped. The password is never taken from the command line:\n"
        "it comes from the keyring entry \"Remember me\" wrote, then --password-file, then\n"
        "--password-stdin.\n"
        "Mail already on the disk is exported the same way, read in place, without signing in:\n"
        "an mbox file (--mbox), a Maildir folder (--maildir), or .eml files named as arguments.\n\n");
    for (const Option &option : kOptions) {
        QString left = QStringLiteral("  --") + QLatin1String(option.name);
        if (option.value)
            left += QLatin1Char(' ') + QLatin1String(option.value);
        text += left.leftJustified(32) + QLatin1String(option.help) + QLatin1Char('\n');
    }
    text += QStringLiteral(
        "\nExit status:\n"
        "  0  every message exported, or skipped as exported before\n"
        "  1  some messages failed; each is named\n"
        "  2  the command line, the folder, the mail file, the range or the date cannot be\n"
        "     used, or there is no password\n"
        "  3  the server refused the user name or password\n"
        "  4  the connection failed or was lost, or the server refused an operation\n"
        "  5  the output folder cannot be written\n"
        "  6  stopped (SIGINT or SIGTERM) after the message being exported; the report is written\n");
    return text;
}

ParsedCommand ParseExportCommandLine(const QStringList &arguments)
{
    ParsedCommand out;
    ExportCommand &command = out.command;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    for (const Option &option : kOptions) {
        QCommandLineOption o(QString::fromLatin1(option.name));
        if (option.value)
            o.setValueName(QString::fromLatin1(option.value));
        parser.addOption(o);
    }
    if (!parser.parse(QStringList{QStringLiteral("larkspan-export")} + arguments)) {
        out.error = parser.errorText();
        return out;
    }
    for (const QString &argument : parser.positionalArguments()) {
        if (!argument.endsWith(QLatin1String(".eml"), Qt::CaseInsensitive)) {
            out.error = QStringLiteral("Unexpected argument \"%1\" (mail files as arguments end in .eml; an mbox file "
                                       "goes with --mbox).")
                            .arg(argument);
            return out;
        }
    }
    if (parser.isSet(QStringLiteral("help"))) {
        command.action = ExportCommand::Action::Help;
        return out;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        command.action = ExportCommand::Action::Version;
        return out;
    }
    const auto value = [&](const char *name) { return parser.value(QString::fromLatin1(name)); };
    const auto given = [&](const char *name) { return parser.isSet(QString::fromLatin1(name)); };

    if (given("server")) {
        // "host", "host:993", "[::1]:993"
        static const QRegularExpression form(QStringLiteral("^(\\[[^\\]]+\\]|[^:\\s]+)(?::(\\d{1,5}))?$"));
        const auto match = form.match(value("server"));
        if (!match.hasMatch()) {
            out.error = QStringLiteral("--server wants HOST or HOST:PORT, not \"%1\".").arg(value("server"));
            return out;
        }
        QString host = match.captured(1);
        if (host.startsWith(QLatin1Char('[')))
            host = host.mid(1, host.size() - 2);
        command.host = host;
        if (!match.captured(2).isEmpty()) {
            const int port = match.captured(2).toInt();
            if (port < 1 || port > 65535) {
                out.error = QStringLiteral("--server: the port %1 is not between 1 and 65535.").arg(port);
                return out;
            }
            command.port = port;
        }
    }
    if (given("security")) {
        const std::optional<MailSecurity> security = ParseMailSecurity(value("security"));
        if (!security) {
            out.error = QStringLiteral("--security wants tls or starttls, not \"%1\".").arg(value("security"));
            return out;
        }
        command.security = security;
    }
    if (given("user"))
        command.user = value("user");
    if (given("folder"))
        command.folder = value("folder");
    command.mbox = value("mbox");
    command.maildir = value("maildir");
    command.emlFiles = parser.positionalArguments();
    const int sources = int(given("mbox")) + int(given("maildir")) + int(!command.emlFiles.isEmpty());
    if ((given("mbox") && command.mbox.isEmpty()) || (given("maildir") && command.maildir.isEmpty())) {
        out.error = QStringLiteral("--mbox and --maildir want the name of a file or a folder.");
        return out;
    }
    if (sources > 1) {
        out.error = QStringLiteral("Give one source: --mbox, --maildir or .eml files.");
        return out;
    }
    if (command.folder && sources == 1 && command.maildir.isEmpty()) {
        out.error = QStringLiteral("--folder names a server folder or, with --maildir, a Maildir++ folder.");
        return out;
    }
    if (given("range")) {
        static const QRegularExpression form(QStringLiteral("^(\\d{1,9})-(\\d{1,9})$"));
        const auto match = form.match(value("range"));
        const int first = match.captured(1).toInt();
        const int last = match.captured(2).toInt();
        if (!match.hasMatch() || first < 1 || last < first) {
            out.error = QStringLiteral("--range wants FIRST-LAST with 1 <= FIRST <= LAST, not \"%1\".").arg(value("range"));
            return out;
        }
        command.first = first;
        command.last = last;
    }
    if (given("since") && sources > 0) {
        out.error = QStringLiteral("--since goes by the server's arrival dates: use it with a server folder.");
        return out;
    }
    if (given("since")) {
        command.since = QDate::fromString(value("since"), QStringLiteral("yyyy-MM-dd"));
        if (!command.since.isValid()) {
            out.error = QStringLiteral("--since wants a date as YYYY-MM-DD, not \"%1\".").arg(value("since"));
            return out;
        }
    }
    command.containing = value("containing");
    if (given("to"))
        command.to = value("to");
    if (given("pattern"))
        command.pattern = value("pattern");
    command.textOnly = given("text-only");
    command.noAttachments = given("no-attachments");
    command.bundle = given("bundle");
    command.allAgain = given("all-again");
    command.passwordFile = value("password-file");
    command.passwordStdin = given("password-stdin");
    command.quiet = given("quiet");
    if (given("password-file") && command.passwordFile.isEmpty()) {
        out.error = QStringLiteral("--password-file wants the name of a file.");
        return out;
    }
    return out;
}

} // namespace larkspan
