#include "mail/local/MboxFormat.h"

#include <QRegularExpression>
#include <QTimeZone>

#include <cstring>

namespace larkspan::mbox {

namespace {

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsMonthName(QByteArrayView word)
{
    static const char *const months[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                         "jul", "aug", "sep", "oct", "nov", "dec"};
    if (word.size() < 3 || word.size() > 9)
        return false;
    for (char c : word)
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z')))
            return false;
    for (const char *month : months)
        if (qstrnicmp(word.data(), month, 3) == 0)
            return true;
    return false;
}

// "h:mm", "hh:mm" or "hh:mm:ss".
bool IsTimeOfDay(QByteArrayView word)
{
    const qsizetype colon = word.indexOf(':');
    if (colon < 1 || colon > 2 || word.size() < colon + 3)
        return false;
    for (qsizetype i = 0; i < word.size(); ++i)
        if (i != colon && i != colon + 3 && !IsDigit(word[i]))
            return false;
    return word.size() == colon + 3 || (word.size() == colon + 6 && word[colon + 3] == ':');
}

bool IsYear(QByteArrayView word)
{
    return word.size() == 4 && IsDigit(word[0]) && IsDigit(word[1]) && IsDigit(word[2]) && IsDigit(word[3]);
}

} // namespace

bool IsFromLine(QByteArrayView line)
{
    if (!line.startsWith("From ") || line.size() > 1024)
        return false;
    // After the sender, the words of a date: a month's name, a time of day and a year.
    bool month = false, time = false, year = false;
    qsizetype at = 5;
    bool sender = true;
    while (at < line.size()) {
        while (at < line.size() && (line[at] == ' ' || line[at] == '\t' || line[at] == '\r'))
            ++at;
        qsizetype end = at;
        while (end < line.size() && line[end] != ' ' && line[end] != '\t' && line[end] != '\r')
            ++end;
        if (end == at)
            break;
        const QByteArrayView word = line.sliced(at, end - at);
        if (!sender) {
            month = month || IsMonthName(word);
            time = time || IsTimeOfDay(word);
            year = year || IsYear(word);
        }
        sender = false;
        at = end;
    }
    return month && time && year;
}

QDateTime FromLineDate(QByteArrayView line)
{
    // "Thu Jan  1 12:00:00 2026", "Mon Mar 02 10:00:00 +0000 2026", "Jan 1 12:00 PST 2026"
    static const QRegularExpression date(
        QStringLiteral("\\b(jan|feb|mar|apr|may|jun|jul|aug|sep|oct|nov|dec)[a-z]*\\s+(\\d{1,2})\\s+(\\d{1,2}):(\\d{2})"
                       "(?::(\\d{2}))?\\s+(?:([+-])(\\d{2})(\\d{2})\\s+|[a-z]{1,5}\\s+)?(\\d{4})\\b"),
        QRegularExpression::CaseInsensitiveOption);
    const auto match = date.match(QString::fromLatin1(line.data(), line.size()));
    if (!match.hasMatch())
        return {};
    static const QStringList months = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
    const int month = int(months.indexOf(match.captured(1).toLower())) + 1;
    const QDate day(match.captured(9).toInt(), month, match.captured(2).toInt());
    const QTime time(match.captured(3).toInt(), match.captured(4).toInt(), match.captured(5).toInt());
    if (!day.isValid() || !time.isValid())
        return {};
    int offset = 0;
    if (!match.captured(6).isEmpty()) {
        offset = match.captured(7).toInt() * 3600 + match.captured(8).toInt() * 60;
        if (match.captured(6) == QLatin1String("-"))
            offset = -offset;
    }
    return QDateTime(day, time, QTimeZone(offset)).toUTC();
}

QByteArray UndoMboxrdQuoting(const QByteArray &quoted)
{
    // Find ">From " and walk back over the '>' to see whether the line starts there.
    QByteArray out;
    const char *data = quoted.constData();
    const qsizetype size = quoted.size();
    qsizetype copiedTo = 0;
    qsizetype from = 0;
    while (from < size) {
        const void *hit = memmem(data + from, size_t(size - from), ">From ", 6);
        if (!hit)
            break;
        const qsizetype at = static_cast<const char *>(hit) - data;
        qsizetype lineStart = at;
        while (lineStart > 0 && data[lineStart - 1] == '>')
            --lineStart;
        if (lineStart == 0 || data[lineStart - 1] == '\n') {
            if (out.isEmpty())
                out.reserve(size);
            // Drop the first '>' of the line.
            out.append(data + copiedTo, lineStart - copiedTo);
            copiedTo = lineStart + 1;
        }
        from = at + 6;
    }
    if (copiedTo == 0)
        return quoted;
    out.append(data + copiedTo, size - copiedTo);
    return out;
}

} // namespace larkspan::mbox
