#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace larkspan {

// Where one message of a local source (an mbox file, a Maildir folder, .eml files)
// lies, and what reading it back takes. The caller keeps it in its record;
// ReadLocalMessage() reads the message from it alone, and refuses when the octets at
// that place are no longer the ones the scan found (size and check).
struct LocalMessageEntry {
    enum class Kind : quint8 { Mbox, Maildir, EmlFile };
    Kind kind = Kind::Mbox;
    // The source as the user named it: the mbox file, the Maildir folder or the .eml file.
    QString sourcePath;
    // The file that holds the message: the mbox file, the Maildir's message file
    // (cur/ or new/), or the .eml file.
    QString filePath;
    // The message's octets in filePath as they lie there: an mbox message starts after
    // its From_ line and ends before the blank line that parts it from the next one.
    qint64 offset = 0;
    qint64 size = 0;
    // 1-based, in the source's order: file order for an mbox, the order the .eml files
    // were given in, and for a Maildir the order described at MaildirSource.
    int position = 0;
    // SliceCheck of the size octets at offset, taken by the scan (valid for this run).
    quint64 check = 0;
    // When the message arrived: the date of an mbox From_ line, the modification time
    // of a Maildir file (the time its server reports for it); invalid when unknown.
    QDateTime arrival;
    // An mboxrd file: one '>' comes off every ">From " line (see mbox::UndoMboxrdQuoting).
    bool undoFromQuoting = false;
    // Why the message cannot be read, in plain words naming the file (an mbox that ends
    // inside it, an .eml that is no mail message, a file that cannot be read); the scan
    // lists it so that the caller reports it at its place. Empty when it can be read.
    QString problem;

    // arrival as an IMAP INTERNALDATE ("17-Jul-1996 02:44:25 +0000"), the form
    // MailMessage::fromBytes takes for a message without a readable Date; empty when unknown.
    QByteArray arrivalAsInternalDate() const;
};

} // namespace larkspan
