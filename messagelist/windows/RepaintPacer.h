#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

class QWidget;

namespace larkspan {

// Paces the repaints of a window to at most one per interval while it exists.
//
// A retrieval run yields to the event loop after every message, and each yield would
// otherwise repaint the list, its header, the progress bar and the window behind
// them, which costs several times the fetch itself. Input, timers and every other
// event still go through at each yield; only the painting waits, for at most one
// interval, and nothing that was changed meanwhile is lost: the held repaint covers
// everything marked dirty since the last one.
//
// A list view given as view also gets its own timers paced the same way: the view
// re-lays out all its rows from a timer after every appended row, which would make
// each message cost time in proportion to the rows already listed. Its timers repeat
// until they are handled, so a held one simply comes again at a later yield.
class RepaintPacer : public QObject {
public:
    explicit RepaintPacer(QWidget *window, QWidget *view = nullptr, int intervalMs = 40);
    ~RepaintPacer() override;
    RepaintPacer(const RepaintPacer &) = delete;
    RepaintPacer &operator=(const RepaintPacer &) = delete;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void release();

    QPointer<QWidget> m_window;
    QPointer<QWidget> m_view;
    int m_interval;
    QElapsedTimer m_sinceLast;
    QElapsedTimer m_sinceViewTimer;
    QTimer m_timer;
    bool m_held = false;
};

} // namespace larkspan
