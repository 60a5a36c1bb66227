#include "platform/core/TextArena.h"

#include <algorithm>

namespace larkspan {

namespace {

constexpr qsizetype kBlockChars = 32 * 1024;

} // namespace

TextArena::Ref TextArena::add(QStringView text)
{
    const qsizetype length = text.size();
    if (length == 0)
        return {};
    qsizetype block = m_current;
    if (length > kBlockChars / 4) {
        // A long text gets a block of its own; small ones keep filling the current.
        m_blocks.push_back({std::make_unique<char16_t[]>(size_t(length)), length});
        block = qsizetype(m_blocks.size()) - 1;
        std::copy_n(text.utf16(), length, m_blocks.back().chars.get());
        return {quint32(block), 0, quint32(length)};
    }
    if (block < 0 || m_used + length > m_blocks[size_t(block)].size) {
        m_blocks.push_back({std::make_unique<char16_t[]>(size_t(kBlockChars)), kBlockChars});
        m_current = block = qsizetype(m_blocks.size()) - 1;
        m_used = 0;
    }
    const Ref ref{quint32(block), quint32(m_used), quint32(length)};
    std::copy_n(text.utf16(), length, m_blocks[size_t(block)].chars.get() + m_used);
    m_used += length;
    return ref;
}

void TextArena::clear()
{
    m_blocks.clear();
    m_current = -1;
    m_used = 0;
}

} // namespace larkspan
