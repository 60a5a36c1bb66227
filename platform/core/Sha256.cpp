#include "platform/core/Sha256.h"

#include <QCryptographicHash>

#include <openssl/evp.h>

namespace larkspan {

QByteArray Sha256(QByteArrayView bytes)
{
    QByteArray digest(32, Qt::Uninitialized);
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), size_t(bytes.size()), reinterpret_cast<unsigned char *>(digest.data()), &length,
                   EVP_sha256(), nullptr) == 1 &&
        length == 32)
        return digest;
    // A crypto library without SHA-256 (a FIPS set-up gone wrong) still gets the right answer, slowly.
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256);
}

} // namespace larkspan
