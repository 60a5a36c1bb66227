#include "messagelist/MessageRecord.h"

#include "platform/AppError.h"

namespace larkspan {

RecordArray Messages;
RecordArray SelectedRecords;
bool SkipDoneMessage = false;
bool RangeAccepted = false;

namespace {
QByteArray Compact(const QString &text)
{
    QByteArray bytes = text.toUtf8();
    // The conversion reserves room for the worst case (three bytes a character);
    // the list keeps every record for as long as it stands, so give that back.
    bytes.squeeze();
    return bytes;
}
} // namespace

MessageRecord::MessageRecord(const QString &from, const QString &fromName, const QString &fromAddress,
                             const QString &subject, const QString &receivedDate, const StoredMessage &stored)
    : m_stored(stored)
{
    setField(From, from);
    setField(FromName, fromName);
    setField(FromAddress, fromAddress);
    setField(Subject, subject);
    setField(ReceivedDate, receivedDate);
}

MessageRecord::MessageRecord(const QString &from, const QString &fromName, const QString &fromAddress,
                             const QString &subject, const QString &receivedDate,
                             const QString &plainTextBody, const QString &htmlTextBody)
    : MessageRecord(from, fromName, fromAddress, subject, receivedDate, StoredMessage())
{
    m_plain = Compact(plainTextBody);
    m_html = Compact(htmlTextBody);
}

void MessageRecord::setField(Field f, const QString &text)
{
    m_fields[f] = Compact(text);
}

MessageBodies MessageRecord::bodies() const
{
    if (m_stored.isStored())
        return MessageStore::instance().bodies(m_stored);
    return {QString::fromUtf8(m_plain), QString::fromUtf8(m_html), {}, {}, {}, {}};
}

void MessageRecord::setIdentity(std::shared_ptr<const MessageSource> source, quint32 uid, const QString &messageId)
{
    m_source = std::move(source);
    m_uid = uid;
    m_messageId = messageId.toUtf8();
}

QByteArray MessageRecord::original() const
{
    return m_stored.isStored() ? MessageStore::instance().read(m_stored) : QByteArray();
}

QString MessageRecord::plainTextBody() const
{
    return m_stored.isStored() ? bodies().plainText : QString::fromUtf8(m_plain);
}

QString MessageRecord::htmlTextBody() const
{
    return m_stored.isStored() ? bodies().html : QString::fromUtf8(m_html);
}

bool MessageRecord::isEmpty() const
{
    if (m_stored.isStored() || !m_plain.isEmpty() || !m_html.isEmpty())
        return false;
    for (const QByteArray &f : m_fields)
        if (!f.isEmpty())
            return false;
    return true;
}

qsizetype MessageRecord::textBytes() const
{
    qsizetype total = m_plain.size() + m_html.size();
    for (const QByteArray &f : m_fields)
        total += f.size();
    return total;
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

void RecordArray::clear()
{
    m_items.clear();
    m_allocated = false;
}

} // namespace larkspan
