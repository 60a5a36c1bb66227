#pragma once

#include <QString>

class QWidget;

namespace larkspan {

struct MainListParts;
class clsChilkatIMAP;

// The caption of the button that started the latest retrieval run; the Stop action
// and the end of a run put it back.
extern QString RememberedCaption;

// Suppresses "Done." at the end of a retrieval run.
extern bool SkipDoneMessage;
// The count dialog ended with a valid Continue.
extern bool RangeAccepted;

// The main window's current session, or AppError "Object variable or With block
// variable not set" (91) when it holds none, as every step that needs the session
// fails once a Stop has let go of it.
clsChilkatIMAP &CurrentSession(MainListParts &ctx);

// Sets a retrieval button's width, given in twips.
void SetButtonWidthTwips(QWidget *button, int twips);

} // namespace larkspan
