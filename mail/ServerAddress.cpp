#include "mail/ServerAddress.h"

#include "mail/clsChilkatIMAP.h"
#include "platform/core/Logging.h"
#include "platform/core/SettingsStore.h"

namespace larkspan {

namespace {

std::optional<int> ParsePort(const QString &text)
{
    bool ok = false;
    const int port = text.trimmed().toInt(&ok);
    if (ok && port > 0 && port < 65536)
        return port;
    return std::nullopt;
}

QString EnvironmentHost()
{
    return qEnvironmentVariable("LARKSPAN_IMAP_HOST").trimmed();
}

} // namespace

QString DefaultMailServerHost()
{
    return QStringLiteral("imap.mail.yahoo.com");
}

int DefaultMailServerPort(MailSecurity security)
{
    return security == MailSecurity::StartTls ? 143 : 993;
}

QString MailServerHost()
{
    const QString host = EnvironmentHost();
    return host.isEmpty() ? DefaultMailServerHost() : host;
}

int MailServerPort()
{
    return ParsePort(qEnvironmentVariable("LARKSPAN_IMAP_PORT")).value_or(DefaultMailServerPort(MailServerSecurity()));
}

MailSecurity MailServerSecurity()
{
    const QString text = qEnvironmentVariable("LARKSPAN_IMAP_SECURITY");
    if (text.trimmed().isEmpty())
        return MailSecurity::Tls;
    if (const std::optional<MailSecurity> security = ParseMailSecurity(text))
        return *security;
    // Said once a value, not at every connect.
    static QString warnedAbout;
    if (text != warnedAbout) {
        warnedAbout = text;
        qCWarning(lcImap).noquote() << "LARKSPAN_IMAP_SECURITY is" << text << "but must be tls or starttls; using tls.";
    }
    return MailSecurity::Tls;
}

MailServer ChooseMailServer(const ServerChoice &choice)
{
    MailServer server;
    server.host = EnvironmentHost();
    if (server.host.isEmpty())
        server.host = choice.host.trimmed();
    if (server.host.isEmpty())
        server.host = DefaultMailServerHost();

    if (!qEnvironmentVariable("LARKSPAN_IMAP_SECURITY").trimmed().isEmpty())
        server.security = MailServerSecurity();
    else
        server.security = ParseMailSecurity(choice.security).value_or(MailSecurity::Tls);

    if (const std::optional<int> port = ParsePort(qEnvironmentVariable("LARKSPAN_IMAP_PORT")))
        server.port = *port;
    else
        server.port = ParsePort(choice.port).value_or(DefaultMailServerPort(server.security));
    return server;
}

ServerChoice StoredServerChoice()
{
    return {ReadSetting(QStringLiteral("Server")), ReadSetting(QStringLiteral("Port")),
            ReadSetting(QStringLiteral("Security"))};
}

MailServer ChosenMailServer()
{
    return ChooseMailServer(StoredServerChoice());
}

bool IsDefaultMailService(const MailServer &server)
{
    const QString standIn = EnvironmentHost();
    if (!standIn.isEmpty() && server.host == standIn)
        return true;
    return server.host.compare(DefaultMailServerHost(), Qt::CaseInsensitive) == 0;
}

void UseMailServer(clsChilkatIMAP &session)
{
    UseMailServer(session, ChosenMailServer());
}

void UseMailServer(clsChilkatIMAP &session, const MailServer &server)
{
    session.SSL = true;
    session.Security = server.security;
    session.PORT = server.port;
    session.IMAPServer = server.host;
}

} // namespace larkspan
