#pragma once

#include "mail/local/LocalMessageEntry.h"
#include "platform/core/AppError.h"

#include <QByteArrayView>
#include <QString>

class QFile;

// The errors of local sources, each naming the file and the cause in plain words.
namespace larkspan::local {

// "the mbox file /home/ann/mail.mbox", "the Maildir folder ...", "the .eml file ...".
QString Named(LocalMessageEntry::Kind kind, const QString &path);
// "message 3 of the mbox file /x", "message 3 of the Maildir folder /x (file cur/...)",
// "the .eml file /x".
QString DescribeMessage(const LocalMessageEntry &entry);

// "the message file /x/cur/1700000000.M1P2.host:2,S", for a Maildir's message file.
QString NamedMessageFile(const QString &path);

// Why the file at path could not be opened for reading: missing (53), its folder
// missing (76), a folder (75), not readable by this user (70), or the system's reason
// (75). named is how the text names it (Named(), NamedMessageFile()).
AppError OpenFailure(const QString &named, const QString &path, const QFile &file);

// The first octets of a file hold binary data, not the header lines of mail: control
// characters other than tab, CR, LF, FF, VT and ESC (ISO-2022-JP text uses ESC) before
// the first blank line. Only the header part is looked at: a body may hold anything.
bool LooksBinary(QByteArrayView head);
// " (a gzip file: unpack it first)" for the compressed files archives come in; empty otherwise.
QString CompressedHint(QByteArrayView head);
// The first line is a header field ("Name: value"), as a message's first line is.
bool StartsWithHeaderField(QByteArrayView head);

} // namespace larkspan::local
