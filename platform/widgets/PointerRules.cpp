#include "platform/widgets/PointerRules.h"

#include "platform/widgets/WindowPointer.h"

#include <QAbstractItemView>
#include <QEnterEvent>
#include <QEvent>
#include <QGroupBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>

namespace larkspan {

namespace {

enum class Area { Button, Background, Other };

class PointerRules final : public QObject {
public:
    PointerRules(QWidget *window, WindowPointer *pointer, QList<QWidget *> handAlways)
        : QObject(window), m_window(window), m_pointer(pointer)
    {
        for (QWidget *button : handAlways)
            m_handAlways.append(button);
        watch(window);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        switch (event->type()) {
        case QEvent::Enter:
            onPointAt(static_cast<QEnterEvent *>(event)->globalPosition().toPoint());
            break;
        case QEvent::MouseMove:
            if (static_cast<QMouseEvent *>(event)->buttons() == Qt::NoButton)
                onPointAt(static_cast<QMouseEvent *>(event)->globalPosition().toPoint());
            break;
        case QEvent::ChildPolished:
            // Sent once the new control is complete, so its kind is known by now.
            if (auto *child = qobject_cast<QWidget *>(static_cast<QChildEvent *>(event)->child()))
                watch(child);
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void watch(QWidget *widget)
    {
        if (widget != m_window && widget->isWindow())
            return; // a window opened over this one has its own rules
        widget->installEventFilter(this);
        // Moves with no button held reach only widgets that track the mouse; the ones
        // the rules speak of must see them, the rest (labels, check boxes) stay as they are.
        if (classify(widget) != Area::Other)
            widget->setMouseTracking(true);
        const auto children = widget->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *child : children)
            watch(child);
    }

    static bool isTextOrList(const QWidget *w)
    {
        return qobject_cast<const QAbstractItemView *>(w) || qobject_cast<const QLineEdit *>(w)
            || qobject_cast<const QTextEdit *>(w) || qobject_cast<const QPlainTextEdit *>(w);
    }

    // What the widget is for the rules. Everything inside a list view or a text box
    // (viewport, scroll bars, header) counts as that control.
    Area classify(QWidget *widget) const
    {
        for (QWidget *w = widget->parentWidget(); w && w != m_window; w = w->parentWidget())
            if (isTextOrList(w))
                return Area::Background;
        if (qobject_cast<QPushButton *>(widget))
            return Area::Button;
        if (isTextOrList(widget) || qobject_cast<QGroupBox *>(widget)
            || widget->metaObject() == &QFrame::staticMetaObject || widget == m_window
            || isCentralArea(widget))
            return Area::Background;
        return Area::Other;
    }

    bool isCentralArea(QWidget *w) const
    {
        auto *main = qobject_cast<QMainWindow *>(m_window);
        return main && main->centralWidget() == w;
    }

    void onPointAt(const QPoint &global)
    {
        if (!m_window || !m_pointer)
            return;
        QWidget *under = m_window->childAt(m_window->mapFromGlobal(global));
        if (!under)
            under = m_window;
        const Area area = classify(under);
        if (area == Area::Other)
            return;
        if (area == Area::Button) {
            QWidget *button = under;
            while (button && !qobject_cast<QPushButton *>(button))
                button = button->parentWidget();
            if (m_handAlways.contains(button) || !m_pointer->isBusy())
                set(MousePointer::Custom);
            return;
        }
        if (!m_pointer->isBusy())
            set(MousePointer::Default);
    }

    void set(MousePointer value)
    {
        if (m_pointer->pointer() != value)
            m_pointer->setPointer(value);
    }

    QPointer<QWidget> m_window;
    QPointer<WindowPointer> m_pointer;
    QList<QPointer<QWidget>> m_handAlways;
};

} // namespace

void InstallPointerRules(QWidget *window, WindowPointer *pointer, QList<QWidget *> handAlwaysButtons)
{
    if (!window || !pointer)
        return;
    new PointerRules(window, pointer, std::move(handAlwaysButtons));
}

} // namespace larkspan
