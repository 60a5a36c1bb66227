#pragma once

#include <QStringList>

namespace larkspan::test {

// Everything the program logs while it lives, the IMAP wire log (larkspan.imap.wire)
// and the other larkspan categories turned on for it; the previous handler and
// rules come back when it ends. One at a time.
class WireLog {
public:
    WireLog();
    ~WireLog();
    WireLog(const WireLog &) = delete;
    WireLog &operator=(const WireLog &) = delete;

    QStringList lines() const;
    // The client's lines only ("C: ..."), without the "C: ".
    QStringList clientLines() const;
};

} // namespace larkspan::test
