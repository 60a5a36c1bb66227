#include "mail/ServerAddress.h"

#include "mail/clsChilkatIMAP.h"
#include "platform/core/Logging.h"

namespace larkspan {

QString MailServerHost()
{
    const QString host = qEnvironmentVariable("LARKSPAN_IMAP_HOST").trimmed();
    return host.isEmpty() ? QStringLiteral("imap.mail.yahoo.com") : host;
}

int MailServerPort()
{
    bool ok = false;
    const int port = qEnvironmentVariable("LARKSPAN_IMAP_PORT").trimmed().toInt(&ok);
    if (ok && port > 0 && port < 65536)
        return port;
    return MailServerSecurity() == MailSecurity::StartTls ? 143 : 993;
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

void UseMailServer(clsChilkatIMAP &session)
{
    session.SSL = true;
    session.Security = MailServerSecurity();
    session.PORT = MailServerPort();
    session.IMAPServer = MailServerHost();
}

} // namespace larkspan
