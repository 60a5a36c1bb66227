#include "support/RecordingDialogs.h"

namespace larkspan::test {

namespace {
RecordingDialogs *g_recorded = nullptr;
}

MsgResult RecordingDialogs::messageBox(QWidget *, const QString &text, const QString &title,
                                       MsgButtons buttons, MsgIcon icon)
{
    const Call call{Kind::Message, text, title, buttons, icon};
    calls.append(call);
    if (onCall)
        onCall(call);
    if (!messageAnswers.isEmpty())
        return messageAnswers.takeFirst();
    return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
}

QString RecordingDialogs::inputBox(QWidget *, const QString &prompt, const QString &title, const QString &)
{
    const Call call{Kind::Input, prompt, title};
    calls.append(call);
    if (onCall)
        onCall(call);
    return inputAnswers.isEmpty() ? QString() : inputAnswers.takeFirst();
}

QString RecordingDialogs::browseForFolder(QWidget *, const QString &title, const QString &initialFolder)
{
    const Call call{Kind::Folder, title, initialFolder};
    calls.append(call);
    if (onCall)
        onCall(call);
    return folderAnswers.isEmpty() ? QString() : folderAnswers.takeFirst();
}

QString RecordingDialogs::saveFileName(QWidget *, const QString &title, const QString &suggestedPath)
{
    const Call call{Kind::Save, title, suggestedPath};
    calls.append(call);
    if (onCall)
        onCall(call);
    return saveAnswers.isEmpty() ? QString() : saveAnswers.takeFirst();
}

QStringList RecordingDialogs::chooseMailSource(QWidget *, const QString &title)
{
    const Call call{Kind::MailSource, title, QString()};
    calls.append(call);
    if (onCall)
        onCall(call);
    return mailSourceAnswers.isEmpty() ? QStringList() : mailSourceAnswers.takeFirst();
}

void RecordingDialogs::beep()
{
    const Call call{Kind::Beep, QString(), QString()};
    calls.append(call);
    if (onCall)
        onCall(call);
}

QStringList RecordingDialogs::messages() const
{
    QStringList texts;
    for (const Call &call : calls)
        if (call.kind == Kind::Message)
            texts.append(call.text);
    return texts;
}

QStringList RecordingDialogs::errorReports() const
{
    QStringList texts;
    for (const Call &call : calls)
        if (call.kind == Kind::Message && call.title == QLatin1String("Application Error"))
            texts.append(call.text);
    return texts;
}

int RecordingDialogs::count(Kind kind) const
{
    int n = 0;
    for (const Call &call : calls)
        n += call.kind == kind ? 1 : 0;
    return n;
}

void RecordingDialogs::clear()
{
    calls.clear();
    messageAnswers.clear();
    inputAnswers.clear();
    folderAnswers.clear();
    saveAnswers.clear();
    mailSourceAnswers.clear();
    onCall = nullptr;
}

RecordingDialogs &InstallRecordingDialogs()
{
    auto service = std::make_unique<RecordingDialogs>();
    g_recorded = service.get();
    InstallDialogs(std::move(service));
    return *g_recorded;
}

RecordingDialogs &Recorded()
{
    return *g_recorded;
}

} // namespace larkspan::test
