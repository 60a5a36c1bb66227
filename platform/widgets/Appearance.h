#pragma once

#include <QColor>
#include <QString>

class QMainWindow;
class QWidget;

namespace larkspan {

class SkinEngine;

// The colour of a button's face in the current palette; the background of the
// secondary windows and of their plain controls.
QColor ButtonFaceColor();

// Gives the window and its option buttons, check boxes, frames and labels the
// button-face colour as background; other controls are left alone.
void ApplyClassicColors(QWidget *window);

// When the skin file "x/o.cjs" is in the program folder: the button-face colours as
// ApplyClassicColors gives them, then the skin on the window through its skin engine
// (the window's child "SkinFramework1"). Returns the engine, or nullptr (and changes
// nothing) when there is no skin file.
SkinEngine *ApplySkin(QMainWindow *window);
// The same with the skin file given.
SkinEngine *ApplySkinFile(QMainWindow *window, const QString &skinPath);

} // namespace larkspan
