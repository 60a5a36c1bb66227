#include "mail/ServerAddress.h"

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
    return ok && port > 0 && port < 65536 ? port : 993;
}

} // namespace larkspan
