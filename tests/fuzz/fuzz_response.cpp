// libFuzzer harness: server bytes, split into chunks, through the response reader and
// the value parser the client uses for FETCH and LIST answers.

#include "mail/ImapCodec.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    using namespace larkspan::imap;
    if (size == 0)
        return 0;
    // The first octet picks the chunk size, so splits fall everywhere.
    const size_t chunk = size_t(data[0] % 31) + 1;
    ResponseReader reader;
    qsizetype values = 0;
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
    }
    return values < 0 ? 1 : 0;
}
