#pragma once

#include <QString>
#include <QStringList>
#include <memory>

class QWidget;

namespace larkspan {

enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgIcon { None, Warning, Information, Critical, Question };
enum class MsgResult { Ok, Cancel, Yes, No };

// Every message box, input box, folder picker, save dialog and beep of the program
// goes through this service, so that a test can answer them from a script.
class DialogService {
public:
    virtual ~DialogService() = default;

    virtual MsgResult messageBox(QWidget *owner, const QString &text, const QString &title,
                                 MsgButtons buttons, MsgIcon icon) = 0;
    // Modal input box. Cancel gives an empty text, exactly like an empty entry.
    virtual QString inputBox(QWidget *owner, const QString &prompt, const QString &title,
                             const QString &defaultText) = 0;
    // Folder picker opened on initialFolder (its default place when empty);
    // the chosen folder without a trailing separator (a root keeps its own), or empty.
    virtual QString browseForFolder(QWidget *owner, const QString &title, const QString &initialFolder) = 0;
    // Save dialog for a PDF file; empty when cancelled.
    virtual QString saveFileName(QWidget *owner, const QString &title, const QString &suggestedPath) = 0;
    virtual void beep() = 0;
    // Mail already on the disk: one or more .eml files, an mbox file, or a Maildir
    // folder, chosen by the user; empty when cancelled. A service without a picker
    // of its own (no window) chooses nothing.
    virtual QStringList chooseMailSource(QWidget *owner, const QString &title)
    {
        Q_UNUSED(owner);
        Q_UNUSED(title);
        return {};
    }
};

// The service in use: the installed one (the program installs the Qt dialogs at start).
DialogService &Dialogs();
// Replaces the service (tests install a scripted one). Returns the previous one.
std::unique_ptr<DialogService> InstallDialogs(std::unique_ptr<DialogService> service);

// The title of every message box that is given none (set during start-up).
QString AppTitle();
void SetAppTitle(const QString &title);
// The product name shortened by whole trailing words: at least one word goes, then more
// while the text is longer than 40 characters; a name without spaces stays as it is.
QString ShortenedAppTitle(const QString &productName);

// A plain message: OK only, no icon, the application title.
void MsgBox(const QString &text, QWidget *owner = nullptr);

// A service for runs without a window: message boxes go to standard error, answered
// with OK (or No); inputs, folders and file names come back empty.
std::unique_ptr<DialogService> CreateConsoleDialogs();

} // namespace larkspan
