#include "platform/PdfRecord.h"

#include <QTimeZone>

// No use of qpdf's old PointerHolder here.
#define POINTERHOLDER_TRANSITION 4

#include <qpdf/Buffer.hh>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFEFStreamObjectHelper.hh>
#include <qpdf/QPDFEmbeddedFileDocumentHelper.hh>
#include <qpdf/QPDFFileSpecObjectHelper.hh>
#include <qpdf/QPDFObjectHandle.hh>
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
            int position = 0;
            for (const PdfEmbeddedFile &file : record.files) {
                auto stream = QPDFEFStreamObjectHelper::createEFStream(
                    document, std::string(file.data.constData(), size_t(file.data.size())));
                stream.setSubtype(Utf8(file.mimeType));
                if (file.date.isValid()) {
                    const std::string date = Utf8(PdfDate(file.date));
                    stream.setCreationDate(date).setModDate(date);
                }
                auto spec = QPDFFileSpecObjectHelper::createFileSpec(document, Utf8(file.name), stream);
                spec.setFilename(Utf8(file.name), AsciiName(file.name));
                if (!file.description.isEmpty())
                    spec.setDescription(Utf8(file.description));
                spec.getObjectHandle().replaceKey(
                    "/AFRelationship", QPDFObjectHandle::newName(file.relationship == PdfEmbeddedFile::Relationship::Source
                                                                     ? "/Source"
                                                                     : "/Data"));
                // The name tree is sorted by key: numbered keys keep the files in the
                // order given (the message first, then its attachments as they come).
                embedded.replaceEmbeddedFile(QStringLiteral("%1").arg(++position, 4, 10, QLatin1Char('0')).toStdString(), spec);
                associated.appendItem(spec.getObjectHandle());
            }
            document.getRoot().replaceKey("/AF", associated);
        }

        QPDFWriter writer(document);
        writer.setOutputMemory();
        // The pages' own streams are copied as they are; only the new files get compressed.
        writer.setDecodeLevel(qpdf_dl_none);
        writer.setCompressStreams(true);
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
