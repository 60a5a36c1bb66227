#include "export/pipeline/ShownAttachments.h"

#include "export/pipeline/CalendarInvitation.h"
#include "export/pipeline/MessagePage.h"
#include "mail/Charset.h"
#include "mail/MailMessage.h"
#include "mail/OleDate.h"

#include <QRegularExpression>
#include <QSize>
#include <QUtf8StringView>
#include <QtEndian>

#include <climits>
#include <cstdlib>

namespace larkspan {

namespace {

constexpr qint64 kMaxPicturePixels = 40'000'000;   // beyond this a picture is a decompression bomb
constexpr qsizetype kMaxShownTextBytes = 1024 * 1024; // a longer text is cut ...
constexpr int kMaxShownTextLines = 5000;           // ... as is one of more lines

enum class Kind { Picture, Text, Message, Calendar, Pdf, Other };

bool HasExtension(const QString &name, std::initializer_list<const char *> extensions)
{
    for (const char *extension : extensions)
        if (name.endsWith(QLatin1Char('.') + QLatin1String(extension), Qt::CaseInsensitive))
            return true;
    return false;
}

Kind KindOf(const MailAttachment &attachment)
{
    const QString &type = attachment.mimeType;
    const QString &name = attachment.fileName;
    if (type == QLatin1String("message/rfc822") || HasExtension(name, {"eml"}))
        return Kind::Message;
    if (type == QLatin1String("text/calendar") || type == QLatin1String("application/ics") || HasExtension(name, {"ics", "ical"}))
        return Kind::Calendar;
    if (type == QLatin1String("application/pdf") || HasExtension(name, {"pdf"}))
        return Kind::Pdf;
    static const QStringList pictures = {"image/jpeg", "image/jpg", "image/pjpeg", "image/png", "image/gif",
                                         "image/webp", "image/bmp", "image/x-bmp", "image/x-ms-bmp"};
    if (pictures.contains(type) || HasExtension(name, {"jpg", "jpeg", "png", "gif", "webp", "bmp"}))
        return Kind::Picture;
    if ((type.startsWith(QLatin1String("text/")) && type != QLatin1String("text/html")) ||
        HasExtension(name, {"txt", "log", "csv", "tsv", "md", "markdown"}))
        return Kind::Text;
    return Kind::Other;
}

QString Escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

// ---- pictures -------------------------------------------------------------------

// The format from the octets themselves, whatever the sender called it.
QByteArray PictureFormat(const QByteArray &data)
{
    if (data.startsWith("\xFF\xD8\xFF"))
        return "jpeg";
    if (data.startsWith("\x89PNG\r\n\x1A\n"))
        return "png";
    if (data.startsWith("GIF87a") || data.startsWith("GIF89a"))
        return "gif";
    if (data.size() >= 12 && data.startsWith("RIFF") && data.mid(8, 4) == "WEBP")
        return "webp";
    if (data.startsWith("BM"))
        return "bmp";
    return QByteArray();
}

// The file ends where its format says it ends: a picture cut short in the mail does not.
bool EndsWhole(const QByteArray &format, const QByteArray &data)
{
    const QByteArray tail = data.right(64);
    if (format == "jpeg")
        return tail.contains("\xFF\xD9");
    if (format == "png")
        return tail.contains("IEND");
    if (format == "gif") {
        QByteArray trimmed = data;
        while (trimmed.endsWith('\0'))
            trimmed.chop(1);
        return trimmed.endsWith(';');
    }
    if (format == "webp")
        return data.size() >= 8 && qFromLittleEndian<quint32>(data.constData() + 4) + 8 <= quint64(data.size());
    if (format == "bmp")
        return data.size() >= 6 && qFromLittleEndian<quint32>(data.constData() + 2) <= quint64(data.size());
    return true;
}

// Width and height from the picture's header; empty when it cannot be read.
QSize PictureSize(const QByteArray &format, const QByteArray &data)
{
    if (format == "webp") {
        // RIFF header, then the first chunk: VP8X (extended), VP8L (lossless) or VP8.
        if (data.size() < 30)
            return QSize();
        const QByteArray chunk = data.mid(12, 4);
        const auto *p = reinterpret_cast<const uchar *>(data.constData());
        if (chunk == "VP8X")
            return QSize(1 + (p[24] | p[25] << 8 | p[26] << 16), 1 + (p[27] | p[28] << 8 | p[29] << 16));
        if (chunk == "VP8L" && p[20] == 0x2f)
            return QSize(1 + ((p[21] | p[22] << 8) & 0x3fff), 1 + (((p[22] >> 6) | p[23] << 2 | p[24] << 10) & 0x3fff));
        if (chunk == "VP8 ")
            return QSize((p[26] | p[27] << 8) & 0x3fff, (p[28] | p[29] << 8) & 0x3fff);
        return QSize();
    }
    // The other headers are read here too: a picture reader may refuse to size what it
    // would not decode, and the size is what tells a decompression bomb.
    const auto *p = reinterpret_cast<const uchar *>(data.constData());
    if (format == "png")
        return data.size() >= 24 ? QSize(int(std::min<quint32>(qFromBigEndian<quint32>(p + 16), INT_MAX)),
                                         int(std::min<quint32>(qFromBigEndian<quint32>(p + 20), INT_MAX)))
                                  : QSize();
    if (format == "gif")
        return data.size() >= 10 ? QSize(qFromLittleEndian<quint16>(p + 6), qFromLittleEndian<quint16>(p + 8)) : QSize();
    if (format == "bmp")
        return data.size() >= 26 ? QSize(int(std::min<qint64>(qAbs(qint64(qFromLittleEndian<qint32>(p + 18))), INT_MAX)),
                                         int(std::min<qint64>(qAbs(qint64(qFromLittleEndian<qint32>(p + 22))), INT_MAX)))
                                  : QSize();
    if (format == "jpeg") {
        // The frame header (SOFn) holds the size; markers before it are skipped by length.
        for (qsizetype at = 2; at + 9 <= data.size();) {
            if (p[at] != 0xFF)
                return QSize();
            const uchar marker = p[at + 1];
            if (marker == 0xFF) { // fill byte
                ++at;
                continue;
            }
            const bool frame = marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
            if (frame)
                return QSize(qFromBigEndian<quint16>(p + at + 7), qFromBigEndian<quint16>(p + at + 5));
            at += 2 + qFromBigEndian<quint16>(p + at + 2);
        }
        return QSize();
    }
    return QSize();
}

QString PictureHtml(const MailAttachment &attachment, QString *reason)
{
    const QByteArray format = PictureFormat(attachment.content);
    if (format.isEmpty()) {
        *reason = QStringLiteral("not shown: the picture cannot be read");
        return QString();
    }
    const QSize size = PictureSize(format, attachment.content);
    if (!size.isValid() || size.isEmpty()) {
        *reason = QStringLiteral("not shown: the picture cannot be read");
        return QString();
    }
    if (qint64(size.width()) * size.height() > kMaxPicturePixels) {
        *reason = QStringLiteral("not shown: the picture is %1 × %2 pixels, more than can be shown safely")
                      .arg(size.width())
                      .arg(size.height());
        return QString();
    }
    if (!EndsWhole(format, attachment.content)) {
        *reason = QStringLiteral("not shown: the picture is cut short");
        return QString();
    }
    // At its natural size, never wider than the page, never enlarged.
    return QStringLiteral("<img class=\"shown-picture\" alt=\"%1\" style=\"max-width: 100%; height: auto;\" src=\"data:image/%2;base64,")
               .arg(Escaped(attachment.fileName), QString::fromLatin1(format)) +
           QString::fromLatin1(attachment.content.toBase64()) + QStringLiteral("\">");
}

// ---- text -------------------------------------------------------------------------

QString DecodedText(const QByteArray &bytes, const QByteArray &charset)
{
    if (!charset.isEmpty())
        return mime::TextFromCharset(bytes, charset);
    if (QUtf8StringView(bytes.constData(), bytes.size()).isValidUtf8())
        return QString::fromUtf8(bytes);
    return mime::TextFromCharset(bytes, "windows-1252");
}

QString TextHtml(const MailAttachment &attachment)
{
    const QByteArray &data = attachment.content;
    // Up to the limits, ending at a line's end; the rest is only counted.
    qsizetype cut = std::min(data.size(), kMaxShownTextBytes);
    int lines = 0;
    for (qsizetype at = data.indexOf('\n'); at >= 0 && at < cut; at = data.indexOf('\n', at + 1)) {
        if (++lines == kMaxShownTextLines) {
            cut = at + 1;
            break;
        }
    }
    if (cut < data.size() && cut == kMaxShownTextBytes) {
        const qsizetype lineEnd = data.lastIndexOf('\n', cut - 1);
        if (lineEnd > 0)
            cut = lineEnd + 1;
    }
    QString text = DecodedText(data.left(cut), attachment.charset);
    text.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    QString html = QStringLiteral("<pre class=\"shown-text\" style=\"white-space: pre-wrap; overflow-wrap: anywhere;\">") +
                   Escaped(text) + QStringLiteral("</pre>");
    if (cut < data.size()) {
        const QByteArray rest = QByteArray::fromRawData(data.constData() + cut, data.size() - cut);
        const qsizetype moreLines = rest.count('\n') + (rest.endsWith('\n') ? 0 : 1);
        html += QStringLiteral("<p class=\"shown-note\">The text is cut here: the attached file holds %1 more lines (%2).</p>")
                    .arg(moreLines)
                    .arg(ReadableSize(rest.size()));
    }
    return html;
}

// ---- calendar ----------------------------------------------------------------------

QString Line(const QString &label, const QString &value)
{
    if (value.isEmpty())
        return QString();
    return QStringLiteral("<p class=\"line\"><span class=\"label\">") + label + QStringLiteral("</span>") + Escaped(value) +
           QStringLiteral("</p>");
}

QString CalendarHtml(const MailAttachment &attachment, QString *reason)
{
    const CalendarInvitation invitation = ReadCalendarInvitation(attachment.content);
    if (invitation.events.isEmpty()) {
        *reason = QStringLiteral("not shown: ") + invitation.problem;
        return QString();
    }
    QString html;
    for (const CalendarEvent &event : invitation.events) {
        html += QStringLiteral("<div class=\"shown-event\">");
        html += QStringLiteral("<p class=\"subject\">") + Escaped(event.title.isEmpty() ? QStringLiteral("(no title)") : event.title) +
                QStringLiteral("</p>");
        html += Line(QStringLiteral("Starts"), event.start) + Line(QStringLiteral("Ends"), event.end) +
                Line(QStringLiteral("Place"), event.place) + Line(QStringLiteral("Organiser"), event.organiser) +
                Line(QStringLiteral("Attendees"), event.attendees.join(QStringLiteral(", ")));
        if (!event.description.isEmpty())
            html += QStringLiteral("<div style=\"white-space: pre-wrap; overflow-wrap: anywhere;\">") + Escaped(event.description) +
                    QStringLiteral("</div>");
        html += QStringLiteral("</div>");
    }
    return html;
}

// ---- attached messages -------------------------------------------------------------

// The markup of an attached message's HTML body, without what would reach beyond it:
// its style sheets, scripts and document frame.
QString ContainedHtml(QString html)
{
    static const QRegularExpression dropped(
        QStringLiteral("<(script|style|head|title)\\b[^>]*>.*?</\\1\\s*>|<(script|style|head|title)\\b[^>]*/?>|"
                       "<(meta|link|base)\\b[^>]*>|</?(html|body)\\b[^>]*>|<!DOCTYPE[^>]*>"),
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    html.remove(dropped);
    return html;
}

struct Renderer {
    const ShowOptions &options;
    ShownAttachments &out;
    int pagesLeft = kAppendedPageLimit; // of all the documents appended to the message

    QString section(const MailAttachments &attachments, const QString &prefix, int depth)
    {
        QString html;
        int n = 0;
        for (const MailAttachment &attachment : attachments) {
            ++n;
            const QString key = prefix.isEmpty() ? QString::number(n) : prefix + QLatin1Char('-') + QString::number(n);
            html += one(attachment, key, depth, prefix.isEmpty() ? n : 0);
        }
        return html;
    }

    // One attachment under its heading. fileNumber: its place among the message's own
    // embedded files (0 for an attachment of an attached message, which travels inside
    // that message's .eml).
    QString one(const MailAttachment &attachment, const QString &key, int depth, int fileNumber)
    {
        QString body;
        QString reason;
        QByteArray appendedDocument;
        QString target = QLatin1Char('#') + ShownAnchor(key);
        switch (KindOf(attachment)) {
        case Kind::Picture:
            if (options.pictures)
                body = PictureHtml(attachment, &reason);
            else
                reason = QStringLiteral("not shown: a text-only PDF shows no pictures");
            break;
        case Kind::Text:
            body = TextHtml(attachment);
            break;
        case Kind::Calendar:
            body = CalendarHtml(attachment, &reason);
            break;
        case Kind::Message:
            if (depth > options.maxDepth)
                reason = QStringLiteral("not shown: attached messages are shown %1 deep").arg(options.maxDepth);
            else
                body = message(attachment, key, depth);
            break;
        case Kind::Pdf: {
            const PdfDocumentCheck check = options.inspectPdf ? options.inspectPdf(attachment.content, pagesLeft)
                                                              : InspectPdfDocument(attachment.content, pagesLeft);
            if (check.appendable && check.pages > 0) {
                pagesLeft -= check.pages;
                target = AppendedLinkTarget(key);
                appendedDocument = attachment.content;
                body = QStringLiteral("<p class=\"shown-note\">%1 follow%2 the message's own pages.%3</p>")
                           .arg(check.pages == 1 ? QStringLiteral("Its page") : QStringLiteral("Its %1 pages").arg(check.pages),
                                check.pages == 1 ? QStringLiteral("s") : QString(),
                                check.cut ? QStringLiteral(" The rest is left out: a message shows at most %1 appended pages.")
                                                .arg(kAppendedPageLimit)
                                          : QString());
            } else {
                reason = QStringLiteral("not shown: ") +
                         (check.reason.isEmpty() ? QStringLiteral("the document cannot be read") : check.reason);
            }
            break;
        }
        case Kind::Other:
            reason = QStringLiteral("not shown: it can be opened from the PDF's attachments");
            break;
        }
        if (depth == 1)
            out.lineTargets << target;
        // Only headings a link leads to become places in the PDF: those of the message's
        // own attachments. An attached message's appended documents have their pages.
        if (depth == 1 || !appendedDocument.isEmpty())
            out.entries << PdfShownAttachment{attachment.fileName, ShownAnchor(key), appendedDocument,
                                              appendedDocument.isEmpty() ? QString() : target};

        QString name = Escaped(attachment.fileName);
        if (fileNumber > 0)
            name = QStringLiteral("<a href=\"") + AttachmentLinkTarget(fileNumber) + QStringLiteral("\">") + name + QStringLiteral("</a>");
        QString html = QStringLiteral("<div class=\"shown-attachment\"><h3 class=\"shown-heading\" id=\"") + ShownAnchor(key) +
                       QStringLiteral("\">") + name + QStringLiteral(" <span class=\"address\">(") +
                       Escaped(attachment.mimeType) + QStringLiteral(", ") + ReadableSize(attachment.size) +
                       QStringLiteral(")</span></h3>");
        if (!reason.isEmpty())
            html += QStringLiteral("<p class=\"shown-note\">") + Escaped(reason) + QStringLiteral("</p>");
        return html + body + QStringLiteral("</div>");
    }

    QString message(const MailAttachment &attachment, const QString &key, int depth)
    {
        const std::unique_ptr<MailMessage> message =
            MailMessage::fromBytes(attachment.content, {}, MailMessage::Attachments::WithContents);
        QString html = QStringLiteral("<div class=\"shown-message\" style=\"border-left: 2px solid #999999; padding-left: 8pt;\">");
        html += Line(QStringLiteral("From"), message->fromText()) + Line(QStringLiteral("To"), message->toText()) +
                Line(QStringLiteral("Cc"), message->ccText()) +
                Line(QStringLiteral("Date"), message->date() != 0 ? OleDateToGeneralText(message->date()) : QString()) +
                Line(QStringLiteral("Subject"), message->subject());
        if (options.pictures && !message->htmlBody().isEmpty())
            html += QStringLiteral("<div class=\"body\">") + ContainedHtml(message->htmlBody()) + QStringLiteral("</div>");
        else
            html += QStringLiteral("<div class=\"body\" style=\"white-space: pre-wrap; overflow-wrap: anywhere;\">") +
                    Escaped(message->plainTextBody()) + QStringLiteral("</div>");
        html += section(message->attachments(), key, depth + 1);
        return html + QStringLiteral("</div>");
    }
};

} // namespace

QString ReadableSize(qint64 bytes)
{
    if (bytes < 1024)
        return bytes == 1 ? QStringLiteral("1 byte") : QStringLiteral("%1 bytes").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 KB").arg(std::max<qint64>(1, (bytes + 512) / 1024));
    if (bytes < qint64(1024) * 1024 * 1024)
        return QStringLiteral("%1 MB").arg(double(bytes) / (1024.0 * 1024.0), 0, 'f', 1);
    return QStringLiteral("%1 GB").arg(double(bytes) / (1024.0 * 1024.0 * 1024.0), 0, 'f', 1);
}

ShownAttachments ShowAttachments(const MailAttachments &attachments, const ShowOptions &options)
{
    ShownAttachments out;
    if (attachments.isEmpty())
        return out;
    Renderer renderer{options, out, kAppendedPageLimit};
    out.html = QStringLiteral("<div class=\"shown-attachments\">") + renderer.section(attachments, QString(), 1) +
               QStringLiteral("</div>");
    return out;
}

} // namespace larkspan
