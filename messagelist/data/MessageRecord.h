#pragma once

#include "messagelist/data/MessageStore.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <vector>

namespace larkspan {

// Where listed messages came from: one per listing, shared by its records.
struct MessageSource {
    QString account;         // the user name, never the password
    QString folder;          // the server folder
    quint32 uidValidity = 0; // 0: the server gave none
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
    // The message exactly as the server sent it; empty for a record that is not stored.
    // Raises AppError like the bodies.
    QByteArray original() const;

    const StoredMessage &stored() const { return m_stored; }

    // Who the message is: its listing's source and its UID there (0: unknown); with its
    // Message-ID and the SHA-256 of its octets, worked out from the store when asked
    // (empty when not stored or no longer readable).
    void setSource(std::shared_ptr<const MessageSource> source, quint32 uid);
    const MessageSource *source() const { return m_source.get(); }
    quint32 uid() const { return m_uid; }
    QString messageId() const { return text(MessageIdText); }
    QByteArray sha256() const;

private:

    // The five fields, then the Message-ID.
    enum { MessageIdText = FieldCount, TextCount };
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
    StoredMessage m_stored;
    std::shared_ptr<const MessageSource> m_source;
    quint32 m_uid = 0;
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
    void clear();

private:
    std::vector<MessageRecord> m_items;
    bool m_allocated = false;
};

// Program-wide state shared by the windows.
extern RecordArray Messages;        // parallel to the main list's rows
extern RecordArray SelectedRecords; // the ticked records handed to the export window

} // namespace larkspan
