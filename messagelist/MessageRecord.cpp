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
    m_fields[From] = from.toUtf8();
    m_fields[FromName] = fromName.toUtf8();
    m_fields[FromAddress] = fromAddress.toUtf8();
    m_fields[Subject] = subject.toUtf8();
    m_fields[ReceivedDate] = receivedDate.toUtf8();
    m_fields[PlainTextBody] = plainTextBody.toUtf8();
    m_fields[HTMLTextBody] = htmlTextBody.toUtf8();
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
        throw AppError(QStringLiteral("Subscript out of range"), 9);
    return m_items[static_cast<size_t>(index - 1)];
}

const MessageRecord &RecordArray::operator()(int index) const
{
    if (index < 1 || index > upperBound())
        throw AppError(QStringLiteral("Subscript out of range"), 9);
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
