#include "mail/MailMessage.h"

#include "mail/Charset.h"
#include "mail/HeaderText.h"
#include "mail/OleDate.h"
#include "platform/core/Logging.h"

#include <QDateTime>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QTimeZone>
#include <QUrl>

// GLib uses "signals" as a name, which Qt defines as a keyword.
#pragma push_macro("signals")
#undef signals
#include <gmime/gmime.h>
#pragma pop_macro("signals")

#include <algorithm>
#include <cctype>
#include <cstring>
#include <limits>
#include <mutex>

namespace larkspan {

namespace {

void InitGMime()
{
    static std::once_flag once;
    std::call_once(once, [] { g_mime_init(); });
}

// The raw value of a message header (folded, encoded words as sent); empty when absent.
QByteArray RawHeader(GMimeObject *object, const char *name)
{
    GMimeHeaderList *headers = g_mime_object_get_header_list(object);
    GMimeHeader *header = headers ? g_mime_header_list_get_header(headers, name) : nullptr;
    const char *raw = header ? g_mime_header_get_raw_value(header) : nullptr;
    return raw ? QByteArray(raw) : QByteArray();
}

// The content written out through GMime's stream filters, for encodings read no other way.
QByteArray FilteredContent(GMimeDataWrapper *content)
{
    GMimeStream *stream = g_mime_stream_mem_new();
    g_mime_data_wrapper_write_to_stream(content, stream);
    GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    QByteArray out(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
    g_object_unref(stream);
    return out;
}

// A part's content with its transfer encoding undone. The content is read once at its
// known length and decoded in one step: the stream filters' objects and growing buffers
// cost more than the decoding itself on a message of a few kilobytes.
QByteArray DecodedContent(GMimePart *part)
{
    GMimeDataWrapper *content = g_mime_part_get_content(part);
    if (!content)
        return {};
    const GMimeContentEncoding encoding = g_mime_data_wrapper_get_encoding(content);
    const bool asIs = encoding == GMIME_CONTENT_ENCODING_DEFAULT || encoding == GMIME_CONTENT_ENCODING_7BIT ||
                      encoding == GMIME_CONTENT_ENCODING_8BIT || encoding == GMIME_CONTENT_ENCODING_BINARY;
    const bool decodedInOneStep =
        encoding == GMIME_CONTENT_ENCODING_BASE64 || encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    GMimeStream *source = g_mime_data_wrapper_get_stream(content);
    const gint64 length = source ? g_mime_stream_length(source) : -1;
    if ((!asIs && !decodedInOneStep) || length < 0 || length > std::numeric_limits<int>::max() / 2 ||
        g_mime_stream_reset(source) != 0)
        return FilteredContent(content);

    QByteArray raw(qsizetype(length), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < raw.size()) {
        const ssize_t n = g_mime_stream_read(source, raw.data() + got, size_t(raw.size() - got));
        if (n <= 0)
            break;
        got += n;
    }
    if (got != raw.size())
        return FilteredContent(content);
    if (asIs)
        return raw;
    GMimeEncoding decoder;
    g_mime_encoding_init_decode(&decoder, encoding);
    QByteArray out(qsizetype(g_mime_encoding_outlen(&decoder, size_t(raw.size()))), Qt::Uninitialized);
    out.truncate(qsizetype(g_mime_encoding_step(&decoder, raw.constData(), size_t(raw.size()), out.data())));
    // The decoder holds back an escape cut short by the end of the part (state 2: "=" and
    // one character read, the character in the low byte of save); it is kept as
    // sent, not dropped. A lone "=" at the end is a soft line break and stays dropped.
    const char held = char(decoder.save & 0xff);
    if (encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE && decoder.state == 2 && held != '\r' && held != '\n')
        out.append('=').append(held);
    return out;
}

QString PartText(GMimePart *part)
{
    // UTF-8 and ASCII need no conversion filter: decode the transfer encoding only.
    const char *charset = g_mime_object_get_content_type_parameter(GMIME_OBJECT(part), "charset");
    const bool utf8 = !charset || g_ascii_strcasecmp(charset, "utf-8") == 0 ||
                      g_ascii_strcasecmp(charset, "us-ascii") == 0 || g_ascii_strcasecmp(charset, "utf8") == 0;
    if (GMIME_IS_TEXT_PART(part) && !utf8) {
        if (char *text = g_mime_text_part_get_text(GMIME_TEXT_PART(part))) {
            const QString out = mime::TextFromLooseUtf8(text);
            g_free(text);
            return out;
        }
        return QString();
    }
    return mime::TextFromLooseUtf8(DecodedContent(part));
}

bool IsAttachment(GMimeObject *object)
{
    const char *disposition = g_mime_object_get_disposition(object);
    return disposition && g_ascii_strcasecmp(disposition, "attachment") == 0;
}

// The file name a part was given: Content-Disposition's filename, else Content-Type's
// name, with RFC 2231 and RFC 2047 decoded. Adjacent encoded words are joined first so
// that GMime's parameter decoder sees whole words.
QString GivenFileName(GMimeObject *object)
{
    struct Source {
        const char *header;
        const char *parameter;
    };
    for (const Source source : {Source{"Content-Disposition", "filename"}, Source{"Content-Type", "name"}}) {
        const QByteArray raw = mime::NormaliseEncodedWords(RawHeader(object, source.header));
        if (raw.isEmpty())
            continue;
        QString value;
        if (qstrcmp(source.header, "Content-Disposition") == 0) {
            if (GMimeContentDisposition *disposition = g_mime_content_disposition_parse(nullptr, raw.constData())) {
                value = mime::TextFromLooseUtf8(g_mime_content_disposition_get_parameter(disposition, source.parameter));
                g_object_unref(disposition);
            }
        } else if (GMimeContentType *type = g_mime_content_type_parse(nullptr, raw.constData())) {
            value = mime::TextFromLooseUtf8(g_mime_content_type_get_parameter(type, source.parameter));
            g_object_unref(type);
        }
        if (value.contains(QLatin1String("=?")))
            value = mime::DecodeHeaderText(value.toUtf8());
        value = mime::SafeFileName(mime::OneLine(value));
        if (!value.isEmpty())
            return value;
    }
    return QString();
}

// The message inside a message/rfc822 part, as it is written in the outer message:
// GMime keeps its headers and body as read, but writes line ends its own way.
QByteArray AttachedMessageBytes(GMimeMessagePart *part, bool crlf)
{
    GMimeMessage *inner = g_mime_message_part_get_message(part);
    if (!inner)
        return {};
    GMimeFormatOptions *options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, crlf ? GMIME_NEWLINE_FORMAT_DOS : GMIME_NEWLINE_FORMAT_UNIX);
    GMimeStream *stream = g_mime_stream_mem_new();
    g_mime_object_write_to_stream(GMIME_OBJECT(inner), options, stream);
    g_mime_format_options_free(options);
    GByteArray *bytes = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream));
    QByteArray out(reinterpret_cast<const char *>(bytes->data), qsizetype(bytes->len));
    g_object_unref(stream);
    return out;
}

void AppendAddresses(InternetAddressList *list, QStringList &out, int depth = 0)
{
    if (!list || depth > 4)
        return;
    for (int i = 0; i < internet_address_list_length(list); ++i) {
        InternetAddress *address = internet_address_list_get_address(list, i);
        if (INTERNET_ADDRESS_IS_GROUP(address)) {
            AppendAddresses(internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address)), out, depth + 1);
        } else if (INTERNET_ADDRESS_IS_MAILBOX(address)) {
            const QString name = mime::OneLine(mime::TextFromLooseUtf8(internet_address_get_name(address)));
            const QString addr =
                mime::TextFromLooseUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
            out << (name.isEmpty() ? addr : name + QStringLiteral(" <") + addr + QLatin1Char('>'));
        }
    }
}

// A recipient header's addresses as one line; empty when the header is absent.
QString AddressListText(const QByteArray &header)
{
    const QByteArray raw = mime::NormaliseEncodedWords(header);
    if (raw.trimmed().isEmpty())
        return QString();
    QStringList out;
    if (InternetAddressList *list = internet_address_list_parse(nullptr, raw.constData())) {
        AppendAddresses(list, out);
        g_object_unref(list);
    }
    return out.join(QStringLiteral(", "));
}

// RFC 2045 §5.2: a Content-Type that is not "type/subtype" is read as text/plain; GMime
// makes such a part application/octet-stream, and its text would be lost as an attachment.
bool HasInvalidContentType(GMimeObject *object)
{
    const QByteArray raw = RawHeader(object, "Content-Type");
    if (raw.isNull())
        return false; // absent: GMime gives the default, text/plain
    auto isTokenChar = [](char c) {
        return c > 32 && c < 127 && !std::strchr("()<>@,;:\\\"/[]?=", c);
    };
    auto skipSpace = [&](qsizetype at) {
        while (at < raw.size() && (raw[at] == ' ' || raw[at] == '\t' || raw[at] == '\r' || raw[at] == '\n'))
            ++at;
        return at;
    };
    qsizetype at = skipSpace(0);
    const qsizetype typeStart = at;
    while (at < raw.size() && isTokenChar(raw[at]))
        ++at;
    if (at == typeStart)
        return true;
    at = skipSpace(at);
    if (at >= raw.size() || raw[at] != '/')
        return true;
    at = skipSpace(at + 1);
    const qsizetype subtypeStart = at;
    while (at < raw.size() && isTokenChar(raw[at]))
        ++at;
    if (at == subtypeStart)
        return true;
    at = skipSpace(at);
    return at < raw.size() && raw[at] != ';' && raw[at] != '(';
}

// RFC 5322 §4.3: the obsolete zone names (UT, GMT, EST ... PDT) are case-insensitive, but
// GMime knows them in capitals only and reads "12:24:23 cst" as UTC. The names are put
// in capitals before GMime reads the date; nothing when the date has none in small letters.
QByteArray WithZoneNamesInCapitals(const QByteArray &date)
{
    static const char *const zones[] = {"ut", "gmt", "est", "edt", "cst", "cdt", "mst", "mdt", "pst", "pdt"};
    QByteArray out;
    qsizetype at = 0;
    while (at < date.size()) {
        while (at < date.size() && !std::isalpha(uchar(date[at])))
            ++at;
        qsizetype end = at;
        while (end < date.size() && std::isalpha(uchar(date[end])))
            ++end;
        const QByteArrayView word = QByteArrayView(date).sliced(at, end - at);
        const bool bounded = (at == 0 || date[at - 1] == ' ' || date[at - 1] == '\t') &&
                             (end == date.size() || date[end] == ' ' || date[end] == '\t' || date[end] == '\r' ||
                              date[end] == '\n');
        const bool small = std::any_of(word.begin(), word.end(), [](char c) { return c >= 'a' && c <= 'z'; });
        if (bounded && small) {
            for (const char *zone : zones) {
                if (word.compare(QByteArrayView(zone), Qt::CaseInsensitive) == 0) {
                    if (out.isNull())
                        out = date;
                    for (qsizetype i = at; i < end; ++i)
                        out[i] = char(std::toupper(uchar(out[i])));
                }
            }
        }
        at = end;
    }
    return out;
}

// The Date header as a date-time; invalid when there is none that can be read.
QDateTime MessageDate(GMimeMessage *message)
{
    GMimeHeaderList *headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    GMimeHeader *header = headers ? g_mime_header_list_get_header(headers, "Date") : nullptr;
    const char *value = header ? g_mime_header_get_value(header) : nullptr;
    const QByteArray capitals = value ? WithZoneNamesInCapitals(QByteArray(value)) : QByteArray();
    if (!capitals.isNull()) {
        GDateTime *date = g_mime_utils_header_decode_date(capitals.constData());
        if (!date)
            return {};
        const QDateTime when = QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date)).toLocalTime();
        g_date_time_unref(date);
        return when;
    }
    if (GDateTime *date = g_mime_message_get_date(message))
        return QDateTime::fromSecsSinceEpoch(g_date_time_to_unix(date)).toLocalTime();
    return {};
}

struct InlinePart {
    QByteArray mimeType;
    GMimePart *part = nullptr;
};

} // namespace

struct MessageReader {
    MessageReader(MailMessage &target, MailMessage::Attachments mode)
        : message(target), attachments(mode), crlf(target.m_raw.contains("\r\n"))
    {
    }
    MailMessage &message;
    MailMessage::Attachments attachments;
    bool crlf;
    bool havePlain = false;
    bool haveHtml = false;
    QHash<QString, InlinePart> byContentId;
    QSet<QString> shownContentIds; // pictures the HTML body shows
    // Parts that are not body texts, in order, with the content id of a picture.
    QList<QPair<GMimeObject *, QString>> notBodies;
    int depth = 0;

    void walk(GMimeObject *object)
    {
        if (!object || depth > 64)
            return;
        if (GMIME_IS_MULTIPART(object)) {
            GMimeMultipart *multipart = GMIME_MULTIPART(object);
            const int count = g_mime_multipart_get_count(multipart);
            ++depth;
            for (int i = 0; i < count; ++i)
                walk(g_mime_multipart_get_part(multipart, i));
            --depth;
            return;
        }
        // An attached message is an attachment of this one, not its body.
        if (GMIME_IS_MESSAGE_PART(object)) {
            notBodies.append({object, QString()});
            return;
        }
        if (!GMIME_IS_PART(object))
            return;
        GMimePart *part = GMIME_PART(object);
        GMimeContentType *type = g_mime_object_get_content_type(object);
        const bool invalidType = HasInvalidContentType(object);
        const char *mediaType = type ? g_mime_content_type_get_media_type(type) : nullptr;
        const char *subType = invalidType ? "plain" : type ? g_mime_content_type_get_media_subtype(type) : nullptr;
        const bool text = invalidType || (mediaType && g_ascii_strcasecmp(mediaType, "text") == 0);

        QString pictureId;
        if (const char *cid = g_mime_object_get_content_id(object)) {
            if (!text && type) {
                char *mime = g_mime_content_type_get_mime_type(type);
                pictureId = QString::fromUtf8(cid);
                byContentId.insert(pictureId, InlinePart{QByteArray(mime ? mime : "application/octet-stream"), part});
                g_free(mime);
            }
        }
        if (text && !IsAttachment(object) && subType) {
            if (!havePlain && g_ascii_strcasecmp(subType, "plain") == 0) {
                message.m_plain = PartText(part);
                havePlain = true;
                return;
            }
            if (!haveHtml && g_ascii_strcasecmp(subType, "html") == 0) {
                message.m_html = PartText(part);
                haveHtml = true;
                return;
            }
        }
        notBodies.append({object, pictureId});
    }

    // Every part that is neither a body text nor a picture the HTML shows.
    void collectAttachments()
    {
        if (attachments == MailMessage::Attachments::Skip)
            return;
        for (const auto &[object, pictureId] : std::as_const(notBodies)) {
            if (!pictureId.isEmpty() && shownContentIds.contains(pictureId))
                continue;
            MailAttachment attachment;
            GMimeContentType *type = g_mime_object_get_content_type(object);
            char *mime = type ? g_mime_content_type_get_mime_type(type) : nullptr;
            attachment.mimeType = QString::fromLatin1(mime ? mime : "application/octet-stream").toLower();
            g_free(mime);
            if (const char *charset = type ? g_mime_content_type_get_parameter(type, "charset") : nullptr)
                attachment.charset = QByteArray(charset).trimmed();
            attachment.content = GMIME_IS_MESSAGE_PART(object) ? AttachedMessageBytes(GMIME_MESSAGE_PART(object), crlf)
                                                               : DecodedContent(GMIME_PART(object));
            attachment.size = attachment.content.size();
            if (attachments != MailMessage::Attachments::WithContents)
                attachment.content.clear();
            attachment.fileName = GivenFileName(object);
            if (attachment.fileName.isEmpty())
                attachment.fileName =
                    mime::FallbackAttachmentName(int(message.m_attachments.size()) + 1, attachment.mimeType);
            message.m_attachments.append(attachment);
        }
        mime::MakeNamesUnique(message.m_attachments);
    }

    // cid:<content-id> references become data: URLs of the parts they name.
    void inlineImages()
    {
        if (byContentId.isEmpty() || !message.m_html.contains(QLatin1String("cid:"), Qt::CaseInsensitive))
            return;
        static const QRegularExpression reference(QStringLiteral("cid:([^\"'\\s>)]+)"),
                                                  QRegularExpression::CaseInsensitiveOption);
        QString out;
        qsizetype last = 0;
        auto it = reference.globalMatch(message.m_html);
        QHash<QString, QString> urls;
        while (it.hasNext()) {
            const auto match = it.next();
            const QString id = QUrl::fromPercentEncoding(match.captured(1).toUtf8());
            auto found = byContentId.constFind(id);
            if (found == byContentId.constEnd())
                continue;
            shownContentIds.insert(id);
            auto url = urls.constFind(id);
            if (url == urls.constEnd()) {
                const QByteArray data = DecodedContent(found->part);
                url = urls.insert(id, QStringLiteral("data:") + QString::fromLatin1(found->mimeType) +
                                          QStringLiteral(";base64,") + QString::fromLatin1(data.toBase64()));
            }
            out.append(QStringView(message.m_html).mid(last, match.capturedStart() - last));
            out.append(*url);
            last = match.capturedEnd();
        }
        if (last == 0)
            return;
        out.append(QStringView(message.m_html).mid(last));
        message.m_html = out;
    }
};

QDateTime MailMessage::parseInternalDate(const QByteArray &text)
{
    // date-time = DQUOTE date-day-fixed "-" date-month "-" date-year SP time SP zone DQUOTE
    static const QRegularExpression form(
        QStringLiteral("^\\s*(\\d{1,2})-([A-Za-z]{3})-(\\d{4}) (\\d{2}):(\\d{2}):(\\d{2}) ([+-])(\\d{2})(\\d{2})\\s*$"));
    const auto match = form.match(QString::fromLatin1(text));
    if (!match.hasMatch())
        return {};
    static const QStringList months = {"jan", "feb", "mar", "apr", "may", "jun",
                                       "jul", "aug", "sep", "oct", "nov", "dec"};
    const int month = int(months.indexOf(match.captured(2).toLower())) + 1;
    const QDate date(match.captured(3).toInt(), month, match.captured(1).toInt());
    const QTime time(match.captured(4).toInt(), match.captured(5).toInt(), match.captured(6).toInt());
    if (month < 1 || !date.isValid() || !time.isValid())
        return {};
    int offset = match.captured(8).toInt() * 3600 + match.captured(9).toInt() * 60;
    if (match.captured(7) == QLatin1String("-"))
        offset = -offset;
    return QDateTime(date, time, QTimeZone(offset)).toLocalTime();
}

QString MailMessage::toText() const
{
    return AddressListText(m_toHeader);
}

QString MailMessage::ccText() const
{
    return AddressListText(m_ccHeader);
}

std::unique_ptr<MailMessage> MailMessage::fromBytes(const QByteArray &raw, const QByteArray &internalDate,
                                                    Attachments attachments)
{
    InitGMime();
    std::unique_ptr<MailMessage> message(new MailMessage);
    message->m_raw = raw;

    // The memory stream copies the octets, so the message does not depend on raw.
    GMimeStream *stream = g_mime_stream_mem_new_with_buffer(raw.constData(), size_t(raw.size()));
    GMimeParser *parser = g_mime_parser_new_with_stream(stream);
    g_mime_parser_set_format(parser, GMIME_FORMAT_MESSAGE);
    GMimeMessage *parsed = g_mime_parser_construct_message(parser, nullptr);
    g_object_unref(parser);
    g_object_unref(stream);

    QDateTime when;
    if (!parsed)
        qCDebug(lcMime) << "a message of" << raw.size() << "bytes could not be read at all";
    if (parsed) {
        // Names and the subject go through our own decoder: GMime's joins adjacent
        // encoded words before decoding them, which cuts a split subject short.
        const QByteArray fromHeader = mime::NormaliseEncodedWords(RawHeader(GMIME_OBJECT(parsed), "From"));
        if (InternetAddressList *from = internet_address_list_parse(nullptr, fromHeader.constData())) {
            InternetAddress *address = internet_address_list_length(from) > 0
                                           ? internet_address_list_get_address(from, 0)
                                           : nullptr;
            // A group names its members; the first member is the sender.
            if (address && INTERNET_ADDRESS_IS_GROUP(address)) {
                InternetAddressList *members = internet_address_group_get_members(INTERNET_ADDRESS_GROUP(address));
                address = members && internet_address_list_length(members) > 0
                              ? internet_address_list_get_address(members, 0)
                              : nullptr;
            }
            if (address && INTERNET_ADDRESS_IS_MAILBOX(address)) {
                message->m_fromName = mime::OneLine(mime::TextFromLooseUtf8(internet_address_get_name(address)));
                message->m_fromAddress =
                    mime::TextFromLooseUtf8(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(address)));
                message->m_from = message->m_fromName.isEmpty()
                                      ? message->m_fromAddress
                                      : message->m_fromName + QStringLiteral(" <") + message->m_fromAddress +
                                            QLatin1Char('>');
            }
            g_object_unref(from);
        }
        message->m_subject = mime::DecodeHeaderText(RawHeader(GMIME_OBJECT(parsed), "Subject"));
        when = MessageDate(parsed);

        message->m_toHeader = RawHeader(GMIME_OBJECT(parsed), "To");
        message->m_ccHeader = RawHeader(GMIME_OBJECT(parsed), "Cc");
        if (const char *id = g_mime_message_get_message_id(parsed))
            message->m_messageId = QLatin1Char('<') + mime::TextFromLooseUtf8(id) + QLatin1Char('>');

        MessageReader reader(*message, attachments);
        reader.walk(g_mime_message_get_mime_part(parsed));
        reader.inlineImages();
        reader.collectAttachments();
        g_object_unref(parsed);
    }
    if (!when.isValid() && !internalDate.isEmpty())
        when = parseInternalDate(internalDate);
    if (when.isValid())
        message->m_date = ToOleDate(when);
    return message;
}

} // namespace larkspan
