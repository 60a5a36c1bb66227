#pragma once

#include <QString>

namespace larkspan {

// The mail service's IMAP server. LARKSPAN_IMAP_HOST / LARKSPAN_IMAP_PORT override
// host and port, so that tests, benchmarks and the demo reach a server on loopback.
QString MailServerHost();
int MailServerPort();

} // namespace larkspan
