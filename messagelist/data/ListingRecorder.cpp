#include "messagelist/data/ListingRecorder.h"

#include "mail/MailMessage.h"
#include "messagelist/data/MessageFilter.h"
#include "messagelist/data/MessageStore.h"
#include "platform/core/AppError.h"

#include <algorithm>
#include <utility>

namespace larkspan {

void ListingRecorder::begin(const QString &account, const QString &folder)
{
    m_account = account;
    m_folder = folder;
    m_kind = MessageSource::Kind::Server;
    m_path.clear();
    m_source.reset();
    m_storeFailure.clear();
}

void ListingRecorder::beginLocal(MessageSource::Kind kind, const QString &path, const QString &folder)
{
    begin(QString(), folder);
    m_kind = kind;
    m_path = path;
}

std::optional<MessageRecord> ListingRecorder::takeLocal(const QString &filter, const ListedTexts &texts,
                                                        const LocalMessageEntry &entry, const MailMessage &message)
{
    if (!passes(filter, texts))
        return std::nullopt;
    // An mbox file's quoting is the same for all its messages.
    if (!m_source || m_source->undoFromQuoting != entry.undoFromQuoting) {
        MessageSource source{m_account, m_folder, 0, m_kind, m_path, entry.undoFromQuoting};
        m_source = std::make_shared<const MessageSource>(std::move(source));
    }
    return MessageRecord(texts.From, texts.FromName, texts.FromAddress, texts.Subject, texts.ReceivedDate, entry,
                         m_source, message.messageId());
}

bool ListingRecorder::passes(const QString &filter, const ListedTexts &texts)
{
    return PassesCharactersFilter(filter, texts.From, texts.FromName, texts.FromAddress, texts.Subject,
                                  texts.ReceivedDate, texts.PlainTextBody);
}

StoredMessage ListingRecorder::store(const MailMessage &message)
{
    try {
        return MessageStore::instance().append(message.raw());
    } catch (const AppError &error) {
        m_storeFailure = error.description();
        return StoredMessage();
    }
}

QString ListingRecorder::takeStoreFailure()
{
    return std::exchange(m_storeFailure, QString());
}

// One source per listing, made again should the folder's UIDVALIDITY change under it.
std::shared_ptr<const MessageSource> ListingRecorder::sourceFor(quint32 uidValidity)
{
    if (!m_source || m_source->uidValidity != uidValidity)
        m_source = std::make_shared<const MessageSource>(MessageSource{m_account, m_folder, uidValidity});
    return m_source;
}

MessageRecord ListingRecorder::record(const ListedTexts &texts, const StoredMessage &stored, const MailMessage *message,
                                      quint32 uidValidity)
{
    MessageRecord out = stored.isStored() && message
                            ? MessageRecord(texts.From, texts.FromName, texts.FromAddress, texts.Subject,
                                            texts.ReceivedDate, stored, message->messageId())
                            : MessageRecord(texts.From, texts.FromName, texts.FromAddress, texts.Subject,
                                            texts.ReceivedDate, texts.PlainTextBody, texts.HTMLTextBody);
    if (message)
        out.setSource(sourceFor(uidValidity), quint32(std::max<qint64>(0, message->uid())));
    return out;
}

std::optional<MessageRecord> ListingRecorder::take(const QString &filter, const ListedTexts &texts,
                                                   const MailMessage &message, quint32 uidValidity)
{
    if (!passes(filter, texts))
        return std::nullopt;
    const StoredMessage stored = store(message);
    if (!stored.isStored())
        return std::nullopt;
    return record(texts, stored, &message, uidValidity);
}

} // namespace larkspan
