#pragma once

class QWidget;

namespace larkspan {

class WindowPointer;

// The common first load steps of a secondary window: the button-face colours, the
// program's icon, the hand pointer when "HAND-M.CUR" is in the program folder, and
// the pointer rules over its controls. Call once the controls exist.
void ApplySecondaryWindowLook(QWidget *window, WindowPointer *pointer);

// Places a control at a design position given in twips (client coordinates).
void PlaceTwips(QWidget *control, int left, int top, int width, int height);

} // namespace larkspan
