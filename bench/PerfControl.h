#pragma once

#include <QByteArray>
#include <QtGlobal>

#include <cstdio>

namespace larkspan::bench {

// Switches a waiting `perf record --control fifo:<fifo> -D -1` on or off, when
// LARKSPAN_PERF_CONTROL names that fifo, so a profile holds the timed work only.
inline void PerfControl(bool on)
{
    static FILE *control = [] {
        const QByteArray path = qgetenv("LARKSPAN_PERF_CONTROL");
        return path.isEmpty() ? nullptr : std::fopen(path.constData(), "w");
    }();
    if (!control)
        return;
    std::fputs(on ? "enable\n" : "disable\n", control);
    std::fflush(control);
}

} // namespace larkspan::bench
