#pragma once

#include "platform/core/PdfRecord.h"

#include <QString>

namespace larkspan {

class MessageRecord;
struct MessageContent;
struct PageContent;

// What the PDF of a record carries besides its pages: the document information and,
// embedded, the original message (named after the PDF, ending ".eml") and every
// attachment. When the message cannot be read from the store, the record holds what
// the list knows and problem says why the files are missing.
// With attachments shown on the page, the record also appends the shown PDF documents
// and gives the PDF an outline: the message, then each shown attachment.
PdfRecord DocumentRecordFor(const MessageRecord &record, const MessageContent &content, const PageContent &page,
                            const QString &pdfPath, QString *problem);
// The same, reading the message first; without attachments shown.
PdfRecord DocumentRecordFor(const MessageRecord &record, const QString &pdfPath, QString *problem);

// The outline's title of a message: "date — subject".
QString OutlineTitle(const MessageRecord &record);

} // namespace larkspan
