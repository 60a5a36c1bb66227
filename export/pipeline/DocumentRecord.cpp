#include "export/pipeline/DocumentRecord.h"

#include "export/pipeline/MessagePage.h"
#include "messagelist/data/MessageRecord.h"
#include "mail/MailMessage.h"
#include "mail/OleDate.h"
#include "platform/core/AppError.h"
#include "platform/core/ErrorReport.h"

#include <QFileInfo>

namespace larkspan {

PdfRecord DocumentRecordFor(const MessageRecord &record, const QString &pdfPath, QString *problem)
{
    return DocumentRecordFor(record, ReadMessageContent(record), PageContent(), pdfPath, problem);
}

QString OutlineTitle(const MessageRecord &record)
{
    const QString subject = record.subject().isEmpty() ? QStringLiteral("(no subject)") : record.subject();
    return record.receivedDate() + QStringLiteral(" \u2014 ") + subject;
}

PdfRecord DocumentRecordFor(const MessageRecord &record, const MessageContent &content, const PageContent &page,
                            const QString &pdfPath, QString *problem)
{
    *problem = content.problem;
    PdfRecord out;
    out.title = record.subject();
    out.author = record.from();
    out.subject = QStringLiteral("Email from ") + record.fromAddress();
    if (!page.shown.isEmpty()) {
        out.outlineTitle = OutlineTitle(record);
        out.shown = page.shown;
    }
    const QByteArray &original = content.original;
    if (original.isEmpty())
        return out; // a record that was never stored, or cannot be read, has no original to carry

    out.keywords = content.bodies.messageId;
    if (content.date != 0)
        out.created = FromOleDate(content.date);

    PdfEmbeddedFile source;
    source.name = QFileInfo(pdfPath).completeBaseName() + QStringLiteral(".eml");
    source.mimeType = QStringLiteral("message/rfc822");
    source.data = original;
    source.date = out.created;
    source.relationship = PdfEmbeddedFile::Relationship::Source;
    source.description = QStringLiteral("The original message");
    out.files << source;

    MailAttachments attachments = content.bodies.attachments;
    mime::MakeNamesUnique(attachments, {source.name});
    int n = 0;
    for (const MailAttachment &attachment : std::as_const(attachments)) {
        PdfEmbeddedFile file;
        file.linkTarget = AttachmentLinkTarget(++n);
        file.name = attachment.fileName;
        file.mimeType = attachment.mimeType;
        file.data = attachment.content;
        file.date = out.created;
        file.relationship = PdfEmbeddedFile::Relationship::Data;
        out.files << file;
    }
    return out;
}

} // namespace larkspan
