#include "platform/core/Dialogs.h"

#include <QCoreApplication>

namespace larkspan {

namespace {
std::unique_ptr<DialogService> &serviceSlot()
{
    static std::unique_ptr<DialogService> service;
    return service;
}

QString &appTitleSlot()
{
    static QString title;
    return title;
}
} // namespace

DialogService &Dialogs()
{
    auto &slot = serviceSlot();
    // The program installs its windowed service at start; until then (and in tools
    // without windows) messages go to standard error rather than nowhere.
    if (!slot)
        slot = CreateConsoleDialogs();
    return *slot;
}

std::unique_ptr<DialogService> InstallDialogs(std::unique_ptr<DialogService> service)
{
    auto previous = std::move(serviceSlot());
    serviceSlot() = std::move(service);
    return previous;
}

QString AppTitle()
{
    // Before start-up sets it, boxes carry the name the application has at that moment.
    if (appTitleSlot().isEmpty())
        return QCoreApplication::applicationName();
    return appTitleSlot();
}

void SetAppTitle(const QString &title)
{
    appTitleSlot() = title;
}

QString ShortenedAppTitle(const QString &productName)
{
    QString title = productName;
    bool first = true;
    while (first || title.size() > 40) {
        first = false;
        const qsizetype space = title.lastIndexOf(QLatin1Char(' '));
        if (space < 0)
            break;
        title.truncate(space);
    }
    return title;
}

void MsgBox(const QString &text, QWidget *owner)
{
    Dialogs().messageBox(owner, text, AppTitle(), MsgButtons::Ok, MsgIcon::None);
}

} // namespace larkspan
