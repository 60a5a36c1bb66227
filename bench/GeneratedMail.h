#pragma once

// Made-up mail for the benchmarks: random octets, words in a charset, quoted-printable,
// a text part.

#include "Base64Lines.h"

#include <QByteArray>
#include <QList>
#include <QRandomGenerator>

namespace larkspan::bench {

// size random octets.
inline QByteArray RandomBytes(QRandomGenerator &random, int size)
{
    QByteArray bytes((size + 3) / 4 * 4, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(bytes.data()), bytes.size() / 4);
    bytes.truncate(size);
    return bytes;
}

inline QByteArray Words(QRandomGenerator &random, int size, int charset)
{
    static const QList<QByteArray> utf8 = {"Grüße", "naïve", "café", "€100", "Zürich", "déjà", "mañana", "quarterly",
                                           "report", "figures", "meeting", "the", "and", "of", "minutes"};
    static const QList<QByteArray> latin = {"Gr\xfc\xdf" "e", "na\xefve", "caf\xe9", "Z\xfcrich", "d\xe9j\xe0",
                                            "ma\xf1" "ana", "quarterly", "report", "the", "and", "of", "minutes"};
    const QList<QByteArray> &pool = charset == 0 ? utf8 : latin;
    QByteArray text;
    text.reserve(size + 80);
    int line = 0;
    while (text.size() < size) {
        const QByteArray &word = pool[int(random.bounded(quint32(pool.size())))];
        text += word;
        line += int(word.size()) + 1;
        if (line > 70) {
            text += "\r\n";
            line = 0;
        } else {
            text += ' ';
        }
    }
    return text;
}

inline QByteArray QuotedPrintable(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() * 5 / 4);
    int column = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const uchar c = uchar(text[i]);
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += "\r\n";
            ++i;
            column = 0;
            continue;
        }
        const bool plain = (c >= 33 && c <= 126 && c != '=') || c == ' ';
        const int width = plain ? 1 : 3;
        if (column + width > 75) {
            out += "=\r\n";
            column = 0;
        }
        if (plain) {
            out += char(c);
        } else {
            static const char hex[] = "0123456789ABCDEF";
            out += '=';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
        column += width;
    }
    return out;
}

inline QByteArray TextPart(QRandomGenerator &random, int n, const char *subtype, int size)
{
    static const char *const charsets[] = {"utf-8", "iso-8859-1", "windows-1252"};
    const int charset = n % 3;
    QByteArray text = Words(random, size, charset);
    if (QByteArray(subtype) == "html")
        text = "<html><body><p>" + text.replace("\r\n", "</p>\r\n<p>") + "</p>\r\n%PICTURES%</body></html>\r\n";
    const bool base64 = (n / 3) % 2 == 1;
    return "Content-Type: text/" + QByteArray(subtype) + "; charset=" + charsets[charset] +
           "\r\nContent-Transfer-Encoding: " + (base64 ? "base64" : "quoted-printable") + "\r\n\r\n" +
           (base64 ? Base64Lines(text) : QuotedPrintable(text) + "\r\n");
}

} // namespace larkspan::bench
