#include "mail/Charset.h"

#include "platform/core/Logging.h"

#include <QStringDecoder>

// GLib uses "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

#include <mutex>

namespace larkspan::mime {

namespace {

QString Convert(QByteArrayView bytes, const char *from)
{
    gsize written = 0;
    char *converted = g_convert(bytes.data(), gssize(bytes.size()), "UTF-8", from, nullptr, &written, nullptr);
    if (!converted)
        return QString();
    QString out = QString::fromUtf8(converted, qsizetype(written));
    g_free(converted);
    return out.isNull() ? QString(QLatin1String("")) : out;
}

bool IsUtf8Name(QByteArrayView name)
{
    return name.isEmpty() || name.compare("utf-8", Qt::CaseInsensitive) == 0 ||
           name.compare("utf8", Qt::CaseInsensitive) == 0 || name.compare("us-ascii", Qt::CaseInsensitive) == 0;
}

} // namespace

QString TextFromLooseUtf8(QByteArrayView bytes)
{
    if (bytes.isEmpty())
        return QString();
    // One pass: decode, and look back only when the decoder met something that is not
    // UTF-8. A NUL byte is taken as a sign of another charset, as before.
    if (!bytes.contains('\0')) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringConverter::Flag::ConvertInitialBom);
        QString text = utf8.decode(bytes);
        if (!utf8.hasError())
            return text;
    }
    const QString converted = Convert(bytes, "WINDOWS-1252");
    return converted.isNull() ? QString::fromLatin1(bytes) : converted;
}

QString TextFromCharset(QByteArrayView bytes, QByteArrayView charset)
{
    if (IsUtf8Name(charset))
        return TextFromLooseUtf8(bytes);
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); }); // the charset aliases
    const QByteArray name = charset.toByteArray();
    // GMime knows the aliases mail uses ("latin1", "x-mac-roman", "ks_c_5601-1987").
    const QString converted = Convert(bytes, g_mime_charset_iconv_name(name.constData()));
    if (converted.isNull()) {
        qCDebug(lcMime) << "text in charset" << name << "could not be converted; read as UTF-8 or Windows-1252";
        return TextFromLooseUtf8(bytes);
    }
    return converted;
}

} // namespace larkspan::mime
