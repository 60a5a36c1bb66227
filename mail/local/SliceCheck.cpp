#include "mail/local/SliceCheck.h"

#include <QRandomGenerator>
#include <QtEndian>

#include <cstring>

namespace larkspan {

namespace {

constexpr quint64 kPrime1 = 0x9E3779B185EBCA87ULL;
constexpr quint64 kPrime2 = 0xC2B2AE3D27D4EB4FULL;
constexpr quint64 kPrime3 = 0x165667B19E3779F9ULL;
constexpr quint64 kPrime4 = 0x85EBCA77C2B2AE63ULL;
constexpr quint64 kPrime5 = 0x27D4EB2F165667C5ULL;

inline quint64 RotateLeft(quint64 value, int bits)
{
    return (value << bits) | (value >> (64 - bits));
}

inline quint64 Load64(const unsigned char *p)
{
    quint64 value;
    std::memcpy(&value, p, 8);
    return qFromLittleEndian(value);
}

inline quint32 Load32(const unsigned char *p)
{
    quint32 value;
    std::memcpy(&value, p, 4);
    return qFromLittleEndian(value);
}

inline quint64 Round(quint64 lane, quint64 input)
{
    lane += input * kPrime2;
    lane = RotateLeft(lane, 31);
    return lane * kPrime1;
}

inline quint64 MergeRound(quint64 hash, quint64 lane)
{
    hash ^= Round(0, lane);
    return hash * kPrime1 + kPrime4;
}

} // namespace

quint64 SliceCheck::runKey()
{
    static const quint64 key = QRandomGenerator::system()->generate64();
    return key;
}

SliceCheck::SliceCheck() : m_seed(runKey())
{
    m_lane[0] = m_seed + kPrime1 + kPrime2;
    m_lane[1] = m_seed + kPrime2;
    m_lane[2] = m_seed;
    m_lane[3] = m_seed - kPrime1;
}

void SliceCheck::stripe(const unsigned char *p)
{
    m_lane[0] = Round(m_lane[0], Load64(p));
    m_lane[1] = Round(m_lane[1], Load64(p + 8));
    m_lane[2] = Round(m_lane[2], Load64(p + 16));
    m_lane[3] = Round(m_lane[3], Load64(p + 24));
}

void SliceCheck::add(const char *data, qsizetype size)
{
    if (size <= 0)
        return;
    auto p = reinterpret_cast<const unsigned char *>(data);
    const unsigned char *end = p + size;
    m_total += quint64(size);
    if (m_pendingSize > 0) {
        const int take = int(std::min<qsizetype>(32 - m_pendingSize, end - p));
        std::memcpy(m_pending + m_pendingSize, p, size_t(take));
        m_pendingSize += take;
        p += take;
        if (m_pendingSize < 32)
            return;
        stripe(m_pending);
        m_pendingSize = 0;
    }
    // The lanes in locals: the compiler keeps them in registers across the loop.
    quint64 a = m_lane[0], b = m_lane[1], c = m_lane[2], d = m_lane[3];
    while (end - p >= 32) {
        a = Round(a, Load64(p));
        b = Round(b, Load64(p + 8));
        c = Round(c, Load64(p + 16));
        d = Round(d, Load64(p + 24));
        p += 32;
    }
    m_lane[0] = a, m_lane[1] = b, m_lane[2] = c, m_lane[3] = d;
    if (p < end) {
        std::memcpy(m_pending, p, size_t(end - p));
        m_pendingSize = int(end - p);
    }
}

quint64 SliceCheck::value() const
{
    quint64 hash;
    if (m_total >= 32) {
        hash = RotateLeft(m_lane[0], 1) + RotateLeft(m_lane[1], 7) + RotateLeft(m_lane[2], 12) +
               RotateLeft(m_lane[3], 18);
        for (quint64 lane : m_lane)
            hash = MergeRound(hash, lane);
    } else {
        hash = m_seed + kPrime5;
    }
    hash += m_total;
    const unsigned char *p = m_pending;
    const unsigned char *end = m_pending + m_pendingSize;
    for (; end - p >= 8; p += 8)
        hash = RotateLeft(hash ^ Round(0, Load64(p)), 27) * kPrime1 + kPrime4;
    if (end - p >= 4) {
        hash = RotateLeft(hash ^ (quint64(Load32(p)) * kPrime1), 23) * kPrime2 + kPrime3;
        p += 4;
    }
    for (; p < end; ++p)
        hash = RotateLeft(hash ^ (*p * kPrime5), 11) * kPrime1;
    hash ^= hash >> 33;
    hash *= kPrime2;
    hash ^= hash >> 29;
    hash *= kPrime3;
    hash ^= hash >> 32;
    return hash;
}

quint64 SliceCheck::of(QByteArrayView bytes)
{
    SliceCheck check;
    check.add(bytes);
    return check.value();
}

} // namespace larkspan
