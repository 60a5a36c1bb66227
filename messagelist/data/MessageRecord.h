#pragma once

#include "mail/local/LocalMessageEntry.h"
#include "messagelist/data/MessageStore.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace larkspan {

// Where listed messages came from: one per listing, shared by its records.
struct MessageSource {
    // A server folder, or mail already on the disk, read in place.
    enum class Kind : quint8 { Server, Mbox, Maildir, EmlFiles };

    QString account;         // the user name, never the password
    QString folder;          // the server folder; on the disk, the Maildir++ folder's name or the file's
    quint32 uidValidity = 0; // 0: the server gave none
    Kind kind = Kind::Server;
    // On the disk: the mbox file or the Maildir folder, absolute; empty for .eml files,
    // whose records each name their own file.
    QString path = QString();
    bool undoFromQuoting = false; // an mboxrd file

    bool isLocal() const { return kind != Kind::Server; }
};

// One listed message: the five texts the list shows, and where its whole message lies
// in the message store, from which the bodies are read when the preview or the export
// needs them. A record made with its bodies (a message that was never stored) keeps
// them itself. The texts are kept as UTF-8, which halves the memory a folder of
// mostly Latin text needs compared with UTF-16.
class MessageRecord {
public:
    enum Field { From, FromName, FromAddress, Subject, ReceivedDate, FieldCount };

    MessageRecord() = default;
    // A listed message whose octets are in the store, with its Message-ID.
    MessageRecord(const QString &from, const QString &fromName, const QString &fromAddress, const QString &subject,
                  const QString &receivedDate, const StoredMessage &stored, const QString &messageId = QString());
    // A message of a local source, read in place: the record keeps the entry's place
    // and check (not its octets), and every read goes back to the file through
    // ReadLocalMessage, which refuses octets that changed since the listing.
    MessageRecord(const QString &from, const QString &fromName, const QString &fromAddress, const QString &subject,
                  const QString &receivedDate, const LocalMessageEntry &entry,
                  std::shared_ptr<const MessageSource> source, const QString &messageId);
    // A message with its bodies at hand.
    MessageRecord(const QString &from, const QString &fromName, const QString &fromAddress,
                  const QString &subject, const QString &receivedDate,
                  const QString &plainTextBody, const QString &htmlTextBody);

    QString field(Field f) const { return text(f); }
    void setField(Field f, const QString &text);
    bool isEmpty() const;
    // UTF-8 size of the texts the record holds itself.
    qsizetype textBytes() const;

    QString from() const { return field(From); }
    QString fromName() const { return field(FromName); }
    QString fromAddress() const { return field(FromAddress); }
    QString subject() const { return field(Subject); }
    QString receivedDate() const { return field(ReceivedDate); }
    // From the store for a stored message: raises AppError when the store no longer
    // holds it or holds other octets than were written.
    QString plainTextBody() const;
    QString htmlTextBody() const;

    // Bodies, recipients and attachments; only the bodies for a record that is not stored.
    MessageBodies bodies() const;
    // The message exactly as the server sent it (or as it lies in its file on the
    // disk); empty for a record that is not stored. Raises AppError like the bodies,
    // and for a local message when its file changed since the listing.
    QByteArray original() const;

    const StoredMessage &stored() const { return m_stored; }

    // Who the message is: its listing's source and its UID there (0: unknown); with its
    // Message-ID and the SHA-256 of its octets, worked out from the store when asked
    // (empty when not stored or no longer readable).
    void setSource(std::shared_ptr<const MessageSource> source, quint32 uid);
    const MessageSource *source() const { return m_source.get(); }
    quint32 uid() const { return isLocal() ? 0 : m_number; }
    // A message of mail on the disk: its place, rebuilt from what the record keeps.
    bool isLocal() const { return m_source && m_source->isLocal(); }
    LocalMessageEntry localEntry() const;
    // On the disk: its position in the source (1-based, the source's order; 0 otherwise),
    // the file that holds it, and the source skipping knows it by (the mbox file, the
    // Maildir folder, the .eml file).
    int position() const { return isLocal() ? int(m_number) : 0; }
    QString localFile() const;
    QString localSource() const;
    QString messageId() const { return text(MessageIdText); }
    QByteArray sha256() const;

private:

    // The five fields, then the Message-ID, then for mail on the disk the message's
    // file: relative to a Maildir folder, whole for an .eml file, empty in an mbox.
    enum { MessageIdText = FieldCount, FileText, TextCount };
    QString text(int index) const;
    void setTexts(const QString (&texts)[TextCount]);

    // Every text in UTF-8, one after the other in a single block, and where each
    // ends: a folder of 50,000 records pays one allocation a record, not six.
    QByteArray m_texts;
    quint32 m_ends[TextCount] = {};
    struct Bodies {
        QByteArray plain, html;
    };
    std::shared_ptr<const Bodies> m_bodies; // a record that is not stored keeps its bodies
    // In the store, or for mail on the disk its place in the file (generation 0).
    StoredMessage m_stored;
    std::shared_ptr<const MessageSource> m_source;
    quint32 m_number = 0; // the UID on a server, the position on the disk
};

// A 1-based array of records with explicit bounds. Indexing outside the bounds
// raises AppError("Subscript out of range", 9).
class RecordArray {
public:
    // Re-creates the array empty with the bounds 1..upper (no elements when upper < 1).
    void redim(int upper);
    int lowerBound() const { return 1; }
    int upperBound() const { return static_cast<int>(m_items.size()); }
    bool isAllocated() const { return m_allocated; }

    MessageRecord &operator()(int index);
    const MessageRecord &operator()(int index) const;

    void append(const MessageRecord &record);
    // Room for count more appends without moving the records.
    void reserve(int count);
    void clear();

private:
    std::vector<MessageRecord> m_items;
    bool m_allocated = false;
};

// Program-wide state shared by the windows.
extern RecordArray Messages;        // parallel to the main list's rows
extern RecordArray SelectedRecords; // the ticked records handed to the export window

} // namespace larkspan
