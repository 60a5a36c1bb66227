#pragma once

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>

namespace larkspan {

// One message's complete PDF (as AddRecordToPdf leaves it) in a bundle.
struct PdfBundlePart {
    QString path;  // a file that stays readable until the bundle is written
    QString title; // its outline entry, "date — subject"
};

// The bundle's document information, as given.
struct PdfBundleInfo {
    QString title;
    QString author;
    QString subject;
    QString keywords;
    QDateTime created; // invalid: none
};

// A contents link to this address followed by a message's number (1 for the first
// part: "larkspan-message:1") leads to that message's first page in the bundle.
inline constexpr char kBundleMessageLinkPrefix[] = "larkspan-message:";

// Writes one PDF to targetPath: the contents pages (a rendered PDF at contentsPath),
// then each part's pages in order. Contents links to kBundleMessageLinkPrefix + N go to
// part N's first page; the outline has an entry per part (its title) holding the
// entries of the part's own outline; every file embedded in a part is embedded in the
// bundle and is one of its associated files, under a name unique within the bundle
// ("invoice (2).pdf"), and the parts' file-attachment annotations open it.
// Parts are read one at a time and from their files while the bundle is written, so
// neither memory nor open files grow with their number.
// The file is written completely or not at all: a temporary file beside the target
// is renamed over it. Returns why it could not, in words; empty on success.
// keepGoing, when given, is called after each part and after each megabyte written:
// the caller lets the event loop run in it (the work takes seconds for thousands of
// messages) and returns false to cancel, which leaves the target as it was.
QString WritePdfBundle(const QString &targetPath, const QString &contentsPath, const QList<PdfBundlePart> &parts,
                       const PdfBundleInfo &info, const std::function<bool()> &keepGoing = {});

// The number of pages of the PDF file; -1 when it cannot be read (problem says why).
// Reads the page tree only: cheap enough for every part before the contents are
// rendered, and for the rendered contents themselves (whose own length moves every
// page number after them).
int CountPdfPages(const QString &path, QString *problem = nullptr);

} // namespace larkspan
