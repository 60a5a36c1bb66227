#include "FuzzTargets.h"

#include "mail/ImapCodec.h"
#include "mail/MailMessage.h"
#include "mail/OleDate.h"
#include "platform/core/PdfRecord.h"
#include "support/PdfSamples.h"

#include <algorithm>

namespace larkspan::fuzz {

long long ReadMessage(const uint8_t *data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    const qsizetype newline = raw.indexOf('\n');
    const QByteArray internalDate = newline > 0 ? raw.left(std::min<qsizetype>(newline, 64)) : QByteArray();
    const auto message = MailMessage::fromBytes(raw, internalDate);
    long long total = message->fromText().size() + message->senderName().size() + message->senderAddress().size() +
                      message->subject().size() + message->plainTextBody().size() + message->htmlBody().size() +
                      message->toText().size() + message->ccText().size();
    return total + OleDateToGeneralText(message->date()).size();
}

long long ReadResponses(const uint8_t *data, size_t size)
{
    using namespace imap;
    if (size == 0)
        return 0;
    const size_t chunk = size_t(data[0] % 31) + 1;
    ResponseReader reader;
    long long values = 0;
    for (size_t at = 1; at < size; at += chunk) {
        reader.feed(QByteArray(reinterpret_cast<const char *>(data + at), qsizetype(std::min(chunk, size - at))));
        while (auto response = reader.next()) {
            values += response->text().size() + response->tag().size();
            ValueCursor cursor(*response, 0, std::min<qsizetype>(2, response->lines.first().size()));
            while (auto value = cursor.next())
                values += value->items.size() + value->bytes.size();
            values += DecodeMailboxName(response->rest()).size();
        }
        if (reader.inLiteral())
            values += reader.literalReceived() + reader.pendingFirstLine().size();
        values += reader.overflowText().size();
    }
    return values;
}

long long AppendDocument(const uint8_t *data, size_t size)
{
    const QByteArray document(reinterpret_cast<const char *>(data), qsizetype(size));
    const PdfDocumentCheck check = InspectPdfDocument(document, 50);
    static const QByteArray page = test::MakeSamplePdf({{}});
    QByteArray pdf = page;
    PdfRecord record;
    record.appendedPageLimit = 50;
    record.shown.append({QStringLiteral("document"), QString(), document, QStringLiteral("larkspan-shown:1")});
    QList<PdfAppendOutcome> outcomes;
    const QString problem = AddRecordToPdf(pdf, record, &outcomes);
    return check.pages + check.reason.size() + pdf.size() + problem.size() + outcomes.value(0).pages;
}

} // namespace larkspan::fuzz
