#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace larkspan::mime {

// Text in a named charset to Unicode. UTF-8 and ASCII are read as UTF-8; any other
// name goes through the system's converters under its usual aliases. Octets that are
// not valid in the charset, or a charset nobody knows, fall back to TextFromLooseUtf8.
QString TextFromCharset(QByteArrayView bytes, QByteArrayView charset);

// Text that is meant to be UTF-8. Octets that are not valid UTF-8 are read as
// Windows-1252 rather than lost.
QString TextFromLooseUtf8(QByteArrayView bytes);

} // namespace larkspan::mime
