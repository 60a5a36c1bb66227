#pragma once

#include <QElapsedTimer>
#include <QString>

namespace larkspan {

// What larkspan-export tells while it works. On a terminal a progress line is kept up
// to date ("Exporting: 40 of 200, 18.5 a second, 9 s left"); otherwise, and when
// quiet, one line per stage. Every failure gets a line of its own on standard error.
class ProgressLine {
public:
    ProgressLine(bool quiet);
    ~ProgressLine();

    // A stage begins ("Listing", "Exporting"), of total steps.
    void begin(const QString &stage, int total);
    void step(int done);
    // The stage's closing line, printed in every mode.
    void end(const QString &line);
    // A line on its own (standard output), or a failure (standard error).
    void say(const QString &line);
    void fail(const QString &line);

private:
    void clear();

    bool m_live;
    QString m_stage;
    int m_total = 0;
    QElapsedTimer m_started;
    qint64 m_lastDrawn = -1;
    bool m_drawn = false;
};

} // namespace larkspan
