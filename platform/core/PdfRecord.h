#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

namespace larkspan {

// A file carried inside a PDF: in its attachment panel, and as one of the document's
// associated files.
struct PdfEmbeddedFile {
    enum class Relationship { Source, Data };
    QString name; // unique within the document
    QString mimeType;
    QByteArray data;
    QDateTime date;
    Relationship relationship = Relationship::Data;
    QString description;
    // A link of the document to this address becomes a file-attachment annotation
    // for this file, in the link's place; empty: no link.
    QString linkTarget;
};

// What the PDF of one message records about it besides its pages.
struct PdfRecord {
    QString title;
    QString author;
    QString subject;
    QString keywords;
    QDateTime created; // invalid: the writer's own time stays
    QList<PdfEmbeddedFile> files;

    bool isEmpty() const
    {
        return title.isEmpty() && author.isEmpty() && subject.isEmpty() && keywords.isEmpty() && !created.isValid() &&
               files.isEmpty();
    }
};

// Sets the document information (Title, Author, Subject, Keywords, CreationDate,
// Producer "Larkspan") and embeds the files: each in the EmbeddedFiles name tree and
// in the catalog's /AF array with its relationship, so that viewers list it and
// PDF/A-3 tools recognise it. Links to a file's linkTarget are turned into
// file-attachment annotations. Returns why it could not; pdf is unchanged then.
QString AddRecordToPdf(QByteArray &pdf, const PdfRecord &record);

// "D:20260310111111+01'00'"
QString PdfDate(const QDateTime &when);

} // namespace larkspan
