#pragma once

#include "platform/core/PdfRecord.h"

#include <QString>

namespace larkspan {

class MessageRecord;
struct MessageContent;

// What the PDF of a record carries besides its pages: the document information and,
// embedded, the original message (named after the PDF, ending ".eml") and every
// attachment. When the message cannot be read from the store, the record holds what
// the list knows and problem says why the files are missing.
PdfRecord DocumentRecordFor(const MessageRecord &record, const MessageContent &content, const QString &pdfPath,
                            QString *problem);
// The same, reading the message first.
PdfRecord DocumentRecordFor(const MessageRecord &record, const QString &pdfPath, QString *problem);

} // namespace larkspan
