#pragma once

#include "mail/local/LocalMailSource.h"

#include <QFile>

#include <memory>

namespace larkspan {

namespace mbox {
class MboxScanner;
}

// How the ">From " lines of an mbox file are read.
//   Detect: the file is mboxrd when any body line has two or more '>' before "From "
//     (">>From "): only an mboxrd writer makes those, by quoting a line the sender
//     began with ">From ". Otherwise it is read as mboxo and ">From " lines stay as they
//     are: mboxo's quoting cannot be undone, since ">From " may be the sender's own.
//     An mboxrd file in which no sender wrote ">From " looks exactly like mboxo and is
//     read so, keeping the '>' of its quoted "From " lines, as mail programs show them.
//   Mboxo, Mboxrd: the caller knows.
// Content-Length fields are honoured either way where consistent (see MboxScanner).
enum class MboxQuoting { Detect, Mboxo, Mboxrd };

// An mbox file read in place. Opening checks the file: it must exist, be readable, hold
// something, hold text rather than binary data, and begin with a From_ line. The scan
// then finds every message (MboxScanner), leaves out those its mail program marked
// expunged (MboxHeaderFacts) and lists an mbox that ends inside its last message with
// that message's problem.
class MboxSource final : public LocalMailSource {
public:
    static std::unique_ptr<MboxSource> open(const QString &path, MboxQuoting quoting = MboxQuoting::Detect);
    ~MboxSource() override;

    bool scanStep() override;
    // Decided once the scan has finished (Detect), or as asked.
    bool isMboxrd() const { return m_mboxrd; }

private:
    MboxSource(const QString &path, MboxQuoting quoting);

    MboxQuoting m_quoting;
    bool m_mboxrd = false;
    QFile m_file;
    std::unique_ptr<mbox::MboxScanner> m_scanner;
};

} // namespace larkspan
