#pragma once

#include "platform/core/AppError.h"

#include <QDateTime>
#include <QList>
#include <QSet>
#include <QString>

namespace larkspan {

class MessageRecord;

// The pattern every PDF is named by until the user writes another.
inline QString DefaultFileNamePattern()
{
    return QStringLiteral("<Count> - <Current Date> <Subject>");
}

// What a PDF's name is made of besides the message itself.
struct FileNameFields {
    QString pattern; // with "<Count>", "<Subject>" and the other fields, in any letter case
    QString folder;  // put in front as it is: a folder without its separator is glued to the name
    QString account; // "<To>"
    QDateTime now;   // "<Current Date>", "<Current Time>"
    int count = 1;   // "<Count>": the message's place among those exported
};

// A PDF's path, or why a field could not be filled.
struct ExportFileName {
    // folder + cleaned name + ".pdf"; empty when the pattern leaves no usable name.
    QString path;
    // Fields that could not be worked out (a received date that is no date), in the
    // order of the fields; their text stays in the name as the cleaning leaves it.
    QList<AppError> failures;
};

// The name of a message's PDF: the fields replaced in their fixed order, each over the
// whole text so far, matching in any letter case; the characters a file name cannot
// hold turned into spaces or removed; spaces trimmed; the name cut so that folder and
// name keep within 250 characters. No file is touched and nothing is handed over.
ExportFileName MakeExportFileName(const FileNameFields &fields, const MessageRecord &record);

// The path unless a message of the same run already took it; then " (2)", " (3)", ...
// before ".pdf". The result is added to taken.
QString UniqueInRun(const QString &path, QSet<QString> &taken);

// Names the file the PDF writer writes its next job to, without asking.
void HandPathToPdfWriter(const QString &path);

} // namespace larkspan
