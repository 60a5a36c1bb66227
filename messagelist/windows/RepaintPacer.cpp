#include "messagelist/windows/RepaintPacer.h"

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

namespace larkspan {

RepaintPacer::RepaintPacer(QWidget *window, QWidget *view, int intervalMs)
    : m_window(window), m_view(view), m_interval(intervalMs)
{
    m_timer.setSingleShot(true);
    connect(&m_timer, &QTimer::timeout, this, [this] { release(); });
    if (m_window)
        m_window->installEventFilter(this);
    if (m_view)
        m_view->installEventFilter(this);
}

RepaintPacer::~RepaintPacer()
{
    if (m_view)
        m_view->removeEventFilter(this);
    if (!m_window)
        return;
    m_window->removeEventFilter(this);
    if (m_held)
        QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

void RepaintPacer::release()
{
    m_held = false;
    // The window's painter waits for this request since the one held back.
    if (m_window)
        QCoreApplication::postEvent(m_window, new QEvent(QEvent::UpdateRequest), Qt::LowEventPriority);
}

bool RepaintPacer::eventFilter(QObject *watched, QEvent *event)
{
    if (m_view && watched == m_view && event->type() == QEvent::Timer) {
        if (!m_sinceViewTimer.isValid() || m_sinceViewTimer.elapsed() >= m_interval) {
            m_sinceViewTimer.restart();
            return false;
        }
        return true;
    }
    if (watched != m_window || event->type() != QEvent::UpdateRequest)
        return false;
    if (!m_sinceLast.isValid() || m_sinceLast.elapsed() >= m_interval) {
        m_sinceLast.restart();
        return false;
    }
    if (!m_held) {
        m_held = true;
        m_timer.start(int(m_interval - m_sinceLast.elapsed()));
    }
    return true;
}

} // namespace larkspan
