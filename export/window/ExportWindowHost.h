#pragma once

#include <QString>

namespace larkspan {

// What the export window needs of the window that opened it: the account the PDFs are
// named for ("<To>"), going back to it, and ending the program.
class ExportWindowHost {
public:
    virtual ~ExportWindowHost();
    // The user name signed in with, as the sign-in box holds it now.
    virtual QString account() const = 0;
    // "< Back": the opening window shows again.
    virtual void showAgain() = 0;
    // The close box: the program's own closing steps, then its end.
    virtual void quitApplication() = 0;
};

} // namespace larkspan
