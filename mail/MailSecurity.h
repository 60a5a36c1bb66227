#pragma once

#include <QString>
#include <optional>

namespace larkspan {

// How a connection to the IMAP server is encrypted: TLS from the first byte (port
// 993), or a plain connection that the STARTTLS command turns into TLS (port 143)
// before anything secret is sent.
enum class MailSecurity { Tls, StartTls };

// "tls" or "starttls", as the settings and LARKSPAN_IMAP_SECURITY spell them.
QString MailSecurityName(MailSecurity security);
// Either name in any case, spaces around it ignored; nothing for any other text.
std::optional<MailSecurity> ParseMailSecurity(const QString &text);

} // namespace larkspan
