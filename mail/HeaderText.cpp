#include "mail/HeaderText.h"

#include "mail/Charset.h"
#include "platform/core/Logging.h"

#include <QList>

#include <algorithm>
#include <optional>

namespace larkspan::mime {

namespace {

// One piece of a header value: plain octets, or an encoded word decoded to octets.
struct Piece {
    bool word = false;
    QByteArray charset; // words only, without an RFC 2231 language ("utf-8*en")
    QByteArray bytes;   // plain octets, or the word's decoded octets
};

bool IsSpace(char c)
{
    return c == ' ' || c == '\t';
}

int HexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

std::optional<QByteArray> DecodeB(QByteArray text)
{
    // Each word is padded (or not) on its own; padding is only ever at its end.
    while (text.endsWith('='))
        text.chop(1);
    if (text.size() % 4 == 1)
        return std::nullopt;
    text.append(QByteArray((4 - text.size() % 4) % 4, '='));
    auto decoded = QByteArray::fromBase64Encoding(text, QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return std::nullopt;
    return decoded.decoded;
}

QByteArray DecodeQ(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (c == '_') {
            out.append(' ');
        } else if (c == '=' && i + 2 < text.size() && HexValue(text.at(i + 1)) >= 0 && HexValue(text.at(i + 2)) >= 0) {
            out.append(char(HexValue(text.at(i + 1)) * 16 + HexValue(text.at(i + 2))));
            i += 2;
        } else {
            out.append(c); // a stray "=" stays as it is
        }
    }
    return out;
}

// The encoded word starting at raw[at] ("=?charset?B|Q?text?="), decoded; *end is set
// past it. Nothing when there is no well-formed word there.
std::optional<Piece> EncodedWordAt(const QByteArray &raw, qsizetype at, qsizetype *end)
{
    if (!raw.mid(at).startsWith("=?"))
        return std::nullopt;
    const qsizetype charsetEnd = raw.indexOf('?', at + 2);
    if (charsetEnd < 0 || charsetEnd == at + 2 || charsetEnd + 2 >= raw.size() || raw.at(charsetEnd + 2) != '?')
        return std::nullopt;
    QByteArray charset = raw.mid(at + 2, charsetEnd - at - 2);
    if (charset.contains(' ') || charset.contains('\t'))
        return std::nullopt;
    const char encoding = char(raw.at(charsetEnd + 1) | 0x20);
    if (encoding != 'b' && encoding != 'q')
        return std::nullopt;
    const qsizetype textStart = charsetEnd + 3;
    const qsizetype close = raw.indexOf("?=", textStart);
    if (close < 0)
        return std::nullopt;
    const QByteArray text = raw.mid(textStart, close - textStart);
    if (text.contains('?'))
        return std::nullopt;
    std::optional<QByteArray> bytes = encoding == 'b' ? DecodeB(text) : std::optional<QByteArray>(DecodeQ(text));
    if (!bytes) {
        qCDebug(lcMime) << "encoded word kept as written:" << raw.mid(at, close + 2 - at);
        return std::nullopt;
    }
    if (const qsizetype star = charset.indexOf('*'); star >= 0)
        charset.truncate(star);
    *end = close + 2;
    return Piece{true, charset.toLower(), *bytes};
}

// Folding removed: a header value is one line.
QByteArray Unfolded(const QByteArray &raw)
{
    QByteArray out;
    out.reserve(raw.size());
    for (char c : raw)
        if (c != '\r' && c != '\n')
            out.append(c);
    return out;
}

QList<Piece> Split(const QByteArray &raw)
{
    QList<Piece> pieces;
    auto appendPlain = [&pieces](char c) {
        if (pieces.isEmpty() || pieces.last().word)
            pieces.append(Piece{});
        pieces.last().bytes.append(c);
    };
    for (qsizetype i = 0; i < raw.size();) {
        qsizetype end = 0;
        if (raw.at(i) == '=') {
            if (std::optional<Piece> word = EncodedWordAt(raw, i, &end)) {
                // White space between two words belongs to neither.
                if (pieces.size() >= 2 && pieces.last().bytes.size() > 0 && !pieces.last().word &&
                    pieces.at(pieces.size() - 2).word &&
                    std::all_of(pieces.last().bytes.begin(), pieces.last().bytes.end(), IsSpace))
                    pieces.removeLast();
                pieces.append(std::move(*word));
                i = end;
                continue;
            }
        }
        appendPlain(raw.at(i));
        ++i;
    }
    return pieces;
}

// Consecutive words of one charset give their octets to one conversion.
template <typename OnText>
void ForEachText(const QList<Piece> &pieces, OnText onText)
{
    for (qsizetype i = 0; i < pieces.size();) {
        const Piece &piece = pieces[i];
        if (!piece.word) {
            onText(false, TextFromLooseUtf8(piece.bytes), i + 1 < pieces.size() && pieces[i + 1].word);
            ++i;
            continue;
        }
        QByteArray joined;
        qsizetype j = i;
        while (j < pieces.size() && pieces[j].word && pieces[j].charset == piece.charset)
            joined += pieces[j++].bytes;
        onText(true, TextFromCharset(joined, piece.charset), j < pieces.size() && pieces[j].word);
        i = j;
    }
}

} // namespace

QString OneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    return text.trimmed();
}

QString DecodeHeaderText(const QByteArray &raw)
{
    QString out;
    ForEachText(Split(Unfolded(raw)), [&out](bool, const QString &text, bool) { out += text; });
    return OneLine(out);
}

QByteArray NormaliseEncodedWords(const QByteArray &raw)
{
    QByteArray out;
    QString run;
    ForEachText(Split(Unfolded(raw)), [&](bool word, const QString &text, bool wordFollows) {
        if (!word) {
            out += text.toUtf8();
            return;
        }
        run += text;
        if (wordFollows)
            return;
        out += "=?UTF-8?B?" + run.toUtf8().toBase64() + "?=";
        run.clear();
    });
    return out;
}

} // namespace larkspan::mime
