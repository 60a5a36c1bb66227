#include "support/AccessibleNames.h"

#include "platform/widgets/ProgressBar.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QGroupBox>
#include <QLabel>

namespace larkspan::test {

QString AccessibleName(QWidget *widget)
{
    QAccessibleInterface *face = QAccessible::queryAccessibleInterface(widget);
    return face ? face->text(QAccessible::Name) : QString();
}

QStringList AccessibleNameMismatches(const QWidget *window)
{
    QStringList out;
    for (QWidget *widget : window->findChildren<QWidget *>()) {
        QString shown;
        if (auto *button = qobject_cast<QAbstractButton *>(widget))
            shown = button->text();
        else if (auto *label = qobject_cast<QLabel *>(widget))
            shown = label->text();
        else if (auto *group = qobject_cast<QGroupBox *>(widget))
            shown = group->title();
        else if (auto *bar = qobject_cast<ProgressBar *>(widget))
            shown = bar->text();
        else
            continue;
        const QString name = AccessibleName(widget);
        if (name != shown)
            out << QStringLiteral("%1: [%2] shows [%3]").arg(widget->objectName(), name, shown);
    }
    return out;
}

} // namespace larkspan::test
