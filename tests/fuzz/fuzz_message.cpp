// libFuzzer harness: raw message octets to the fields the session hands on.

#include "mail/MailMessage.h"
#include "mail/OleDate.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray raw(reinterpret_cast<const char *>(data), qsizetype(size));
    // The first line doubles as the INTERNALDATE, so its parser is exercised too.
    const qsizetype newline = raw.indexOf('\n');
    const QByteArray internalDate = newline > 0 ? raw.left(std::min<qsizetype>(newline, 64)) : QByteArray();
    const auto message = larkspan::MailMessage::fromBytes(raw, internalDate);
    qsizetype total = message->fromText().size() + message->senderName().size() + message->senderAddress().size() +
                      message->subject().size() + message->plainTextBody().size() + message->htmlBody().size();
    total += larkspan::OleDateToGeneralText(message->date()).size();
    return total < 0 ? 1 : 0;
}
