#pragma once

// Shared by the message list tests: the real main window with its end recorded, a
// watcher that acts inside modal windows, and row helpers.

#include "app/Form1.h"
#include "messagelist/windows/ListCounters.h"
#include "platform/widgets/ListView.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "support/WidgetTestMain.h"

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QLabel>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

namespace larkspan::test {

// The main window, loaded, with the program's end counted instead of carried out.
struct MainWindow {
    std::unique_ptr<Form1> form;
    int ends = 0;

    MainWindow()
    {
        Printers().replacePrinters({PdfWriterDeviceName()}, PdfWriterDeviceName());
        form = std::make_unique<Form1>();
        form->setProgramEnd([this] { ++ends; });
        form->Form_Load();
        form->show();
    }
    Form1 *operator->() const { return form.get(); }
    MainWindowContext &ctx() const { return form->context(); }
};

// Runs an action once inside each modal window with the given title, as soon as its
// own event loop runs. Actions are used first to last; the watcher stays until it is
// destroyed.
class ModalWatcher : public QObject {
public:
    explicit ModalWatcher(QString title) : m_title(std::move(title)) { qApp->installEventFilter(this); }
    ~ModalWatcher() override { qApp->removeEventFilter(this); }

    QList<std::function<void(QDialog *)>> actions;
    int shown = 0;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Show) {
            auto *dialog = qobject_cast<QDialog *>(watched);
            if (dialog && dialog->windowTitle() == m_title) {
                ++shown;
                if (!actions.isEmpty()) {
                    auto action = actions.takeFirst();
                    QPointer<QDialog> target = dialog;
                    QTimer::singleShot(0, this, [target, action] {
                        if (target)
                            action(target);
                    });
                }
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QString m_title;
};

// Runs action once, from a timer, at the first turn of the event loop where
// condition holds (typically while a retrieval run is yielding).
class WhenDuringRun : public QObject {
public:
    WhenDuringRun(std::function<bool()> condition, std::function<void()> action)
        : m_condition(std::move(condition)), m_action(std::move(action))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            if (m_fired || !m_condition())
                return;
            m_fired = true;
            m_timer.stop();
            m_action();
        });
        m_timer.start(0);
    }
    bool fired() const { return m_fired; }

private:
    QTimer m_timer;
    std::function<bool()> m_condition;
    std::function<void()> m_action;
    bool m_fired = false;
};

struct Row {
    QString from, fromName, fromAddress, subject, received, recDate;
    bool ticked = false;
};

inline void AddRow(ListView *list, const Row &row)
{
    const int n = list->append(row.from);
    list->setSubItem(n, 1, row.fromName);
    list->setSubItem(n, 2, row.fromAddress);
    list->setSubItem(n, 3, row.subject);
    list->setSubItem(n, 4, row.received);
    list->setSubItem(n, 5, row.recDate);
    list->setChecked(n, row.ticked);
}

// The ticks of a list as a string of '1' and '0', row 1 first.
inline QString Ticks(const ListView *list)
{
    QString ticks;
    for (int row = 1; row <= list->count(); ++row)
        ticks += list->checked(row) ? QLatin1Char('1') : QLatin1Char('0');
    return ticks;
}

inline QStringList ErrorReports()
{
    return Recorded().errorReports();
}

} // namespace larkspan::test
