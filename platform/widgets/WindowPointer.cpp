#include "platform/widgets/WindowPointer.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QPixmap>
#include <QWidget>

namespace larkspan {

WindowPointer::WindowPointer(QWidget *window) : QObject(window), m_window(window) {}

void WindowPointer::setPointer(MousePointer pointer)
{
    m_pointer = pointer;
    apply();
}

namespace {

// The hot spot a .cur file stores for its first image, or none for other files.
std::optional<QPoint> curHotSpot(const QByteArray &bytes)
{
    // Directory: reserved 0, type 2 (cursor), count; then per image: width, height,
    // colours, reserved, hot spot x, hot spot y (16 bits each), size, offset.
    if (bytes.size() < 22)
        return std::nullopt;
    const auto word = [&bytes](int at) {
        return int(quint8(bytes.at(at))) | (int(quint8(bytes.at(at + 1))) << 8);
    };
    if (word(0) != 0 || word(2) != 2 || word(4) < 1)
        return std::nullopt;
    return QPoint(word(10), word(12));
}

} // namespace

bool WindowPointer::loadCustomCursor(const QString &path)
{
    m_custom.reset();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray bytes = file.readAll();
    QBuffer buffer;
    buffer.setData(bytes);
    // The format comes from the content: a cursor file may carry any extension.
    QImageReader reader(&buffer);
    const std::optional<QPoint> hotSpot = curHotSpot(bytes);
    if (hotSpot)
        reader.setFormat("cur");
    const QImage image = reader.read();
    if (image.isNull())
        return false;
    const QPixmap pixmap = QPixmap::fromImage(image);
    // Without a stored hot spot, a hand's is the tip of the index finger, near the
    // top left quarter.
    const QPoint spot = hotSpot.value_or(QPoint(pixmap.width() / 4, 0));
    m_custom = QCursor(pixmap, qBound(0, spot.x(), pixmap.width() - 1), qBound(0, spot.y(), pixmap.height() - 1));
    return true;
}

QPoint WindowPointer::customHotSpot() const
{
    return m_custom ? m_custom->hotSpot() : QPoint();
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
