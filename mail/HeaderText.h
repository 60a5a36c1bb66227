#pragma once

#include <QByteArray>
#include <QString>

namespace larkspan::mime {

// The text of a header as its sender meant it, from the header's raw value (folded or
// not): every RFC 2047 encoded word decoded, B or Q, with or without padding. Adjacent
// words (only white space between them) are one text: the white space between them
// goes, and the octets of words that share a charset are joined before conversion, so
// that a character split across two words still comes out whole. White space between
// a word and plain text stays. Words glued to text or inside quotes are decoded too,
// as the common mail programs do. A word that cannot be decoded stays as written; a
// charset nobody knows falls back to UTF-8, then Windows-1252. The result is one line.
QString DecodeHeaderText(const QByteArray &raw);

// The raw value with every run of adjacent encoded words replaced by a single UTF-8
// word holding the same decoded text. Structure outside the words (quotes, commas,
// angle brackets) is untouched, so an address parser that decodes a lone word well
// gives the names DecodeHeaderText would.
QByteArray NormaliseEncodedWords(const QByteArray &raw);

// Line breaks become spaces and white space at both ends goes: a header text is one line.
QString OneLine(QString text);

} // namespace larkspan::mime
