#pragma once

#include "mail/MailSecurity.h"

#include <QString>

namespace larkspan {

class clsChilkatIMAP;

// The mail service's IMAP server. LARKSPAN_IMAP_HOST / LARKSPAN_IMAP_PORT override
// host and port, so that tests, benchmarks and the demo reach a server on loopback.
// The port's default follows the security: 993 for tls, 143 for starttls.
QString MailServerHost();
int MailServerPort();
// LARKSPAN_IMAP_SECURITY: "tls" (the default) or "starttls". Any other value means
// tls, with a warning on larkspan.imap: a misspelt value never weakens encryption.
MailSecurity MailServerSecurity();

// Points a session at the mail service's server: host, port and security as above,
// SSL on.
void UseMailServer(clsChilkatIMAP &session);

} // namespace larkspan
