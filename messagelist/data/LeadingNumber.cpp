#include "messagelist/data/LeadingNumber.h"

namespace larkspan {

double LeadingNumber(const QString &text)
{
    const qsizetype size = text.size();
    qsizetype i = 0;
    auto at = [&](qsizetype k) { return k < size ? text.at(k).unicode() : char16_t(0); };
    auto isDigit = [](char16_t c) { return c >= u'0' && c <= u'9'; };

    while (at(i) == u' ' || at(i) == u'\t')
        ++i;
    const qsizetype start = i;
    if (at(i) == u'+' || at(i) == u'-')
        ++i;
    qsizetype digits = 0;
    while (isDigit(at(i))) {
        ++i;
        ++digits;
    }
    if (at(i) == u'.') {
        ++i;
        while (isDigit(at(i))) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return 0;
    qsizetype end = i;
    // An exponent counts only when digits follow it ("1e" is 1, "1e3" is 1000).
    if (at(i) == u'e' || at(i) == u'E') {
        qsizetype k = i + 1;
        if (at(k) == u'+' || at(k) == u'-')
            ++k;
        if (isDigit(at(k))) {
            while (isDigit(at(k)))
                ++k;
            end = k;
        }
    }
    bool ok = false;
    QString number = text.mid(start, end - start);
    if (number.endsWith(u'.'))
        number.chop(1);
    const double value = number.toDouble(&ok);
    return ok ? value : 0;
}

} // namespace larkspan
