#include "platform/core/PdfRecord.h"

#include <QTimeZone>

// No use of qpdf's old PointerHolder here.
#define POINTERHOLDER_TRANSITION 4

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>
#include <qpdf/QPDFWriter.hh>

#include <exception>

namespace larkspan {

namespace {

std::string Utf8(const QString &text)
{
    return text.toStdString();
}

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
void LinksToFileAnnotations(QPDF &document, std::map<std::string, QPDFObjectHandle> &targets)
{
    if (targets.empty())
        return;
    for (QPDFPageObjectHelper &page : QPDFPageDocumentHelper(document).getAllPages()) {
        QPDFObjectHandle annotations = page.getObjectHandle().getKey("/Annots");
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
            annotation.replaceKey("/P", page.getObjectHandle());
            annotations.setArrayItem(i, document.makeIndirectObject(annotation));
        }
    }
}

void SetInfo(QPDFObjectHandle &info, const char *key, const QString &value)
{
    if (!value.isEmpty())
        info.replaceKey(key, QPDFObjectHandle::newUnicodeString(Utf8(value)));
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

QString AddRecordToPdf(QByteArray &pdf, const PdfRecord &record)
{
    try {
        QPDF document;
        document.setSuppressWarnings(true);
        document.processMemoryFile("page.pdf", pdf.constData(), size_t(pdf.size()));

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

        if (!record.files.isEmpty()) {
            QPDFEmbeddedFileDocumentHelper embedded(document);
            QPDFObjectHandle associated = QPDFObjectHandle::newArray();
            std::map<std::string, QPDFObjectHandle> linkTargets;
            int position = 0;
            for (const PdfEmbeddedFile &file : record.files) {
                auto stream = QPDFEFStreamObjectHelper::createEFStream(
                    document, std::string(file.data.constData(), size_t(file.data.size())));
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
                    "/AFRelationship", QPDFObjectHandle::newName(file.relationship == PdfEmbeddedFile::Relationship::Source
                                                                     ? "/Source"
                                                                     : "/Data"));
                // The name tree is sorted by key: numbered keys keep the files in the
                // order given (the message first, then its attachments as they come).
                embedded.replaceEmbeddedFile(QStringLiteral("%1").arg(++position, 4, 10, QLatin1Char('0')).toStdString(), fileSpec);
                associated.appendItem(fileSpec.getObjectHandle());
                if (!file.linkTarget.isEmpty())
                    linkTargets[Utf8(file.linkTarget)] = fileSpec.getObjectHandle();
            }
            document.getRoot().replaceKey("/AF", associated);
            LinksToFileAnnotations(document, linkTargets);
        }

        QPDFWriter writer(document);
        writer.setOutputMemory();
        // Every stream is written as it is: the pages' as the renderer made them, the
        // files as packed above.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(false);
        writer.write();
        const std::shared_ptr<Buffer> written = writer.getBufferSharedPointer();
        pdf = QByteArray(reinterpret_cast<const char *>(written->getBuffer()), qsizetype(written->getSize()));
        return QString();
    } catch (const std::exception &error) {
        return QString::fromLocal8Bit(error.what());
    } catch (...) {
        return QStringLiteral("unknown failure");
    }
}

} // namespace larkspan
