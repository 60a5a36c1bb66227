#include "export/cli/ProgressLine.h"

#include <cmath>
#include <cstdio>
#include <unistd.h>

namespace larkspan {

namespace {

void Write(FILE *to, const QString &line)
{
    std::fputs(line.toLocal8Bit().constData(), to);
    std::fflush(to);
}

QString Duration(double seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(qRound(seconds));
    if (seconds < 3600)
        return QStringLiteral("%1 min").arg(qRound(seconds / 60));
    return QStringLiteral("%1 h %2 min").arg(int(seconds / 3600)).arg(qRound(std::fmod(seconds, 3600.0) / 60));
}

} // namespace

ProgressLine::ProgressLine(bool quiet) : m_live(!quiet && isatty(STDERR_FILENO))
{
}

ProgressLine::~ProgressLine()
{
    clear();
}

void ProgressLine::clear()
{
    if (m_drawn)
        Write(stderr, QStringLiteral("\r\033[K"));
    m_drawn = false;
}

void ProgressLine::begin(const QString &stage, int total)
{
    m_stage = stage;
    m_total = total;
    m_started.start();
    m_lastDrawn = -1;
    step(0);
}

void ProgressLine::step(int done)
{
    if (!m_live)
        return;
    // Five times a second is all a reader can follow.
    const qint64 now = m_started.elapsed();
    if (m_lastDrawn >= 0 && now - m_lastDrawn < 200 && done < m_total)
        return;
    m_lastDrawn = now;
    QString line = QStringLiteral("%1: %2 of %3").arg(m_stage).arg(done).arg(m_total);
    const double seconds = now / 1000.0;
    if (done > 0 && seconds > 0.5) {
        const double rate = done / seconds;
        line += QStringLiteral(", %1 a second").arg(rate, 0, 'f', rate < 10 ? 1 : 0);
        if (done < m_total)
            line += QStringLiteral(", %1 left").arg(Duration((m_total - done) / rate));
    }
    Write(stderr, QStringLiteral("\r\033[K") + line);
    m_drawn = true;
}

void ProgressLine::end(const QString &line)
{
    clear();
    say(line);
}

void ProgressLine::say(const QString &line)
{
    clear();
    Write(stdout, line + QLatin1Char('\n'));
}

void ProgressLine::fail(const QString &line)
{
    clear();
    Write(stderr, QStringLiteral("larkspan-export: ") + line + QLatin1Char('\n'));
}

} // namespace larkspan
