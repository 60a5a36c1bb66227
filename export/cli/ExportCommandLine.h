#pragma once

#include "mail/MailSecurity.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <optional>

namespace larkspan {

// What larkspan-export was asked to do. Choices left out come from the program's
// settings, as the windows left them.
struct ExportCommand {
    enum class Action { Export, Help, Version };
    Action action = Action::Export;

    std::optional<QString> host;
    std::optional<int> port;
    std::optional<MailSecurity> security;
    std::optional<QString> user;
    std::optional<QString> folder; // with maildir: a folder of the Maildir++ tree
    // Mail on the disk instead of a server folder: no sign-in, no password.
    QString mbox;
    QString maildir;
    QStringList emlFiles;
    int first = 1; // --range, in sequence numbers
    int last = 0;  // 0: to the folder's end
    QDate since;   // invalid: every message
    QString containing;
    std::optional<QString> to;
    std::optional<QString> pattern;
    bool textOnly = false;
    bool noAttachments = false;
    bool bundle = false;
    bool allAgain = false;
    QString passwordFile;
    bool passwordStdin = false;
    bool quiet = false;

    bool fromDisk() const { return !mbox.isEmpty() || !maildir.isEmpty() || !emlFiles.isEmpty(); }
    // What to open: the mbox file, the Maildir folder or the .eml files.
    QStringList localPaths() const
    {
        return !mbox.isEmpty() ? QStringList{mbox} : !maildir.isEmpty() ? QStringList{maildir} : emlFiles;
    }
};

// The command line, or why it cannot be used (a line for the user).
struct ParsedCommand {
    ExportCommand command;
    QString error;
};

// arguments without the program's own name.
ParsedCommand ParseExportCommandLine(const QStringList &arguments);

// What --help prints: every option, the defaults and the exit statuses.
QString ExportCommandLineHelp();

// What the program's exit status says.
enum class ExitStatus {
    Done = 0,             // every message exported (or skipped as exported before)
    SomeFailed = 1,       // some messages failed; each is named
    Usage = 2,            // the command line, a folder, a mail file, a range or a date cannot be used; no password
    SignInRefused = 3,    // the server refused the user name or password
    ServerError = 4,      // the connection failed or was lost, or the server refused an operation
    OutputNotWritable = 5, // the output folder cannot be written
    Cancelled = 6,        // stopped by SIGINT or SIGTERM after the message being exported
};

} // namespace larkspan
