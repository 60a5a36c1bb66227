#include "platform/WindowPointer.h"

#include <QFile>
#include <QPixmap>
#include <QWidget>

namespace larkspan {

WindowPointer::WindowPointer(QWidget *window) : QObject(window), m_window(window) {}

void WindowPointer::setPointer(MousePointer pointer)
{
    m_pointer = pointer;
    apply();
}

bool WindowPointer::loadCustomCursor(const QString &path)
{
    m_custom.reset();
    if (!QFile::exists(path))
        return false;
    QPixmap pixmap(path);
    if (pixmap.isNull())
        return false;
    // A hand's hot spot is the tip of the index finger, near the top left quarter.
    m_custom = QCursor(pixmap, pixmap.width() / 4, 0);
    return true;
}

QCursor WindowPointer::customCursor() const
{
    return m_custom.value_or(QCursor(Qt::ArrowCursor));
}

void WindowPointer::apply()
{
    if (!m_window)
        return;
    switch (m_pointer) {
    case MousePointer::Default: m_window->unsetCursor(); break;
    case MousePointer::Hourglass: m_window->setCursor(Qt::WaitCursor); break;
    case MousePointer::Custom: m_window->setCursor(customCursor()); break;
    }
}

} // namespace larkspan
