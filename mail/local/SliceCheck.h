#pragma once

#include <QByteArrayView>
#include <QtGlobal>

namespace larkspan {

// A keyed 64-bit hash of a message's octets as they lie in a file on the disk, taken
// when the source is scanned and compared on every read: a file changed underneath
// (a message rewritten, moved or cut) is caught instead of giving the wrong message.
// It is fed in pieces, so a scan can take it while the file streams past in chunks,
// and the result does not depend on how the octets were cut into pieces.
// The key is chosen at random once a run: a check is only valid within one run of
// the program. Not a message's identity across runs: that is the SHA-256 of its octets.
// The mixing is the XXH64 construction (four 64-bit lanes over 32-byte stripes), which
// hashes at memory speed.
class SliceCheck {
public:
    SliceCheck();
    void add(const char *data, qsizetype size);
    void add(QByteArrayView bytes) { add(bytes.data(), bytes.size()); }
    quint64 value() const;
    qint64 length() const { return qint64(m_total); }

    static quint64 of(QByteArrayView bytes);
    // The key of this run.
    static quint64 runKey();

private:
    void stripe(const unsigned char *p);

    quint64 m_lane[4];
    quint64 m_seed;
    quint64 m_total = 0;
    unsigned char m_pending[32];
    int m_pendingSize = 0;
};

} // namespace larkspan
