#pragma once

#include <QByteArray>
#include <QByteArrayView>

namespace larkspan {

// The SHA-256 of some bytes, 32 raw bytes. Goes through the crypto library so
// that the processor's hashing instructions are used: every listed message is
// hashed, and a big folder is gigabytes.
QByteArray Sha256(QByteArrayView bytes);

} // namespace larkspan
