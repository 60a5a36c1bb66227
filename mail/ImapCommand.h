#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

namespace larkspan {

// What a command is for, which decides what its responses feed and what its
// completion changes.
enum class ImapCommandKind {
    Plain,    // nothing beyond its completion (CAPABILITY)
    Raw,      // a caller's line; every response while it runs is kept for the caller
    StartTls, // its OK turns the connection into TLS
    Login,    // LOGIN or AUTHENTICATE; its arguments never reach a log
    Select,
    List,
    Fetch,
    Logout,
};

// One tagged command of the IMAP client, from issue to completion.
struct ImapCommand {
    ImapCommandKind kind = ImapCommandKind::Plain;
    QByteArray tag;
    QList<QByteArray> pieces; // after each but the last, the server must say "+"
    int sent = 0;
    bool done = false;
    bool ok = false;
    QByteArray status;     // OK, NO or BAD
    QByteArray statusText; // the rest of the tagged line
    QByteArray rawText;    // every response while it ran (raw commands)
    QStringList folders;   // LIST
    int number = 0;        // FETCH
    bool byUid = false;
    bool wanted = true;    // a fetch sent ahead that nobody will ask for any more
    bool haveBody = false;
    QByteArray body;
    QByteArray internalDate;
    qint64 uid = -1;
};

} // namespace larkspan
