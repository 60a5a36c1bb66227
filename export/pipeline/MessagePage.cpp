#include "export/pipeline/MessagePage.h"

#include "mail/MailMessage.h"
#include "messagelist/data/MessageRecord.h"
#include "platform/core/AppError.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/FileExists.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/ProgramFolder.h"

#include <QFile>
#include <QFileInfo>

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

QString HeaderLine(const QString &label, const QString &value)
{
    if (value.isEmpty())
        return QString();
    return QStringLiteral("<p class=\"line\"><span class=\"label\">") + label + QStringLiteral("</span>") +
           value.toHtmlEscaped() + QStringLiteral("</p>");
}

// One line per attachment: its name, media type and size, a link to its file or to
// where the page shows it.
QString AttachmentLines(const MailAttachments &attachments, const QStringList &targets)
{
    if (attachments.isEmpty())
        return QString();
    QStringList lines;
    for (qsizetype i = 0; i < attachments.size(); ++i) {
        const MailAttachment &attachment = attachments[i];
        const QString target = i < targets.size() ? targets[i] : AttachmentLinkTarget(int(i) + 1);
        lines << QStringLiteral("<span class=\"attachment\"><a href=\"") + target.toHtmlEscaped() + QStringLiteral("\">") +
                     attachment.fileName.toHtmlEscaped() + QStringLiteral("</a> <span class=\"address\">(") +
                     attachment.mimeType.toHtmlEscaped() + QStringLiteral(", ") + ReadableSize(attachment.size) +
                     QStringLiteral(")</span></span>");
    }
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

PageContent ComposePageContent(const MessageBodies &bodies, const PageOptions &options)
{
    PageContent content;
    if (options.printAsHtml && !bodies.html.isEmpty())
        content.body = bodies.html; // the mail's own markup
    else
        content.body = PlainTextAsHtml(bodies.plainText);
    content.toLine = HeaderLine(QStringLiteral("To"), bodies.to);
    content.ccLine = HeaderLine(QStringLiteral("Cc"), bodies.cc);
    QStringList targets;
    if (options.showAttachments) {
        ShowOptions show;
        show.pictures = options.printAsHtml;
        ShownAttachments shown = ShowAttachments(bodies.attachments, show);
        content.shownAttachments = shown.html;
        content.shown = shown.entries;
        targets = shown.lineTargets;
    }
    content.attachmentLines = AttachmentLines(bodies.attachments, targets);
    return content;
}

QString FillPageTemplate(const QString &page, const MessageRecord &record, const PageContent &content)
{
    // To, Cc and the attachment list come after the six, as whole lines present only
    // when there is something to show. Only the template's own placeholders are
    // filled: a subject or body that happens to read "%To%" stays as written.
    const QList<QPair<QString, QString>> lines = {
        {QStringLiteral("%To%"), content.toLine},
        {QStringLiteral("%Cc%"), content.ccLine},
        {QStringLiteral("%Attachments%"), content.attachmentLines},
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
        out += FillSixFields(page.mid(from, next < 0 ? -1 : next - from), record, content.body + content.shownAttachments);
        if (next < 0)
            break;
        out += line->second;
        from = next + line->first.size();
    }
    return out;
}

QString PageFilePath()
{
    return TempFolder() + QStringLiteral("/tmp.tmp");
}

MessageContent ReadMessageContent(const MessageRecord &record)
{
    MessageContent content;
    try {
        content.original = record.original();
    } catch (...) {
        content.problem = DescribeException(std::current_exception());
        return content;
    }
    if (content.original.isEmpty()) {
        content.bodies = record.bodies(); // a record that was never stored keeps its bodies
        return content;
    }
    const std::unique_ptr<MailMessage> message =
        MailMessage::fromBytes(content.original, {}, MailMessage::Attachments::WithContents);
    content.bodies.plainText = message->plainTextBody();
    content.bodies.html = message->htmlBody();
    content.bodies.to = message->toText();
    content.bodies.cc = message->ccText();
    content.bodies.messageId = message->messageId();
    content.bodies.attachments = message->attachments();
    content.date = message->date();
    return content;
}

PageContent WriteMessagePage(const MessageRecord &record, const PageOptions &options, const QString &pagePath)
{
    return WriteMessagePage(record, ReadMessageContent(record), options, pagePath);
}

PageContent WriteMessagePage(const MessageRecord &record, const MessageContent &content, const PageOptions &options,
                             const QString &pagePath)
{
    QString page = ReadWholeFile(ProgramFile(QStringLiteral("Base.tmp")));
    // A message the store could not give back whole: the page shows what the list
    // knows of it, when the store still has its bodies.
    const PageContent shown = ComposePageContent(content.problem.isEmpty() ? content.bodies : record.bodies(), options);
    page = FillPageTemplate(page, record, shown);

    // The template's image is found beside the page file; copied once, never refreshed.
    const QString imageCopy = QFileInfo(pagePath).absolutePath() + QStringLiteral("/ipad-yahoo-mail.png");
    if (!FileExistsOnDisk(imageCopy)) {
        const QString image = ProgramFile(QStringLiteral("ipad-yahoo-mail.png"));
        if (!FileExistsOnDisk(image))
            throw AppError(ErrorCode::FileNotFound, image);
        if (!QFile::copy(image, imageCopy))
            throw AppError(ErrorCode::PathFileAccess, imageCopy);
    }

    const int slot = FreeFileSlot();
    OpenTextFile(pagePath, slot);
    WriteText(page, slot);
    CloseTextFile(slot);
    return shown;
}

} // namespace larkspan
