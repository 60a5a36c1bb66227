#pragma once

class QWidget;

namespace larkspan {

// Enter and Return press the focused push button of the window, as Space does. Qt
// leaves that to dialogs' default buttons, so a keyboard user of a main window would
// otherwise find Enter dead on every button.
void PressFocusedButtonsWithEnter(QWidget *window);

} // namespace larkspan
