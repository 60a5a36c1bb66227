#pragma once

#include <QString>
#include <QStringView>

#include <memory>
#include <vector>

namespace larkspan {

// Many small texts that live as long as one another, kept in a few large blocks.
//
// A message list keeps six texts a row for as long as the list lasts. As separate
// heap blocks, made one message at a time between the mail parser's short-lived
// ones, they cut the free heap into small pieces and every later allocation slowed
// down; here a row's texts cost no allocation of their own.
class TextArena {
public:
    // Where a text lies; an empty text lies nowhere.
    struct Ref {
        quint32 block = 0;
        quint32 offset = 0;
        quint32 length = 0;
    };

    Ref add(QStringView text);
    QStringView view(Ref ref) const
    {
        return ref.length == 0 ? QStringView()
                               : QStringView(m_blocks[ref.block].chars.get() + ref.offset, qsizetype(ref.length));
    }
    // Forgets every text; earlier refs become invalid.
    void clear();

private:
    struct Block {
        std::unique_ptr<char16_t[]> chars;
        qsizetype size = 0;
    };
    std::vector<Block> m_blocks;
    qsizetype m_current = -1; // the block that takes small texts
    qsizetype m_used = 0;     // of the current block
};

} // namespace larkspan
