#pragma once

#include "export/pipeline/ShownAttachments.h"
#include "messagelist/data/MessageStore.h"

#include <QString>

namespace larkspan {

class MessageRecord;

// How a message's page is made.
struct PageOptions {
    // The mail's own HTML (with its pictures) when it has one; otherwise, and when
    // false, the plain-text body.
    bool printAsHtml = true;
    // Every attachment that can be shown is shown after the body; PDF documents
    // follow the message's pages.
    bool showAttachments = false;
};

// A message read whole, once: what its page and its PDF's record are made from.
struct MessageContent {
    QByteArray original;  // exactly as the server sent it; empty when never stored or unreadable
    MessageBodies bodies; // read from the original: its attachments with their contents
    double date = 0;      // days since 30 December 1899; 0 when unknown
    QString problem;      // why the original could not be read; empty when it was
};

// The record's message from the store. A message that was never stored has its
// bodies alone; one the store cannot give back has none, and problem says why.
MessageContent ReadMessageContent(const MessageRecord &record);

// What the page of one message shows beyond the six fields of the template (sender,
// name, address, subject, date), each ready to go into the page as markup. This is
// where the page's content is decided: what the body is, which header lines appear,
// and what follows the body.
struct PageContent {
    QString body;            // for "%Message%"
    QString toLine;          // for "%To%": a whole line, or nothing without recipients
    QString ccLine;          // for "%Cc%"
    QString attachmentLines; // for "%Attachments%": one line per attachment, each a link to where it is
    QString shownAttachments; // after the body: the attachments shown
    QList<PdfShownAttachment> shown;  // for the PDF: where each attachment is shown, what is appended
};

PageContent ComposePageContent(const MessageBodies &bodies, const PageOptions &options);

// The message page: the template with the six fields of every page, then the To, Cc
// and attachment lines where the template has their placeholders.
QString FillPageTemplate(const QString &page, const MessageRecord &record, const PageContent &content);

// The address the page's line for attachment n (from 1) links to; the PDF turns the
// link into that attachment's file annotation. Never a network address.
inline QString AttachmentLinkTarget(int n)
{
    return QStringLiteral("larkspan-attachment:%1").arg(n);
}

// "TEMP/tmp.tmp": the page file of the preview and of the export runs.
QString PageFilePath();

// Writes the record's page from the program folder's "Base.tmp" to pagePath, copying
// the template's picture beside it once, and returns what the page shows. Raises
// AppError naming the cause when the message, the template, the picture or the page
// file fails; a page file that was not written whole must not be shown or printed.
PageContent WriteMessagePage(const MessageRecord &record, const MessageContent &content, const PageOptions &options,
                             const QString &pagePath);
// The same, reading the message first.
PageContent WriteMessagePage(const MessageRecord &record, const PageOptions &options, const QString &pagePath);

} // namespace larkspan
