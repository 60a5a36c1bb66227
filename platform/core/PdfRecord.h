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

// The most pages that the documents appended to one message add in all.
constexpr int kAppendedPageLimit = 2000;

// An attachment that the reader sees: shown within the page (a picture, a text), or a
// PDF document whose pages are appended after the page's own.
struct PdfShownAttachment {
    QString title; // its outline entry; empty: none
    // Where the page shows it: the id of its heading ("shown-3" for <h2 id="shown-3">),
    // which the page must also link to ("#shown-3"): the renderer keeps only the
    // anchors that a link leads to (a heading that links to itself keeps its own).
    // For an appended document, where the page says why it is not shown, if it is not.
    QString anchor;
    // A PDF document to append; empty: nothing is appended.
    QByteArray document;
    // A link of the page to this address ("larkspan-shown:3") leads to where the
    // attachment is shown: the first appended page, else the anchor.
    QString linkTarget;
};

// What became of one PdfShownAttachment's document.
struct PdfAppendOutcome {
    int pages = 0;    // pages appended
    bool cut = false; // the document has more pages than were appended
    QString reason;   // why no page was appended ("the document needs a password"); empty when some were
};

// What the PDF of one message records about it besides its pages.
struct PdfRecord {
    QString title;
    QString author;
    QString subject;
    QString keywords;
    QDateTime created; // invalid: the writer's own time stays
    QList<PdfEmbeddedFile> files;
    // The outline: an entry for the message (this title; empty: the title above)
    // leading to its first page, and under it one for each shown attachment.
    QString outlineTitle;
    QList<PdfShownAttachment> shown; // in the attachment list's order
    int appendedPageLimit = kAppendedPageLimit;

    bool isEmpty() const
    {
        return title.isEmpty() && author.isEmpty() && subject.isEmpty() && keywords.isEmpty() && !created.isValid() &&
               files.isEmpty() && outlineTitle.isEmpty() && shown.isEmpty();
    }
};

// Sets the document information (Title, Author, Subject, Keywords, CreationDate,
// Producer "Larkspan") and embeds the files: each in the EmbeddedFiles name tree and
// in the catalog's /AF array with its relationship, so that viewers list it and
// PDF/A-3 tools recognise it. Links to a file's linkTarget are turned into
// file-attachment annotations. Appends the pages of the shown PDF documents, in
// order, until appendedPageLimit pages are appended, with every action that runs
// something removed from them; turns links to a shown attachment's linkTarget into
// links to where it is shown; gives the document its outline. Actions that run
// something are removed from the document as a whole too.
// Returns why it could not; pdf is unchanged then. outcomes, when given, receives one
// entry per record.shown (a shown attachment without a document: an empty one).
// A document that cannot be appended does not stop the rest.
QString AddRecordToPdf(QByteArray &pdf, const PdfRecord &record, QList<PdfAppendOutcome> *outcomes = nullptr);

// What appending a PDF document would do, known before the page is rendered: opened
// without a password, its page tree walked up to pageLimit pages (the part of
// kAppendedPageLimit that the documents before it leave).
struct PdfDocumentCheck {
    bool appendable = false; // false: reason says why (password, damage, no pages)
    int pages = 0;           // pages that would be appended, at most pageLimit
    bool cut = false;        // the document has more pages than that
    QString reason;
};
PdfDocumentCheck InspectPdfDocument(const QByteArray &pdf, int pageLimit = kAppendedPageLimit);

// "D:20260310111111+01'00'"
QString PdfDate(const QDateTime &when);

} // namespace larkspan
