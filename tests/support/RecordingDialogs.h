#pragma once

#include "platform/core/Dialogs.h"

#include <QList>
#include <QStringList>
#include <functional>

namespace larkspan::test {

// A dialogs service that shows nothing: it records every call and answers from a
// script. onCall runs while the "modal" box is up, so a test can act re-entrantly
// at exactly that moment.
class RecordingDialogs final : public DialogService {
public:
    enum class Kind { Message, Input, Folder, Save, Beep, MailSource };
    struct Call {
        Kind kind;
        QString text;  // message text, input prompt, picker title
        QString title; // box title; for the folder picker, the initial folder
        MsgButtons buttons = MsgButtons::Ok;
        MsgIcon icon = MsgIcon::None;
    };

    MsgResult messageBox(QWidget *owner, const QString &text, const QString &title,
                         MsgButtons buttons, MsgIcon icon) override;
    QString inputBox(QWidget *owner, const QString &prompt, const QString &title,
                     const QString &defaultText) override;
    QString browseForFolder(QWidget *owner, const QString &title, const QString &initialFolder) override;
    QString saveFileName(QWidget *owner, const QString &title, const QString &suggestedPath) override;
    void beep() override;
    QStringList chooseMailSource(QWidget *owner, const QString &title) override;

    // Scripted answers, used first to last; when a list is empty the answer is
    // OK / empty text.
    QList<MsgResult> messageAnswers;
    QStringList inputAnswers;
    QStringList folderAnswers;
    QStringList saveAnswers;
    QList<QStringList> mailSourceAnswers;
    std::function<void(const Call &)> onCall;

    QList<Call> calls;
    QStringList messages() const; // texts of the message boxes, in order
    QStringList errorReports() const; // texts of the "Application Error" boxes, in order
    int count(Kind kind) const;
    void clear();
};

// Installs a fresh recording service as the program's dialogs service.
RecordingDialogs &InstallRecordingDialogs();
// The installed recording service.
RecordingDialogs &Recorded();

} // namespace larkspan::test
