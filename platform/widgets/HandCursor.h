#pragma once

#include <QString>

namespace larkspan {

class WindowPointer;

// Loads "HAND-M.CUR" from the program folder as the window's custom pointer when the
// file is there; without it the window has no custom pointer. Returns whether a hand
// was loaded. A file that is there but is no readable cursor raises AppError
// "Invalid picture" (481).
bool LoadHandCursor(WindowPointer &pointer);
// The same with the cursor file given.
bool LoadHandCursorFile(WindowPointer &pointer, const QString &path);

} // namespace larkspan
