// The message page: the template filled with one message's fields and body.
#include "export/Form3.h"

#include "platform/core/AppError.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/ProgramFolder.h"

#include <QFile>

namespace larkspan {

namespace {

// A plain-text body keeps its line breaks and spacing, and long lines wrap.
QString PlainTextAsHtml(const QString &text)
{
    QString body = text.toHtmlEscaped();
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return QStringLiteral("<div class=\"plain-text\" style=\"white-space: pre-wrap; overflow-wrap: anywhere;\">")
        + body + QStringLiteral("</div>");
}

// Sizes as people read them: "532 bytes", "12 KB", "1.4 MB".
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

QString HeaderLine(const QString &label, const QString &escapedValue)
{
    return QStringLiteral("<p class=\"line\"><span class=\"label\">") + label + QStringLiteral("</span>") +
           escapedValue + QStringLiteral("</p>");
}

// One line per attachment: its name, media type and size.
QString AttachmentLines(const MailAttachments &attachments)
{
    if (attachments.isEmpty())
        return QString();
    QStringList lines;
    int n = 0;
    for (const MailAttachment &attachment : attachments)
        lines << QStringLiteral("<span class=\"attachment\"><a href=\"") + AttachmentLinkTarget(++n) +
                     QStringLiteral("\">") + attachment.fileName.toHtmlEscaped() + QStringLiteral("</a>") +
                     QStringLiteral(" <span class=\"address\">(") + attachment.mimeType.toHtmlEscaped() +
                     QStringLiteral(", ") + ReadableSize(attachment.size) + QStringLiteral(")</span></span>");
    return QStringLiteral("<div class=\"line\"><span class=\"label\">Attachments</span><span class=\"values\">") +
           lines.join(QStringLiteral("<br>")) + QStringLiteral("</span></div>");
}

// The six fields of every page, in this order, each one pass over the text; header
// values are text, not markup.
QString FillSixFields(QString text, const MessageRecord &record, const QString &body)
{
    text.replace(QStringLiteral("%From%"), record.from().toHtmlEscaped(), Qt::CaseSensitive);
    text.replace(QStringLiteral("%Name%"), record.fromName().toHtmlEscaped(), Qt::CaseSensitive);
    text.replace(QStringLiteral("%Address%"), record.fromAddress().toHtmlEscaped(), Qt::CaseSensitive);
    text.replace(QStringLiteral("%Subject%"), record.subject().toHtmlEscaped(), Qt::CaseSensitive);
    text.replace(QStringLiteral("%Date%"), record.receivedDate().toHtmlEscaped(), Qt::CaseSensitive);
    text.replace(QStringLiteral("%Message%"), body, Qt::CaseSensitive);
    return text;
}

} // namespace

QString FillPageTemplate(const QString &page, const MessageRecord &record, const MessageBodies &details,
                         bool printAsHtml)
{
    QString body;
    if (printAsHtml && !details.html.isEmpty())
        body = details.html; // the mail's own markup
    else
        body = PlainTextAsHtml(details.plainText);

    // To, Cc and the attachment list come after the six, as whole lines present only
    // when there is something to show. Only the template's own placeholders are
    // filled: a subject or body that happens to read "%To%" stays as written.
    const QList<QPair<QString, QString>> lines = {
        {QStringLiteral("%To%"), details.to.isEmpty() ? QString() : HeaderLine(QStringLiteral("To"), details.to.toHtmlEscaped())},
        {QStringLiteral("%Cc%"), details.cc.isEmpty() ? QString() : HeaderLine(QStringLiteral("Cc"), details.cc.toHtmlEscaped())},
        {QStringLiteral("%Attachments%"), AttachmentLines(details.attachments)},
    };
    QString out;
    qsizetype from = 0;
    while (true) {
        qsizetype next = -1;
        const QPair<QString, QString> *line = nullptr;
        for (const auto &candidate : lines) {
            const qsizetype at = page.indexOf(candidate.first, from, Qt::CaseSensitive);
            if (at >= 0 && (next < 0 || at < next)) {
                next = at;
                line = &candidate;
            }
        }
        out += FillSixFields(page.mid(from, next < 0 ? -1 : next - from), record, body);
        if (next < 0)
            break;
        out += line->second;
        from = next + line->first.size();
    }
    return out;
}

void Form3::CreateHTMLFile()
{
    // Until this message's page is written whole there is none: nothing may show or
    // print the previous message in its place.
    HTMLFilePath.clear();
    try {
        HTMLFilePath = writeMessagePage();
        PageFailure.clear();
    } catch (...) {
        PageFailure = DescribeException(std::current_exception());
        throw;
    }
}

QString Form3::writeMessagePage()
{
    QString page = ReadWholeFile(ProgramFile(QStringLiteral("Base.tmp")));

    const MessageRecord &record = Records(CurrentIndex);
    page = FillPageTemplate(page, record, record.bodies(), PrintAsHTML);

    // The template's image is found beside the page file; copied once, never refreshed.
    const QString imageCopy = TempFolder() + QStringLiteral("/ipad-yahoo-mail.png");
    if (!FileExistsOnDisk(imageCopy)) {
        const QString image = ProgramFile(QStringLiteral("ipad-yahoo-mail.png"));
        if (!FileExistsOnDisk(image))
            throw AppError(ErrorCode::FileNotFound, image);
        if (!QFile::copy(image, imageCopy))
            throw AppError(ErrorCode::PathFileAccess, imageCopy);
    }

    const QString path = TempFolder() + QStringLiteral("/tmp.tmp");
    const int slot = FreeFileSlot();
    OpenTextFile(path, slot);
    WriteText(page, slot);
    CloseTextFile(slot);
    return path;
}

} // namespace larkspan
