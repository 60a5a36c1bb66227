#pragma once

#include <QByteArray>

namespace larkspan::bench {

// A MIME part's base64 body: lines of 76 characters, each ended by CRLF.
inline QByteArray Base64Lines(const QByteArray &data)
{
    const QByteArray encoded = data.toBase64();
    QByteArray out;
    out.reserve(encoded.size() + encoded.size() / 76 * 2 + 2);
    for (qsizetype at = 0; at < encoded.size(); at += 76)
        out += encoded.mid(at, 76) + "\r\n";
    return out;
}

} // namespace larkspan::bench
