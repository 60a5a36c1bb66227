#include "PdfOutput.h"

#include <QIODevice>


namespace larkspan::pdf {

namespace {
constexpr qsizetype kPieceSize = 1 << 20;
}

ByteArrayPipeline::ByteArrayPipeline(QByteArray &out)
    : Pipeline("larkspan bytes", nullptr)
    , m_out(out)
{
}

void ByteArrayPipeline::write(unsigned char const *data, size_t length)
{
    m_out.append(reinterpret_cast<const char *>(data), qsizetype(length));
}

DevicePipeline::DevicePipeline(QIODevice &device, std::function<bool()> keepGoing)
    : Pipeline("larkspan file", nullptr)
    , m_device(device)
    , m_keepGoing(std::move(keepGoing))
{
    m_pending.reserve(kPieceSize);
}

void DevicePipeline::write(unsigned char const *data, size_t length)
{
    if (!m_problem.isEmpty())
        return;
    m_pending.append(reinterpret_cast<const char *>(data), qsizetype(length));
    if (m_pending.size() >= kPieceSize)
        flush();
}

void DevicePipeline::finish()
{
    flush();
}

void DevicePipeline::flush()
{
    qsizetype done = 0;
    while (m_problem.isEmpty() && done < m_pending.size()) {
        const qint64 written = m_device.write(m_pending.constData() + done, m_pending.size() - done);
        if (written <= 0)
            m_problem = m_device.errorString();
        else
            done += qsizetype(written);
    }
    m_pending.clear();
    if (m_problem.isEmpty() && m_keepGoing && !m_keepGoing())
        m_problem = QStringLiteral("cancelled");
}

} // namespace larkspan::pdf
