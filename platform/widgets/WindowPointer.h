#pragma once

#include <QCursor>
#include <QObject>
#include <optional>

class QWidget;

namespace larkspan {

// The mouse pointer values a window can have.
enum class MousePointer { Default = 0, Hourglass = 11, Custom = 99 };

// The mouse pointer of one window: default, hourglass (busy) or the window's custom
// pointer (the hand loaded from HAND-M.CUR). The hourglass is also the window's busy
// state that "Clear List" reads.
class WindowPointer : public QObject {
    Q_OBJECT
public:
    explicit WindowPointer(QWidget *window);

    MousePointer pointer() const { return m_pointer; }
    void setPointer(MousePointer pointer);
    bool isBusy() const { return m_pointer == MousePointer::Hourglass; }

    // Loads the custom pointer from a .cur file (its stored hot spot is used) or any
    // image Qt reads; false (and no custom pointer) when the file is missing or unreadable.
    bool loadCustomCursor(const QString &path);
    bool hasCustomCursor() const { return m_custom.has_value(); }
    QCursor customCursor() const;
    QPoint customHotSpot() const;

    QWidget *window() const { return m_window; }

private:
    void apply();

    QWidget *m_window;
    MousePointer m_pointer = MousePointer::Default;
    std::optional<QCursor> m_custom;
};

// Shows the hourglass on a window for the lifetime of the guard, then the default.
class BusyPointer {
public:
    explicit BusyPointer(WindowPointer &pointer) : m_pointer(pointer) { m_pointer.setPointer(MousePointer::Hourglass); }
    ~BusyPointer() { m_pointer.setPointer(MousePointer::Default); }
    BusyPointer(const BusyPointer &) = delete;
    BusyPointer &operator=(const BusyPointer &) = delete;

private:
    WindowPointer &m_pointer;
};

} // namespace larkspan
