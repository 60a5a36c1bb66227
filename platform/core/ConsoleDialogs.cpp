#include "platform/core/Dialogs.h"

#include <cstdio>

namespace larkspan {

namespace {

class ConsoleDialogService final : public DialogService {
public:
    MsgResult messageBox(QWidget *, const QString &text, const QString &, MsgButtons buttons, MsgIcon) override
    {
        std::fprintf(stderr, "%s\n", text.trimmed().toLocal8Bit().constData());
        return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
    }
    QString inputBox(QWidget *, const QString &, const QString &, const QString &) override { return QString(); }
    QString browseForFolder(QWidget *, const QString &, const QString &) override { return QString(); }
    QString saveFileName(QWidget *, const QString &, const QString &) override { return QString(); }
    void beep() override {}
};

} // namespace

std::unique_ptr<DialogService> CreateConsoleDialogs()
{
    return std::make_unique<ConsoleDialogService>();
}

} // namespace larkspan
