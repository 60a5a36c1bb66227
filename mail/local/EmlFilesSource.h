#pragma once

#include "mail/local/LocalMailSource.h"

#include <QByteArray>
#include <QStringList>

#include <memory>

namespace larkspan {

// Messages saved one to a file (.eml), in the order the files were given. A file that
// begins with an mbox From_ line (some programs save one) is read from the line after.
// The scan checks each file: one that cannot be read, is empty, holds binary data or
// does not begin with the header fields of a message is listed with that problem, so
// the caller reports it at its row while the other files are read.
class EmlFilesSource final : public LocalMailSource {
public:
    // Raises AppError when files is empty; each file is checked by the scan.
    static std::unique_ptr<EmlFilesSource> open(const QStringList &files);

    bool scanStep() override;

private:
    explicit EmlFilesSource(const QStringList &files);

    QStringList m_files;
    qsizetype m_next = 0;
    QByteArray m_chunk;
};

} // namespace larkspan
