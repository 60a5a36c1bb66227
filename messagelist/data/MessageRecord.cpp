#include "messagelist/data/MessageRecord.h"

#include "mail/MailMessage.h"
#include "mail/local/ReadLocalMessage.h"
#include "platform/core/AppError.h"
#include "platform/core/Sha256.h"

#include <QStringEncoder>

#include <algorithm>

namespace larkspan {

namespace {
constexpr qsizetype kScratchBytes = 16 * 1024;
}

RecordArray Messages;
RecordArray SelectedRecords;

MessageRecord::MessageRecord(const QString &from, const QString &fromName, const QString &fromAddress,
                             const QString &subject, const QString &receivedDate, const StoredMessage &stored,
                             const QString &messageId)
    : m_stored(stored)
{
    setTexts({from, fromName, fromAddress, subject, receivedDate, messageId, QString()});
}

MessageRecord::MessageRecord(const QString &from, const QString &fromName, const QString &fromAddress,
                             const QString &subject, const QString &receivedDate, const LocalMessageEntry &entry,
                             std::shared_ptr<const MessageSource> source, const QString &messageId)
    : m_source(std::move(source)), m_number(quint32(std::max(0, entry.position)))
{
    m_stored.offset = entry.offset;
    m_stored.size = entry.size;
    m_stored.check = entry.check;
    QString file; // what the source does not say already
    if (entry.kind == LocalMessageEntry::Kind::Maildir)
        file = entry.filePath.mid(m_source->path.size() + 1);
    else if (entry.kind == LocalMessageEntry::Kind::EmlFile)
        file = entry.filePath;
    setTexts({from, fromName, fromAddress, subject, receivedDate, messageId, file});
}

LocalMessageEntry MessageRecord::localEntry() const
{
    LocalMessageEntry entry;
    if (!isLocal())
        return entry;
    switch (m_source->kind) {
    case MessageSource::Kind::Maildir:
        entry.kind = LocalMessageEntry::Kind::Maildir;
        break;
    case MessageSource::Kind::EmlFiles:
        entry.kind = LocalMessageEntry::Kind::EmlFile;
        break;
    default:
        entry.kind = LocalMessageEntry::Kind::Mbox;
    }
    entry.filePath = localFile();
    entry.sourcePath = localSource();
    entry.offset = m_stored.offset;
    entry.size = m_stored.size;
    entry.check = m_stored.check;
    entry.position = int(m_number);
    entry.undoFromQuoting = m_source->undoFromQuoting;
    return entry;
}

QString MessageRecord::localFile() const
{
    if (!isLocal())
        return QString();
    const QString file = text(FileText);
    if (m_source->kind == MessageSource::Kind::Maildir)
        return m_source->path + QLatin1Char('/') + file;
    return file.isEmpty() ? m_source->path : file;
}

QString MessageRecord::localSource() const
{
    if (!isLocal())
        return QString();
    return m_source->kind == MessageSource::Kind::EmlFiles ? text(FileText) : m_source->path;
}

MessageRecord::MessageRecord(const QString &from, const QString &fromName, const QString &fromAddress,
                             const QString &subject, const QString &receivedDate,
                             const QString &plainTextBody, const QString &htmlTextBody)
    : MessageRecord(from, fromName, fromAddress, subject, receivedDate, StoredMessage())
{
    if (!plainTextBody.isEmpty() || !htmlTextBody.isEmpty())
        m_bodies = std::make_shared<const Bodies>(Bodies{plainTextBody.toUtf8(), htmlTextBody.toUtf8()});
}

QString MessageRecord::text(int index) const
{
    const quint32 start = index == 0 ? 0 : m_ends[index - 1];
    return QString::fromUtf8(m_texts.constData() + start, qsizetype(m_ends[index] - start));
}

void MessageRecord::setTexts(const QString (&texts)[TextCount])
{
    // Encoded into a scratch buffer kept between records, then copied at its exact
    // size: the record's block is the only allocation a listed message leaves behind
    // among the parser's short-lived ones.
    static QByteArray scratch; // records are made on the user-interface thread only
    qsizetype most = 0;
    for (const QString &text : texts)
        most += text.size() * 3; // UTF-8 needs at most three bytes a UTF-16 unit
    const bool fits = most <= kScratchBytes;
    QByteArray large; // a text too long for the scratch buffer gets one of its own
    if (fits && scratch.isEmpty())
        scratch.resize(kScratchBytes);
    else if (!fits)
        large.resize(most);
    char *const start = fits ? scratch.data() : large.data();
    char *out = start;
    for (int i = 0; i < TextCount; ++i) {
        // Each text on its own: no surrogate half may pair with the next text's.
        QStringEncoder utf8(QStringEncoder::Utf8, QStringEncoder::Flag::Stateless);
        out = utf8.appendToBuffer(out, texts[i]);
        m_ends[i] = quint32(out - start);
    }
    m_texts = QByteArray(start, out - start);
}

void MessageRecord::setField(Field f, const QString &value)
{
    QString texts[TextCount];
    for (int i = 0; i < TextCount; ++i)
        texts[i] = i == f ? value : text(i);
    setTexts(texts);
}

MessageBodies MessageRecord::bodies() const
{
    if (isLocal()) {
        const std::unique_ptr<MailMessage> message =
            MailMessage::fromBytes(original(), {}, MailMessage::Attachments::Describe);
        return {message->plainTextBody(), message->htmlBody(), message->toText(),
                message->ccText(),        message->messageId(), message->attachments()};
    }
    if (m_stored.isStored())
        return MessageStore::instance().bodies(m_stored);
    if (!m_bodies)
        return {};
    return {QString::fromUtf8(m_bodies->plain), QString::fromUtf8(m_bodies->html), {}, {}, {}, {}};
}

void MessageRecord::setSource(std::shared_ptr<const MessageSource> source, quint32 uid)
{
    m_source = std::move(source);
    m_number = uid;
}

QByteArray MessageRecord::original() const
{
    if (isLocal())
        return ReadLocalMessage(localEntry());
    return m_stored.isStored() ? MessageStore::instance().read(m_stored) : QByteArray();
}

QByteArray MessageRecord::sha256() const
{
    if (!m_stored.isStored() && !isLocal())
        return QByteArray();
    try {
        return Sha256(original());
    } catch (const AppError &) {
        return QByteArray();
    }
}

QString MessageRecord::plainTextBody() const
{
    return bodies().plainText;
}

QString MessageRecord::htmlTextBody() const
{
    return bodies().html;
}

bool MessageRecord::isEmpty() const
{
    return !m_stored.isStored() && !m_bodies && m_texts.isEmpty() && !isLocal();
}

qsizetype MessageRecord::textBytes() const
{
    return m_texts.size() + (m_bodies ? m_bodies->plain.size() + m_bodies->html.size() : 0);
}

void RecordArray::redim(int upper)
{
    m_items.clear();
    m_items.shrink_to_fit();
    if (upper > 0)
        m_items.resize(static_cast<size_t>(upper));
    m_allocated = true;
}

MessageRecord &RecordArray::operator()(int index)
{
    if (index < 1 || index > upperBound())
        throw AppError(ErrorCode::SubscriptOutOfRange);
    return m_items[static_cast<size_t>(index - 1)];
}

const MessageRecord &RecordArray::operator()(int index) const
{
    if (index < 1 || index > upperBound())
        throw AppError(ErrorCode::SubscriptOutOfRange);
    return m_items[static_cast<size_t>(index - 1)];
}

void RecordArray::append(const MessageRecord &record)
{
    m_items.push_back(record);
    m_allocated = true;
}

void RecordArray::reserve(int count)
{
    if (count > 0)
        m_items.reserve(m_items.size() + size_t(count));
}

void RecordArray::clear()
{
    m_items.clear();
    m_allocated = false;
}

} // namespace larkspan
