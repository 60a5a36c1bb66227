#include "messagelist/MessageRecord.h"

#include "platform/AppError.h"

namespace larkspan {

RecordArray Messages;
RecordArray SelectedRecords;
bool SkipDoneMessage = false;
bool RangeAccepted = false;

MessageRecord::MessageRecord(const QString &from, const QString &fromName, const QString &fromAddress,
                             const QString &subject, const QString &receivedDate,
                             const QString &plainTextBody, const QString &htmlTextBody)
{
    setField(From, from);
    setField(FromName, fromName);
    setField(FromAddress, fromAddress);
    setField(Subject, subject);
    setField(ReceivedDate, receivedDate);
    setField(PlainTextBody, plainTextBody);
    setField(HTMLTextBody, htmlTextBody);
}

void MessageRecord::setField(Field f, const QString &text)
{
    m_fields[f] = text.toUtf8();
    // The conversion reserves room for the worst case (three bytes a character);
    // the list keeps every record for as long as it stands, so give that back.
    m_fields[f].squeeze();
}

bool MessageRecord::isEmpty() const
{
    for (const QByteArray &f : m_fields)
        if (!f.isEmpty())
            return false;
    return true;
}

qsizetype MessageRecord::textBytes() const
{
    qsizetype total = 0;
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
