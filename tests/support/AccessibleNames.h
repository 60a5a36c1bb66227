#pragma once

#include <QStringList>

class QWidget;

namespace larkspan::test {

// Every control of the window that shows text (push buttons, check boxes, radio
// buttons, labels, group boxes, the status line) whose accessible name is not that
// text, as "objectName: [name] shows [text]". Empty when every name is the text.
QStringList AccessibleNameMismatches(const QWidget *window);

// The accessible name of one widget, as a screen reader reads it.
QString AccessibleName(QWidget *widget);

} // namespace larkspan::test
