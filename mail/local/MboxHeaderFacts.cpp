#include "mail/local/MboxHeaderFacts.h"

namespace larkspan::mbox {

namespace {

// What one field may hold before the rest is ignored: the facts sit at its start.
constexpr qsizetype kLongestValue = 8 * 1024;

constexpr unsigned kMozillaExpunged = 0x0008;

QByteArrayView Trimmed(QByteArrayView text)
{
    return text.trimmed();
}

// The boundary parameter of a multipart Content-Type value; empty for another type.
QByteArray BoundaryOf(QByteArrayView value)
{
    value = Trimmed(value);
    if (value.size() < 10 || qstrnicmp(value.data(), "multipart/", 10) != 0)
        return {};
    qsizetype at = 0;
    while ((at = value.indexOf(';', at)) >= 0) {
        ++at;
        while (at < value.size() && (value[at] == ' ' || value[at] == '\t'))
            ++at;
        if (value.size() - at < 9 || qstrnicmp(value.data() + at, "boundary", 8) != 0)
            continue;
        qsizetype p = at + 8;
        while (p < value.size() && (value[p] == ' ' || value[p] == '\t'))
            ++p;
        if (p >= value.size() || value[p] != '=')
            continue;
        ++p;
        while (p < value.size() && (value[p] == ' ' || value[p] == '\t'))
            ++p;
        if (p < value.size() && value[p] == '"') {
            const qsizetype close = value.indexOf('"', p + 1);
            return close < 0 ? QByteArray() : value.sliced(p + 1, close - p - 1).toByteArray();
        }
        qsizetype end = p;
        while (end < value.size() && value[end] != ';' && value[end] != ' ' && value[end] != '\t')
            ++end;
        return value.sliced(p, end - p).toByteArray();
    }
    return {};
}

} // namespace

void MboxHeaderFacts::addLine(QByteArrayView line)
{
    if (!line.isEmpty() && (line[0] == ' ' || line[0] == '\t')) {
        if (m_field != Field::Other && m_value.size() < kLongestValue)
            m_value.append(line.data(), line.size());
        return;
    }
    takeField();
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0)
        return;
    const QByteArrayView name = Trimmed(line.first(colon));
    if (name.compare("Content-Length", Qt::CaseInsensitive) == 0 && !m_seenContentLength)
        m_field = Field::ContentLength;
    else if (name.compare("X-Mozilla-Status", Qt::CaseInsensitive) == 0 && !m_seenStatus)
        m_field = Field::MozillaStatus;
    else if (name.compare("Content-Type", Qt::CaseInsensitive) == 0 && !m_seenContentType)
        m_field = Field::ContentType;
    else
        return;
    const QByteArrayView value = line.sliced(colon + 1);
    m_value.clear();
    m_value.append(value.data(), std::min(value.size(), kLongestValue));
}

void MboxHeaderFacts::finish()
{
    takeField();
}

void MboxHeaderFacts::takeField()
{
    const QByteArrayView value = Trimmed(m_value);
    bool ok = false;
    switch (m_field) {
    case Field::Other:
        return;
    case Field::ContentLength: {
        m_seenContentLength = true;
        const qint64 length = value.toLongLong(&ok);
        const bool digitsOnly = !value.isEmpty() && value[0] >= '0' && value[0] <= '9';
        m_contentLength = ok && digitsOnly && length >= 0 ? length : -1;
        break;
    }
    case Field::MozillaStatus: {
        m_seenStatus = true;
        const uint flags = value.toUInt(&ok, 16);
        m_expunged = ok && (flags & kMozillaExpunged);
        break;
    }
    case Field::ContentType:
        m_seenContentType = true;
        m_boundary = BoundaryOf(value);
        break;
    }
    m_field = Field::Other;
    m_value.clear();
}

} // namespace larkspan::mbox
