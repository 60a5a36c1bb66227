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
    problem->clear();
    PdfRecord out;
    out.title = record.subject();
    out.author = record.from();
    out.subject = QStringLiteral("Email from ") + record.fromAddress();

    QByteArray original;
    try {
        original = record.original();
    } catch (...) {
        *problem = DescribeException(std::current_exception());
        return out;
    }
    if (original.isEmpty())
        return out; // a record that was never stored has no original to carry

    const std::unique_ptr<MailMessage> message =
        MailMessage::fromBytes(original, {}, MailMessage::Attachments::WithContents);
    out.keywords = message->messageId();
    if (message->date() != 0)
        out.created = FromOleDate(message->date());

    PdfEmbeddedFile source;
    source.name = QFileInfo(pdfPath).completeBaseName() + QStringLiteral(".eml");
    source.mimeType = QStringLiteral("message/rfc822");
    source.data = original;
    source.date = out.created;
    source.relationship = PdfEmbeddedFile::Relationship::Source;
    source.description = QStringLiteral("The original message");
    out.files << source;

    MailAttachments attachments = message->attachments();
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
