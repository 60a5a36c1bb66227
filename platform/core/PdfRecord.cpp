#include "platform/core/PdfRecord.h"

#include "PdfDestinations.h"
#include "PdfOutline.h"
#include "PdfOutput.h"
#include "PdfPageCopy.h"
#include "PdfQpdf.h"
#include "PdfSourceDocument.h"

#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <algorithm>
#include <exception>
#include <map>
#include <memory>

namespace larkspan {

using pdf::Utf8;

namespace {

// The name for readers that know only /F: ASCII, other letters as "_".
std::string AsciiName(const QString &name)
{
    std::string out;
    for (const QChar c : name)
        out.push_back(c.unicode() >= 0x20 && c.unicode() < 0x7f ? char(c.unicode()) : '_');
    return out;
}

// Text packs well; pictures, archives, PDFs and office files are packed already, and
// packing them again costs time for nothing. A whole message is mostly base64 of its
// attachments, which packs poorly and slowly: it is carried as it is.
bool WorthCompressing(const QString &mimeType)
{
    return mimeType.startsWith(QLatin1String("text/")) || mimeType.contains(QLatin1String("xml")) ||
           mimeType.contains(QLatin1String("json")) || mimeType.contains(QLatin1String("javascript"));
}

// Every link annotation that points at one of the targets becomes a file-attachment
// annotation of its file over the same area, drawn as nothing: the page's own text
// stays what the reader sees, and clicking it opens the file.
void LinksToFileAnnotations(QPDF &document, const std::vector<QPDFObjectHandle> &pages,
                            std::map<std::string, QPDFObjectHandle> &targets)
{
    if (targets.empty())
        return;
    for (QPDFObjectHandle page : pages) {
        QPDFObjectHandle annotations = page.getKey("/Annots");
        if (!annotations.isArray())
            continue;
        for (int i = 0; i < annotations.getArrayNItems(); ++i) {
            QPDFObjectHandle link = annotations.getArrayItem(i);
            if (!link.isDictionary() || !link.getKey("/Subtype").isNameAndEquals("/Link"))
                continue;
            QPDFObjectHandle action = link.getKey("/A");
            if (!action.isDictionary() || !action.getKey("/S").isNameAndEquals("/URI") || !action.getKey("/URI").isString())
                continue;
            const auto target = targets.find(action.getKey("/URI").getUTF8Value());
            if (target == targets.end())
                continue;
            QPDFObjectHandle rect = link.getKey("/Rect");
            QPDFObjectHandle blank = QPDFObjectHandle::newStream(&document, std::string());
            QPDFObjectHandle form = blank.getDict();
            form.replaceKey("/Type", QPDFObjectHandle::newName("/XObject"));
            form.replaceKey("/Subtype", QPDFObjectHandle::newName("/Form"));
            form.replaceKey("/BBox", QPDFObjectHandle::parse("[0 0 1 1]"));
            QPDFObjectHandle appearance = QPDFObjectHandle::newDictionary();
            appearance.replaceKey("/N", blank);
            QPDFObjectHandle annotation = QPDFObjectHandle::newDictionary();
            annotation.replaceKey("/Type", QPDFObjectHandle::newName("/Annot"));
            annotation.replaceKey("/Subtype", QPDFObjectHandle::newName("/FileAttachment"));
            annotation.replaceKey("/Rect", rect);
            annotation.replaceKey("/FS", target->second);
            annotation.replaceKey("/Contents", target->second.getKey("/UF"));
            annotation.replaceKey("/Name", QPDFObjectHandle::newName("/Paperclip"));
            annotation.replaceKey("/AP", appearance);
            annotation.replaceKey("/P", page);
            annotations.setArrayItem(i, document.makeIndirectObject(annotation));
        }
    }
}

void SetInfo(QPDFObjectHandle &info, const char *key, const QString &value)
{
    if (!value.isEmpty())
        info.replaceKey(key, QPDFObjectHandle::newUnicodeString(Utf8(value)));
}

// The record never runs code, whatever wrote its pages.
void RemoveDocumentActions(QPDF &document)
{
    QPDFObjectHandle root = document.getRoot();
    root.removeKey("/OpenAction");
    root.removeKey("/AA");
    QPDFObjectHandle names = root.getKey("/Names");
    if (names.isDictionary())
        names.removeKey("/JavaScript");
}

void EmbedFiles(QPDF &document, const std::vector<QPDFObjectHandle> &pages, const QList<PdfEmbeddedFile> &files)
{
    QPDFEmbeddedFileDocumentHelper embedded(document);
    QPDFObjectHandle associated = QPDFObjectHandle::newArray();
    std::map<std::string, QPDFObjectHandle> linkTargets;
    int position = 0;
    for (const PdfEmbeddedFile &file : files) {
        auto stream =
            QPDFEFStreamObjectHelper::createEFStream(document, std::string(file.data.constData(), size_t(file.data.size())));
        if (WorthCompressing(file.mimeType)) {
            // qCompress gives a zlib stream behind a four-byte length.
            const QByteArray packed = qCompress(file.data, 1).mid(4);
            stream.getObjectHandle().replaceStreamData(std::string(packed.constData(), size_t(packed.size())),
                                                       QPDFObjectHandle::newName("/FlateDecode"),
                                                       QPDFObjectHandle::newNull());
        }
        stream.setSubtype(Utf8(file.mimeType));
        if (file.date.isValid()) {
            const std::string date = Utf8(PdfDate(file.date));
            stream.setCreationDate(date).setModDate(date);
        }
        auto fileSpec = QPDFFileSpecObjectHelper::createFileSpec(document, Utf8(file.name), stream);
        fileSpec.setFilename(Utf8(file.name), AsciiName(file.name));
        if (!file.description.isEmpty())
            fileSpec.setDescription(Utf8(file.description));
        fileSpec.getObjectHandle().replaceKey(
            "/AFRelationship",
            QPDFObjectHandle::newName(file.relationship == PdfEmbeddedFile::Relationship::Source ? "/Source" : "/Data"));
        // The name tree is sorted by key: numbered keys keep the files in the order
        // given (the message first, then its attachments as they come).
        embedded.replaceEmbeddedFile(QStringLiteral("%1").arg(++position, 4, 10, QLatin1Char('0')).toStdString(),
                                     fileSpec);
        associated.appendItem(fileSpec.getObjectHandle());
        if (!file.linkTarget.isEmpty())
            linkTargets[Utf8(file.linkTarget)] = fileSpec.getObjectHandle();
    }
    document.getRoot().replaceKey("/AF", associated);
    LinksToFileAnnotations(document, pages, linkTargets);
}

// Where the page shows an attachment: the heading the renderer kept as a named
// destination (a name in /Dests, or a string in the name tree).
QPDFObjectHandle AnchorDestination(QPDF &document, const QString &anchor)
{
    if (anchor.isEmpty())
        return QPDFObjectHandle::newNull();
    QPDFObjectHandle found = pdf::ExplicitDestination(document, QPDFObjectHandle::newName("/" + Utf8(anchor)));
    if (found.isNull())
        found = pdf::ExplicitDestination(document, QPDFObjectHandle::newUnicodeString(Utf8(anchor)));
    return found;
}

// Links of the page to a shown attachment's address become links to where it is
// shown; one that leads nowhere (its document could not be appended and the page
// has no anchor for it) is taken away rather than left pointing at an address no
// reader knows.
void LinksToShownAttachments(const std::vector<QPDFObjectHandle> &pages, const std::map<std::string, QPDFObjectHandle> &targets)
{
    if (targets.empty())
        return;
    for (QPDFObjectHandle page : pages) {
        QPDFObjectHandle annotations = page.getKey("/Annots");
        if (!annotations.isArray())
            continue;
        for (int i = annotations.getArrayNItems() - 1; i >= 0; --i) {
            QPDFObjectHandle link = annotations.getArrayItem(i);
            if (!link.isDictionary() || !link.getKey("/Subtype").isNameAndEquals("/Link"))
                continue;
            QPDFObjectHandle action = link.getKey("/A");
            if (!action.isDictionary() || !action.getKey("/S").isNameAndEquals("/URI") || !action.getKey("/URI").isString())
                continue;
            const auto target = targets.find(action.getKey("/URI").getUTF8Value());
            if (target == targets.end())
                continue;
            if (QPDFObjectHandle(target->second).isNull()) {
                annotations.eraseItem(i);
                continue;
            }
            QPDFObjectHandle goTo = QPDFObjectHandle::newDictionary();
            goTo.replaceKey("/S", QPDFObjectHandle::newName("/GoTo"));
            goTo.replaceKey("/D", QPDFObjectHandle(target->second).shallowCopy());
            link.replaceKey("/A", goTo);
        }
    }
}

std::vector<QPDFObjectHandle> PagesOf(QPDF &document)
{
    std::vector<QPDFObjectHandle> pages;
    for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(document).getAllPages())
        pages.push_back(page.getObjectHandle());
    return pages;
}

QString ExceptionText(const std::exception &error)
{
    return QString::fromLocal8Bit(error.what());
}

QString UnsafeReason(const std::exception &error)
{
    return QStringLiteral("the document cannot be shown safely (%1)").arg(ExceptionText(error));
}

// One pass over the page the renderer made: parsed once, written once.
QString WriteRecord(QByteArray &bytes, const PdfRecord &record, QList<PdfAppendOutcome> &outcomes, bool appendDocuments)
{
    QPDF document;
    document.setSuppressWarnings(true);
    document.processMemoryFile("page.pdf", bytes.constData(), size_t(bytes.size()));

    QPDFObjectHandle trailer = document.getTrailer();
    QPDFObjectHandle info = trailer.getKey("/Info");
    if (!info.isDictionary()) {
        info = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
        trailer.replaceKey("/Info", info);
    }
    SetInfo(info, "/Title", record.title);
    SetInfo(info, "/Author", record.author);
    SetInfo(info, "/Subject", record.subject);
    SetInfo(info, "/Keywords", record.keywords);
    if (record.created.isValid())
        info.replaceKey("/CreationDate", QPDFObjectHandle::newString(Utf8(PdfDate(record.created))));
    info.replaceKey("/Producer", QPDFObjectHandle::newUnicodeString("Larkspan"));
    RemoveDocumentActions(document);

    const std::vector<QPDFObjectHandle> ownPages = PagesOf(document);
    if (!record.files.isEmpty())
        EmbedFiles(document, ownPages, record.files);

    // Each appended document's stream data is read from its bytes when the record is
    // written; its parsed objects go once its pages are copied.
    std::vector<QPDFObjectHandle> firstPages(size_t(record.shown.size()));
    int budget = record.appendedPageLimit;
    outcomes.clear();
    for (qsizetype i = 0; i < record.shown.size(); ++i) {
        PdfAppendOutcome &outcome = outcomes.emplace_back();
        const QByteArray &attached = record.shown[i].document;
        if (attached.isEmpty() || !appendDocuments)
            continue;
        pdf::SourceDocument source = pdf::OpenSourceDocument(attached, budget, true);
        if (!source.reason.isEmpty()) {
            outcome.reason = source.reason;
            continue;
        }
        if (source.walk.pages.empty()) {
            outcome.cut = true;
            outcome.reason = pdf::PageLimitReason(record.appendedPageLimit);
            continue;
        }
        try {
            pdf::RemoveActiveContent(*source.pdf, source.walk.pages);
        } catch (const std::exception &error) {
            outcome.reason = UnsafeReason(error);
            continue;
        }
        const std::vector<QPDFObjectHandle> copies = pdf::CopyPages(document, *source.pdf, source.walk.pages);
        outcome.pages = int(copies.size());
        outcome.cut = source.walk.more;
        budget -= outcome.pages;
        firstPages[size_t(i)] = copies.front();
    }

    std::map<std::string, QPDFObjectHandle> shownTargets;
    std::vector<pdf::OutlineEntry> shownEntries;
    for (qsizetype i = 0; i < record.shown.size(); ++i) {
        const PdfShownAttachment &shown = record.shown[i];
        QPDFObjectHandle destination = firstPages[size_t(i)].isInitialized() ? pdf::WholePage(firstPages[size_t(i)])
                                                                              : AnchorDestination(document, shown.anchor);
        // Each link and entry gets a copy of its own: no array is shared by two objects.
        if (!shown.linkTarget.isEmpty())
            shownTargets[Utf8(shown.linkTarget)] = destination;
        if (!shown.title.isEmpty() && destination.isArray())
            shownEntries.push_back({Utf8(shown.title), destination.shallowCopy(), {}});
    }
    LinksToShownAttachments(ownPages, shownTargets);

    const QString messageTitle = record.outlineTitle.isEmpty() ? record.title : record.outlineTitle;
    if (!ownPages.empty() && (!record.outlineTitle.isEmpty() || !shownEntries.empty()))
        pdf::WriteOutline(document, {{Utf8(messageTitle), pdf::WholePage(ownPages.front()), shownEntries}});

    QByteArray written;
    written.reserve(bytes.size() + bytes.size() / 8);
    pdf::ByteArrayPipeline output(written);
    QPDFWriter writer(document);
    writer.setOutputPipeline(&output);
    // Every stream is written as it is: the pages' as the renderer or the appended
    // document made them, the files as packed above.
    writer.setDecodeLevel(qpdf_dl_none);
    writer.setCompressStreams(false);
    writer.write();
    bytes.swap(written);
    return QString();
}

} // namespace

QString PdfDate(const QDateTime &when)
{
    const int offset = when.offsetFromUtc();
    QString zone = QStringLiteral("Z");
    if (offset != 0)
        zone = QStringLiteral("%1%2'%3'")
                   .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
                   .arg(std::abs(offset) / 3600, 2, 10, QLatin1Char('0'))
                   .arg(std::abs(offset) % 3600 / 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("D:") + when.toString(QStringLiteral("yyyyMMddHHmmss")) + zone;
}

QString AddRecordToPdf(QByteArray &pdf, const PdfRecord &record, QList<PdfAppendOutcome> *outcomes)
{
    QList<PdfAppendOutcome> results;
    QString problem;
    try {
        problem = WriteRecord(pdf, record, results, true);
    } catch (const std::exception &error) {
        problem = ExceptionText(error);
    } catch (...) {
        problem = QStringLiteral("unknown failure");
    }
    if (!problem.isEmpty() && std::any_of(record.shown.begin(), record.shown.end(),
                                          [](const PdfShownAttachment &shown) { return !shown.document.isEmpty(); })) {
        // An appended document that breaks the writing costs only its pages, not the
        // record: written again without them.
        const QString appendProblem = problem;
        try {
            problem = WriteRecord(pdf, record, results, false);
        } catch (const std::exception &error) {
            problem = ExceptionText(error);
        } catch (...) {
            problem = QStringLiteral("unknown failure");
        }
        for (qsizetype i = 0; i < results.size(); ++i)
            if (!record.shown[i].document.isEmpty())
                results[i].reason = QStringLiteral("the document could not be appended (%1)").arg(appendProblem);
    }
    if (outcomes)
        *outcomes = results;
    return problem;
}

PdfDocumentCheck InspectPdfDocument(const QByteArray &bytes, int pageLimit)
{
    PdfDocumentCheck check;
    pdf::SourceDocument source = pdf::OpenSourceDocument(bytes, pageLimit, false);
    check.reason = source.reason;
    if (check.reason.isEmpty() && !source.walk.pages.empty()) {
        // Made inert as appending would, on this private copy, so that a document
        // appending would refuse is refused here already.
        try {
            pdf::RemoveActiveContent(*source.pdf, source.walk.pages);
        } catch (const std::exception &error) {
            check.reason = UnsafeReason(error);
            source.walk = pdf::PageWalk();
        }
    }
    check.pages = int(source.walk.pages.size());
    check.cut = source.walk.more;
    if (check.reason.isEmpty() && check.pages == 0)
        check.reason = pdf::PageLimitReason(kAppendedPageLimit);
    check.appendable = check.pages > 0;
    return check;
}

} // namespace larkspan
