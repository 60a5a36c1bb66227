#include "app/HelpNotices.h"

#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/OpenDocument.h"
#include "platform/core/ProgramFolder.h"

#include <QStringList>

namespace larkspan {

QString ContactNotice()
{
    return QStringLiteral("Questions? Please contact Team Vornhelm at ") + QLatin1String(kContactAddress);
}

QString PrivacyNotice()
{
    const QStringList lines{
        QStringLiteral("Privacy Policy"),
        QStringLiteral("1. This software can access your Yahoo! Mail account only if you grant access to it."),
        QStringLiteral("2. This software does not store any information that is retrieved from your Yahoo! Mail account."),
        QStringLiteral("3. This software stores your username and password locally on your computer if you select "
                       "the 'Remember me' feature, but this information is private and not stored on a server."),
    };
    return lines.join(QStringLiteral("\r\r"));
}

void ShowHelpNotices(QWidget *owner)
{
    ErrorTrap trap("Form1", "PushButton11_Click", __LINE__);
    trap.step(__LINE__, [&] { MsgBox(ContactNotice(), owner); });
    trap.step(__LINE__, [&] { MsgBox(PrivacyNotice(), owner); });
}

QString LoginHelpPicturePath()
{
    return ProgramFile(QStringLiteral("yahoo-can't-login.png"));
}

void OpenLoginHelpPicture()
{
    ErrorTrap trap("Form1", "PushButton12_Click", __LINE__);
    trap.step(__LINE__, [&] { OpenDocumentQuietly(LoginHelpPicturePath()); });
}

} // namespace larkspan
