#pragma once

#include <QList>

class QWidget;

namespace larkspan {

class WindowPointer;

// The mouse-move rules of a window's pointer:
// - over a push button: the custom pointer (the hand), unless the hourglass is up;
//   the buttons in handAlwaysButtons show the hand even over the hourglass;
// - over the window's background, a frame, a list view or a text box: the default
//   pointer, unless the hourglass is up;
// - over anything else the pointer stays as it is.
// Controls added to the window later follow the rules too. The rules live as long
// as the window.
void InstallPointerRules(QWidget *window, WindowPointer *pointer, QList<QWidget *> handAlwaysButtons = {});

} // namespace larkspan
