// The server fields of the login group, the texts that name the service, "Can't
// Login?" for known providers, and the remembered password's place.
#include "app/Form1.h"

#include "app/HelpNotices.h"
#include "mail/MailProviders.h"
#include "mail/ServerAddress.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/SettingsStore.h"
#include "platform/keyring/RememberedPassword.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QSpinBox>

namespace larkspan {

namespace {

const QString kServiceName = QStringLiteral("Yahoo! Mail");
const QString kServiceIdLabel = QStringLiteral(" Yahoo! ID:");

MailSecurity SecurityAt(int index)
{
    return index == 1 ? MailSecurity::StartTls : MailSecurity::Tls;
}

// The provider whose server the fields name: the one of the user's address when it is
// that server, else any provider of that host. A server on this machine is a
// provider's only when the address says so (it may as well be the user's own).
std::optional<MailProvider> ProviderInUse(const QString &userName, const MailServer &server)
{
    const std::optional<MailProvider> byAddress = ProviderForAddress(userName);
    if (byAddress && byAddress->server.host.compare(server.host, Qt::CaseInsensitive) == 0)
        return byAddress;
    if (server.host == QLatin1String("127.0.0.1") || server.host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0)
        return std::nullopt;
    return ProviderForHost(server.host);
}

} // namespace

void Form1::connectServerFields()
{
    connect(txtServer, &QLineEdit::textChanged, this, &Form1::serverFieldEdited);
    connect(txtPort, &QSpinBox::valueChanged, this, &Form1::serverFieldEdited);
    connect(cboSecurity, &QComboBox::currentIndexChanged, this, [this](int index) {
        // The port follows the security while it is the other one's standard port.
        if (!m_showingServer && txtPort->value() == DefaultMailServerPort(SecurityAt(1 - index))) {
            m_showingServer = true;
            txtPort->setValue(DefaultMailServerPort(SecurityAt(index)));
            m_showingServer = false;
        }
        serverFieldEdited();
    });
    connect(Text1, &QLineEdit::textChanged, this, &Form1::proposeProviderServer);

    // Before Form_Load the fields show the server of the settings, so that a window
    // that is never loaded still names one.
    const ServerChoice stored = StoredServerChoice();
    showServer(ChooseMailServer(stored));
    // A server stored by an earlier connect is the user's own unless it is the service's.
    m_ownServer = !stored.host.trimmed().isEmpty() && stored.host.trimmed() != DefaultMailServerHost();
    const auto which = [](const char *variable) {
        return qEnvironmentVariableIsSet(variable) ? QStringLiteral("%1 sets this for the whole run.").arg(QLatin1String(variable))
                                                   : QString();
    };
    txtServer->setToolTip(which("LARKSPAN_IMAP_HOST"));
    txtPort->setToolTip(which("LARKSPAN_IMAP_PORT"));
}

MailServer Form1::serverInFields() const
{
    return ChooseMailServer(ServerChoice{txtServer->text(), QString::number(txtPort->value()),
                                         MailSecurityName(SecurityAt(cboSecurity->currentIndex()))});
}

void Form1::showServer(const MailServer &server)
{
    m_showingServer = true;
    txtServer->setText(server.host);
    cboSecurity->setCurrentIndex(server.security == MailSecurity::StartTls ? 1 : 0);
    txtPort->setValue(server.port);
    m_showingServer = false;
    nameTheService();
}

void Form1::serverFieldEdited()
{
    if (!m_showingServer)
        m_ownServer = true;
    nameTheService();
}

void Form1::proposeProviderServer()
{
    ErrorTrap trap("Form1", "proposeProviderServer", __LINE__);
    trap.step(__LINE__, [&] {
        if (m_ownServer)
            return;
        // Either the provider's server or, for any other name, the service's own;
        // the environment still has the last word.
        const std::optional<MailProvider> provider = ProviderForAddress(Text1->text());
        ServerChoice proposal;
        if (provider)
            proposal = ServerChoice{provider->server.host, QString::number(provider->server.port),
                                    MailSecurityName(provider->server.security)};
        showServer(ChooseMailServer(proposal));
    });
}

QString Form1::serviceName() const
{
    const MailServer server = serverInFields();
    if (IsDefaultMailService(server))
        return kServiceName;
    const std::optional<MailProvider> provider = ProviderInUse(Text1->text(), server);
    return provider ? provider->name : server.host;
}

QString Form1::connectedService() const
{
    return m_connectedService.isEmpty() ? serviceName() : m_connectedService;
}

void Form1::nameTheService()
{
    const QString name = serviceName();
    lblLabels[0]->setText(name == kServiceName ? kServiceIdLabel : QStringLiteral(" %1 ID:").arg(name));
}

void Form1::setServerFieldsEnabled(bool enabled)
{
    for (QWidget *field : {static_cast<QWidget *>(txtServer), static_cast<QWidget *>(txtPort),
                           static_cast<QWidget *>(cboSecurity)})
        field->setEnabled(enabled);
}

void Form1::saveServerChoice()
{
    // What the environment sets is for this run only and stays out of the settings.
    if (!qEnvironmentVariableIsSet("LARKSPAN_IMAP_HOST"))
        WriteSetting(QStringLiteral("Server"), txtServer->text().trimmed());
    if (!qEnvironmentVariableIsSet("LARKSPAN_IMAP_PORT"))
        WriteSetting(QStringLiteral("Port"), QString::number(txtPort->value()));
    if (!qEnvironmentVariableIsSet("LARKSPAN_IMAP_SECURITY"))
        WriteSetting(QStringLiteral("Security"), MailSecurityName(SecurityAt(cboSecurity->currentIndex())));
}

void Form1::showLoginHelp()
{
    ErrorTrap trap("Form1", "PushButton12_Click", __LINE__);
    QString note;
    trap.step(__LINE__, [&] {
        const MailServer server = serverInFields();
        if (IsDefaultMailService(server))
            return;
        if (const std::optional<MailProvider> provider = ProviderInUse(Text1->text(), server))
            note = provider->loginNote;
    });
    if (note.isEmpty())
        OpenLoginHelpPicture();
    else
        trap.step(__LINE__, [&] { MsgBox(note, this); });
}

void Form1::fillRememberedLogin()
{
    // A password the settings file still holds goes into the keyring first; the file
    // gives it up only once the keyring has it.
    QString problem;
    if (!MoveRememberedPasswordToKeyring(&problem)) {
        tellKeyringProblemOnce(problem);
        return;
    }
    const RememberedPasswordRead remembered = ReadRememberedPassword();
    if (!remembered.problem.isEmpty()) {
        tellKeyringProblemOnce(remembered.problem);
        return;
    }
    setFieldText(Text1, ReadSetting(QStringLiteral("User")));
    setFieldText(Text2, remembered.password);
}

void Form1::tellKeyringProblemOnce(const QString &problem)
{
    if (m_keyringProblemTold)
        return;
    m_keyringProblemTold = true;
    MsgBox(QStringLiteral("The desktop keyring could not be used (%1), so your password is not remembered this time "
                          "and the login fields stay empty. A password saved before is kept where it was.")
               .arg(problem),
           this);
}

} // namespace larkspan
