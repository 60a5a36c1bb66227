#include "mail/MailSecurity.h"

namespace larkspan {

QString MailSecurityName(MailSecurity security)
{
    return security == MailSecurity::StartTls ? QStringLiteral("starttls") : QStringLiteral("tls");
}

std::optional<MailSecurity> ParseMailSecurity(const QString &text)
{
    const QString name = text.trimmed().toLower();
    if (name == QLatin1String("tls"))
        return MailSecurity::Tls;
    if (name == QLatin1String("starttls"))
        return MailSecurity::StartTls;
    return std::nullopt;
}

} // namespace larkspan
