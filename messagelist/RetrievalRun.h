#pragma once

#include <QString>

class QWidget;

namespace larkspan {

struct MainWindowContext;
class clsChilkatIMAP;

// The caption of the button that started the latest retrieval run; the Stop action
// and the end of a run put it back.
extern QString RememberedCaption;

// The main window's current session, or AppError "Object variable or With block
// variable not set" (91) when it holds none, as every step that needs the session
// fails once a Stop has let go of it.
clsChilkatIMAP &CurrentSession(MainWindowContext &ctx);

// Sets a retrieval button's width, given in twips.
void SetButtonWidthTwips(QWidget *button, int twips);

} // namespace larkspan
