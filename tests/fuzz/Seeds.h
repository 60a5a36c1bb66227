#pragma once

#include <QByteArray>
#include <QList>

namespace larkspan::fuzz {

// What a well-behaved server sends, from the scripted server's own answers: the
// greeting and the replies to every command the client uses, messages included.
// Each starts with the octet that picks the harness's chunk size.
QList<QByteArray> ServerReplySeeds();

// Every test message under tests/data.
QList<QByteArray> MessageSeeds();

// PDF documents as mail carries them: simple, of several page sizes, with links.
QList<QByteArray> PdfSeeds();

// Inputs a fuzzer once found, kept under tests/data/fuzz/<harness>/.
QList<QByteArray> KeptFindings(const char *harness);

} // namespace larkspan::fuzz
