#pragma once

#include "mail/MailAttachment.h"
#include "platform/core/PdfRecord.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <functional>

namespace larkspan {

// How the attachments of a message are shown after its body.
struct ShowOptions {
    bool pictures = true; // false for text-only PDFs: no picture is shown
    int maxDepth = 3;     // attached messages are shown this deep
    // What a PDF document gives to append, within the pages left to the message: how
    // many pages, or why none. By default the PDF reader's own inspection.
    std::function<PdfDocumentCheck(const QByteArray &pdf, int pagesLeft)> inspectPdf;
};

// What the page shows of a message's attachments, and the PDF documents to append.
struct ShownAttachments {
    // After the body: each attachment under a heading with its name, type and size,
    // then the attachment itself or why it is not shown. Empty without attachments.
    QString html;
    // Where each attachment's line in the header block leads, in the list's order.
    QStringList lineTargets;
    // For the PDF: each attachment of the message in the list's order, and each PDF
    // document of an attached message that is appended: where it is shown, what to
    // append. The outline has an entry for each.
    QList<PdfShownAttachment> entries;
};

ShownAttachments ShowAttachments(const MailAttachments &attachments, const ShowOptions &options);

// Where an attachment's line leads when it is shown in the page: the heading of
// shown section key (such as "3" or "3-2" for the second attachment of the third).
inline QString ShownAnchor(const QString &key)
{
    return QStringLiteral("shown-") + key;
}

// The address links to an appended document's first page carry, for the PDF to turn
// into a jump to that page.
inline QString AppendedLinkTarget(const QString &key)
{
    return QStringLiteral("larkspan-shown:") + key;
}

// Sizes as people read them: "532 bytes", "12 KB", "1.4 MB".
QString ReadableSize(qint64 bytes);

} // namespace larkspan
