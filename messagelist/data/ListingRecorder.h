#pragma once

#include "messagelist/data/MessageRecord.h"

#include <QString>
#include <memory>
#include <optional>

namespace larkspan {

class MailMessage;

// The texts a listing gives of each message, as the list shows them and the
// character filter reads them.
struct ListedTexts {
    QString From, FromName, FromAddress, Subject, ReceivedDate, PlainTextBody, HTMLTextBody;
};

// Turns the messages of one listing into records: the character filter, the message
// store, the record with its identity. Used by the main window's retrieval runs and by
// listings that have no window.
class ListingRecorder {
public:
    // A new listing of a folder (or of files on the disk) for an account. Records of
    // one listing share one source.
    void begin(const QString &account, const QString &folder);
    QString folder() const { return m_folder; }

    // The character filter's verdict on a message.
    static bool passes(const QString &filter, const ListedTexts &texts);

    // Puts the message's octets in the store. When the store refuses them, the
    // returned place is empty and storeFailure() says why: the listing must end, since
    // a row without its message would export nothing.
    StoredMessage store(const MailMessage &message);
    QString storeFailure() const { return m_storeFailure; }
    QString takeStoreFailure();

    // The record of a listed message: stored when it could be, else holding its bodies.
    // uidValidity is the folder's (0 when the server gave none).
    MessageRecord record(const ListedTexts &texts, const StoredMessage &stored, const MailMessage *message,
                         quint32 uidValidity);

    // Mail on the disk: a new listing of a source (kind and path as MessageSource has
    // them; folder is the name it is shown under).
    void beginLocal(MessageSource::Kind kind, const QString &path, const QString &folder);
    // The record of a message read in place from its source; none when the filter
    // rejects it.
    std::optional<MessageRecord> takeLocal(const QString &filter, const ListedTexts &texts,
                                           const LocalMessageEntry &entry, const MailMessage &message);

    // All three steps: the record, or none when the filter rejects the message or the
    // store refuses it.
    std::optional<MessageRecord> take(const QString &filter, const ListedTexts &texts, const MailMessage &message,
                                      quint32 uidValidity);

private:
    std::shared_ptr<const MessageSource> sourceFor(quint32 uidValidity);

    QString m_account;
    QString m_folder;
    MessageSource::Kind m_kind = MessageSource::Kind::Server;
    QString m_path;
    std::shared_ptr<const MessageSource> m_source;
    QString m_storeFailure;
};

} // namespace larkspan
