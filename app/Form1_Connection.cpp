// "1. Connect" / "Disconnect": the button's caption is the window's record of whether
// it is connected.
#include "app/Form1.h"

#include "mail/ImapClient.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/windows/ListCounters.h"
#include "messagelist/windows/MainListActions.h"
#include "platform/core/AppError.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ListView.h"
#include "platform/core/SettingsStore.h"
#include "platform/keyring/RememberedPassword.h"
#include "platform/widgets/WindowPointer.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace larkspan {

namespace {
const QString kConnectCaption = QStringLiteral("1. Connect");
const QString kDisconnectCaption = QStringLiteral("Disconnect");
} // namespace

void Form1::PushButton1_Click()
{
    ErrorTrap trap("Form1", "PushButton1_Click", __LINE__);
    trap.step(__LINE__, [&] { m_pointer->setPointer(MousePointer::Hourglass); });
    bool connecting = false;
    trap.step(__LINE__, [&] { connecting = PushButton1->text() == kConnectCaption; });
    if (connecting)
        connectBranch(trap);
    else
        disconnectBranch(trap);
    trap.step(__LINE__, [&] { m_pointer->setPointer(MousePointer::Default); });
    trap.step(__LINE__, [&] { m_counters->AccumulateChecks = false; });
}

void Form1::connectBranch(ErrorTrap &trap)
{
    trap.step(__LINE__, [&] {
        m_connectedService = serviceName();
        setStatus(QStringLiteral("Connecting to %1...").arg(m_connectedService));
    });

    // A second click while a connect is under way finds its session and only turns
    // the caption; the first click goes on with its own.
    if (m_context.oChilkat) {
        trap.step(__LINE__, [&] { PushButton1->setText(kDisconnectCaption); });
        return;
    }

    std::shared_ptr<clsChilkatIMAP> session;
    // The server the user connects to is remembered with the user name.
    trap.step(__LINE__, [&] { saveServerChoice(); });
    // Its listing events reach the window's handlers for as long as it is oChilkat.
    trap.step(__LINE__, [&] { session = NewWindowSession(m_context); });

    bool connected = false;
    trap.step(__LINE__, [&] {
        if (!session)
            throw AppError(ErrorCode::ObjectNotSet);
        connected = session->Connect();
    });
    if (!connected) {
        // The session has told the user already; back to the unconnected state.
        disconnectedTail(trap);
        return;
    }

    std::optional<QStringList> folders;
    trap.step(__LINE__, [&] { folders = session->EnumMailFolders(); });
    trap.step(__LINE__, [&] {
        // The server's folders take the place of mail opened from the disk.
        m_context.localPaths.clear();
        m_context.localTree = false;
        Combo2->clear();
        setStatus(QStringLiteral("Enumerating folders..."));
    });
    trap.step(__LINE__, [&] {
        if (!folders)
            throw AppError(ErrorCode::ObjectNotSet);
        Combo2->addItems(*folders);
        // Filling selects nothing by itself; the stored position decides.
        Combo2->setCurrentIndex(-1);
    });
    trap.step(__LINE__, [&] {
        const int position = ReadSettingInt(QStringLiteral("Combo2"), 3);
        // A position the list does not have selects no folder, without a message.
        if (position < 0 || position >= Combo2->count()) {
            Combo2->setCurrentIndex(-1);
            return;
        }
        Combo2->setCurrentIndex(position);
        Combo2_Click();
    });
    trap.step(__LINE__, [&] { folders.reset(); });
    trap.step(__LINE__, [&] {
        m_context.CharactersFilter = ReadSetting(QStringLiteral("CharactersFilter"));
        if (!m_context.CharactersFilter.isEmpty())
            Label3->setText(QStringLiteral("Character Filter set to ") + m_context.CharactersFilter);
    });
    trap.step(__LINE__, [&] {
        setStatus(QStringLiteral("Connected to %1. Please select folder.").arg(m_connectedService));
        PushButton1->setText(kDisconnectCaption);
        // The server stays as it is until the disconnect.
        setServerFieldsEnabled(false);
    });
}

void Form1::disconnectBranch(ErrorTrap &trap)
{
    trap.step(__LINE__, [&] { setStatus(QStringLiteral("Disconnecting from %1...").arg(connectedService())); });
    trap.step(__LINE__, [&] {
        if (Check1->checkState() != Qt::Checked) {
            setFieldText(Text1, QString());
            setFieldText(Text2, QString());
            WriteSetting(QStringLiteral("User"), QString());
            QString problem;
            if (!WriteRememberedPassword(QString(), &problem))
                tellKeyringProblemOnce(problem);
        }
    });
    trap.step(__LINE__, [&] {
        if (!m_imapComponent)
            throw AppError(ErrorCode::ObjectNotSet);
        m_imapComponent->disconnectFromServer();
    });
    disconnectedTail(trap);
}

void Form1::disconnectedTail(ErrorTrap &trap)
{
    trap.step(__LINE__, [&] { ListView1->clearItems(); });
    trap.step(__LINE__, [&] { m_counters->RefreshCounters(true); });
    trap.step(__LINE__, [&] { PushButton1->setText(kConnectCaption); });
    trap.step(__LINE__, [&] { m_context.oChilkat.reset(); });
    trap.step(__LINE__, [&] { Label3->setText(QStringLiteral("No Character Filter set")); });
    trap.step(__LINE__, [&] { setServerFieldsEnabled(true); });
    trap.step(__LINE__, [&] { setStatus(QStringLiteral("Disconnected from %1.").arg(connectedService())); });
}

} // namespace larkspan
