#include "platform/core/PdfBundle.h"

#include "platform/core/PdfRecord.h"

#include "PdfDestinations.h"
#include "PdfOutline.h"
#include "PdfOutput.h"
#include "PdfPageCopy.h"
#include "PdfPageTree.h"
#include "PdfQpdf.h"

#include <qpdf/ClosedFileInputSource.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QHash>
#include <QSet>

#include <climits>
#include <map>
#include <memory>
#include <set>
#include <stdexcept>

namespace larkspan {

using pdf::FromUtf8;
using pdf::Utf8;

namespace {

std::string LocalPath(const QString &path)
{
    return QFile::encodeName(path).toStdString();
}

// Reads a document from its file, opening the file only while it is read: a bundle
// holds on to every part's input until it is written, and a process may open only so
// many files at once.
std::unique_ptr<QPDF> OpenClosedFile(const QString &path, std::shared_ptr<ClosedFileInputSource> &input)
{
    input = std::make_shared<ClosedFileInputSource>(LocalPath(path).c_str());
    input->stayOpen(true);
    auto document = std::make_unique<QPDF>();
    document->setSuppressWarnings(true);
    document->processInputSource(input);
    return document;
}

// Names unique within the bundle, compared without case as file systems that receive
// them may: "invoice.pdf", "invoice (2).pdf", ...
class UniqueNames {
public:
    QString take(const QString &wanted)
    {
        const QString name = wanted.isEmpty() ? QStringLiteral("attachment") : wanted;
        const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
        const QString stem = dot > 0 ? name.left(dot) : name;
        const QString extension = dot > 0 ? name.mid(dot) : QString();
        // Counting on from the last number given for this name keeps 2,000 messages
        // that each carry a "message.eml" from trying every number again.
        int &next = m_next[name.toCaseFolded()];
        QString candidate = name;
        for (int n = std::max(next, 2); m_taken.contains(candidate.toCaseFolded()); ++n) {
            candidate = QStringLiteral("%1 (%2)%3").arg(stem).arg(n).arg(extension);
            next = n + 1;
        }
        m_taken.insert(candidate.toCaseFolded());
        return candidate;
    }

private:
    QSet<QString> m_taken;
    QHash<QString, int> m_next;
};

std::string AsciiName(const QString &name)
{
    std::string out;
    for (const QChar c : name)
        out.push_back(c.unicode() >= 0x20 && c.unicode() < 0x7f ? char(c.unicode()) : '_');
    return out;
}

// The files a part carries: those of its EmbeddedFiles tree in the tree's order, then
// any associated file not in it.
std::vector<QPDFObjectHandle> EmbeddedFilesOf(QPDF &part)
{
    std::vector<QPDFObjectHandle> files;
    std::set<QPDFObjGen> seen;
    auto add = [&](QPDFObjectHandle fileSpec) {
        if (!fileSpec.isDictionary() || !fileSpec.isIndirect() || !seen.insert(fileSpec.getObjGen()).second)
            return;
        files.push_back(fileSpec);
    };
    QPDFEmbeddedFileDocumentHelper embedded(part);
    for (const auto &entry : embedded.getEmbeddedFiles())
        add(entry.second->getObjectHandle());
    QPDFObjectHandle associated = part.getRoot().getKey("/AF");
    if (associated.isArray())
        for (int i = 0; i < associated.getArrayNItems(); ++i)
            add(associated.getArrayItem(i));
    return files;
}

// A destination of the part made into the same destination in the bundle; null when
// its page was not copied.
QPDFObjectHandle MapDestination(QPDFObjectHandle destination, const std::map<QPDFObjGen, QPDFObjectHandle> &pages)
{
    if (!destination.isArray() || destination.getArrayNItems() < 1)
        return QPDFObjectHandle::newNull();
    QPDFObjectHandle page = destination.getArrayItem(0);
    const auto found = page.isIndirect() ? pages.find(page.getObjGen()) : pages.end();
    if (found == pages.end())
        return QPDFObjectHandle::newNull();
    QPDFObjectHandle mapped = QPDFObjectHandle::newArray();
    mapped.appendItem(found->second);
    for (int i = 1; i < destination.getArrayNItems(); ++i) {
        QPDFObjectHandle item = destination.getArrayItem(i);
        if (item.isIndirect() || !(item.isNumber() || item.isName() || item.isNull()))
            return pdf::WholePage(found->second);
        mapped.appendItem(item.shallowCopy());
    }
    return mapped;
}

struct BundleState {
    QPDF &bundle;
    UniqueNames names;
    QPDFEmbeddedFileDocumentHelper files;
    QPDFObjectHandle associated = QPDFObjectHandle::newArray();
    int fileCount = 0;
    std::vector<QPDFObjectHandle> firstPages;
    std::vector<pdf::OutlineEntry> outline;
    // Kept until the bundle is written: its stream data is read from them then.
    std::vector<std::shared_ptr<ClosedFileInputSource>> inputs;

    explicit BundleState(QPDF &document)
        : bundle(document)
        , files(document)
    {
    }
};

void AddPart(BundleState &state, const PdfBundlePart &part)
{
    std::shared_ptr<ClosedFileInputSource> input;
    std::unique_ptr<QPDF> source = OpenClosedFile(part.path, input);
    const pdf::PageWalk walk = pdf::WalkPages(*source, INT_MAX, true);
    if (walk.pages.empty())
        throw std::runtime_error("it has no pages");

    // The part's links to its own named destinations name them in its catalog, which
    // stays behind.
    for (QPDFObjectHandle page : walk.pages) {
        QPDFObjectHandle annotations = page.getKey("/Annots");
        if (annotations.isArray())
            for (int i = 0; i < annotations.getArrayNItems(); ++i)
                pdf::MakeDestinationExplicit(*source, annotations.getArrayItem(i));
    }
    // Read before the page tree is replaced for the copy.
    const std::vector<QPDFObjectHandle> fileSpecs = EmbeddedFilesOf(*source);
    std::vector<QPDFObjGen> pageIds;
    for (QPDFObjectHandle page : walk.pages)
        pageIds.push_back(page.getObjGen());

    const std::vector<QPDFObjectHandle> copies = pdf::CopyPages(state.bundle, *source, walk.pages);
    std::map<QPDFObjGen, QPDFObjectHandle> pageMap;
    for (std::size_t i = 0; i < copies.size(); ++i)
        pageMap[pageIds[i]] = copies[i];

    std::vector<pdf::OutlineEntry> own = pdf::ReadOutline(
        *source, [&pageMap](QPDFObjectHandle destination) { return MapDestination(destination, pageMap); });
    // A record's outline is one entry for the message with its attachments below it;
    // the bundle's entry for the message takes that entry's place.
    if (own.size() == 1 && own.front().destination.isArray() && own.front().destination.getArrayItem(0).isIndirect() &&
        own.front().destination.getArrayItem(0).getObjGen() == copies.front().getObjGen())
        own = std::move(own.front().children);
    state.outline.push_back({Utf8(part.title), pdf::WholePage(copies.front()), std::move(own)});
    state.firstPages.push_back(copies.front());

    for (QPDFObjectHandle fileSpec : fileSpecs) {
        QPDFObjectHandle copy = state.bundle.copyForeignObject(fileSpec);
        QPDFFileSpecObjectHelper helper(copy);
        const QString name = state.names.take(FromUtf8(helper.getFilename()));
        helper.setFilename(Utf8(name), AsciiName(name));
        state.files.replaceEmbeddedFile(QStringLiteral("%1").arg(++state.fileCount, 6, 10, QLatin1Char('0')).toStdString(),
                                        helper);
        state.associated.appendItem(copy);
    }

    input->stayOpen(false);
    state.inputs.push_back(input);
}

// Contents links to a message go to its first page; one to a number that is not a
// message is taken away.
void LinkContents(const std::vector<QPDFObjectHandle> &contentsPages, const std::vector<QPDFObjectHandle> &firstPages)
{
    const std::string prefix = kBundleMessageLinkPrefix;
    for (QPDFObjectHandle page : contentsPages) {
        QPDFObjectHandle annotations = page.getKey("/Annots");
        if (!annotations.isArray())
            continue;
        for (int i = annotations.getArrayNItems() - 1; i >= 0; --i) {
            QPDFObjectHandle link = annotations.getArrayItem(i);
            QPDFObjectHandle action = link.isDictionary() ? link.getKey("/A") : QPDFObjectHandle::newNull();
            if (!action.isDictionary() || !action.getKey("/S").isNameAndEquals("/URI") || !action.getKey("/URI").isString())
                continue;
            const std::string uri = action.getKey("/URI").getUTF8Value();
            if (uri.compare(0, prefix.size(), prefix) != 0)
                continue;
            bool ok = false;
            const int number = FromUtf8(uri.substr(prefix.size())).toInt(&ok);
            if (!ok || number < 1 || std::size_t(number) > firstPages.size()) {
                annotations.eraseItem(i);
                continue;
            }
            QPDFObjectHandle goTo = QPDFObjectHandle::newDictionary();
            goTo.replaceKey("/S", QPDFObjectHandle::newName("/GoTo"));
            goTo.replaceKey("/D", pdf::WholePage(firstPages[std::size_t(number - 1)]));
            link.replaceKey("/A", goTo);
        }
    }
}

void SetInformation(QPDF &bundle, const PdfBundleInfo &info)
{
    QPDFObjectHandle dictionary = bundle.makeIndirectObject(QPDFObjectHandle::newDictionary());
    auto set = [&](const char *key, const QString &value) {
        if (!value.isEmpty())
            dictionary.replaceKey(key, QPDFObjectHandle::newUnicodeString(Utf8(value)));
    };
    set("/Title", info.title);
    set("/Author", info.author);
    set("/Subject", info.subject);
    set("/Keywords", info.keywords);
    if (info.created.isValid())
        dictionary.replaceKey("/CreationDate", QPDFObjectHandle::newString(Utf8(PdfDate(info.created))));
    dictionary.replaceKey("/Producer", QPDFObjectHandle::newUnicodeString("Larkspan"));
    bundle.getTrailer().replaceKey("/Info", dictionary);
}

QString What(const std::exception &error)
{
    return QString::fromLocal8Bit(error.what());
}

} // namespace

QString WritePdfBundle(const QString &targetPath, const QString &contentsPath, const QList<PdfBundlePart> &parts,
                       const PdfBundleInfo &info, const std::function<bool()> &keepGoing)
{
    const QString cancelled = QStringLiteral("The PDF file \"%1\" was not written: cancelled.").arg(QDir::toNativeSeparators(targetPath));
    // Declared first so that it goes last: unless committed, its temporary file goes
    // with it and the target stays as it was.
    QSaveFile file(targetPath);
    QString step = QStringLiteral("the contents");
    try {
        std::shared_ptr<ClosedFileInputSource> contentsInput;
        std::unique_ptr<QPDF> bundle = OpenClosedFile(contentsPath, contentsInput);
        QPDFObjectHandle root = bundle->getRoot();
        for (const char *key : {"/OpenAction", "/AA", "/Outlines", "/AF"})
            root.removeKey(key);
        root.removeKey("/Names"); // a rendered page's: no script, no files of its own

        const pdf::PageWalk contents = pdf::WalkPages(*bundle, INT_MAX, true);
        if (contents.pages.empty())
            throw std::runtime_error("it has no pages");
        for (QPDFObjectHandle page : contents.pages) {
            QPDFObjectHandle annotations = page.getKey("/Annots");
            if (annotations.isArray())
                for (int i = 0; i < annotations.getArrayNItems(); ++i)
                    pdf::MakeDestinationExplicit(*bundle, annotations.getArrayItem(i));
        }
        // qpdf's page list, for appending the parts, starts from the walked pages.
        pdf::ReplacePageTree(*bundle, contents.pages);

        BundleState state(*bundle);
        for (qsizetype i = 0; i < parts.size(); ++i) {
            step = QStringLiteral("message %1 (\"%2\")").arg(i + 1).arg(QDir::toNativeSeparators(parts[i].path));
            AddPart(state, parts[i]);
            if (keepGoing && !keepGoing())
                return cancelled;
        }
        step = QStringLiteral("the bundle");
        LinkContents(contents.pages, state.firstPages);
        pdf::WriteOutline(*bundle, state.outline);
        if (state.associated.getArrayNItems() > 0)
            root.replaceKey("/AF", state.associated);
        SetInformation(*bundle, info);

        contentsInput->stayOpen(false);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            return QStringLiteral("The PDF file \"%1\" could not be written: %2")
                .arg(QDir::toNativeSeparators(targetPath), file.errorString());
        step = QStringLiteral("the file");
        pdf::DevicePipeline output(file, keepGoing);
        QPDFWriter writer(*bundle);
        writer.setOutputPipeline(&output);
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        writer.write();
        if (!output.problem().isEmpty()) {
            file.cancelWriting();
            if (output.problem() == QLatin1String("cancelled"))
                return cancelled;
            return QStringLiteral("The PDF file \"%1\" could not be written: %2")
                .arg(QDir::toNativeSeparators(targetPath), output.problem());
        }
        if (!file.commit())
            return QStringLiteral("The PDF file \"%1\" could not be written: %2")
                .arg(QDir::toNativeSeparators(targetPath), file.errorString());
        return QString();
    } catch (const std::exception &error) {
        file.cancelWriting();
        if (step == QLatin1String("the file"))
            return QStringLiteral("The PDF file \"%1\" could not be written: %2")
                .arg(QDir::toNativeSeparators(targetPath), What(error));
        return QStringLiteral("The PDF file \"%1\" could not be made: %2 cannot be read (%3)")
            .arg(QDir::toNativeSeparators(targetPath), step, What(error));
    }
}

int CountPdfPages(const QString &path, QString *problem)
{
    try {
        std::shared_ptr<ClosedFileInputSource> input;
        std::unique_ptr<QPDF> document = OpenClosedFile(path, input);
        const int pages = int(pdf::WalkPages(*document, INT_MAX, false).pages.size());
        input->stayOpen(false);
        return pages;
    } catch (const std::exception &error) {
        if (problem)
            *problem = What(error);
        return -1;
    }
}

} // namespace larkspan
