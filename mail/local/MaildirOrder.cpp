#include "mail/local/MaildirOrder.h"

namespace larkspan::maildir {

namespace {

// The seconds the name begins with; -1 when it does not begin with digits and a '.'.
qint64 DeliverySeconds(const QString &name)
{
    qint64 seconds = 0;
    qsizetype i = 0;
    for (; i < name.size() && i < 18 && name[i].isDigit(); ++i)
        seconds = seconds * 10 + name[i].digitValue();
    return i > 0 && i < name.size() && name[i] == QLatin1Char('.') ? seconds : -1;
}

// Runs of ASCII digits compare by their value, everything else by code unit.
int CompareNatural(const QString &a, const QString &b)
{
    auto isDigit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            while (i < a.size() && a[i] == QLatin1Char('0') && i + 1 < a.size() && isDigit(a[i + 1]))
                ++i;
            while (j < b.size() && b[j] == QLatin1Char('0') && j + 1 < b.size() && isDigit(b[j + 1]))
                ++j;
            qsizetype endA = i, endB = j;
            while (endA < a.size() && isDigit(a[endA]))
                ++endA;
            while (endB < b.size() && isDigit(b[endB]))
                ++endB;
            if (endA - i != endB - j)
                return endA - i < endB - j ? -1 : 1;
            const int order = QStringView(a).mid(i, endA - i).compare(QStringView(b).mid(j, endB - j));
            if (order != 0)
                return order;
            i = endA;
            j = endB;
            continue;
        }
        if (a[i] != b[j])
            return a[i] < b[j] ? -1 : 1;
        ++i;
        ++j;
    }
    return (i < a.size()) - (j < b.size());
}

} // namespace

QString UniquePart(const QString &fileName)
{
    const qsizetype colon = fileName.indexOf(QLatin1Char(':'));
    return colon < 0 ? fileName : fileName.left(colon);
}

bool DeliveredBefore(const QString &a, const QString &b)
{
    const qint64 timeA = DeliverySeconds(a);
    const qint64 timeB = DeliverySeconds(b);
    if ((timeA < 0) != (timeB < 0))
        return timeB < 0;
    if (timeA != timeB)
        return timeA < timeB;
    const int order = CompareNatural(UniquePart(a), UniquePart(b));
    if (order != 0)
        return order < 0;
    return a < b;
}

} // namespace larkspan::maildir
