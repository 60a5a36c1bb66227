#pragma once

#include "mail/MailSecurity.h"

#include <QString>

namespace larkspan {

class clsChilkatIMAP;

// The IMAP server a session signs in to.
struct MailServer {
    QString host;
    int port = 993;
    MailSecurity security = MailSecurity::Tls;
};

// The server as the settings keep it ("Server", "Port", "Security") or as a user typed
// it; an empty or unusable text counts as not given.
struct ServerChoice {
    QString host;
    QString port;
    QString security;
};

// The mail service's own server, used when nothing else is chosen.
QString DefaultMailServerHost();
// 993 for tls, 143 for starttls.
int DefaultMailServerPort(MailSecurity security);

// The environment's word alone, else the default: LARKSPAN_IMAP_HOST / LARKSPAN_IMAP_PORT
// let tests, benchmarks and the demo reach a server on loopback. The port's default
// follows the security.
QString MailServerHost();
int MailServerPort();
// LARKSPAN_IMAP_SECURITY: "tls" (the default) or "starttls". Any other value means
// tls, with a warning on larkspan.imap: a misspelt value never weakens encryption.
MailSecurity MailServerSecurity();

// Host, port and security each from its environment variable when set, else from the
// choice when usable, else the default (the port's default follows the security).
MailServer ChooseMailServer(const ServerChoice &choice);
// The choice the program's settings hold.
ServerChoice StoredServerChoice();
// ChooseMailServer(StoredServerChoice()).
MailServer ChosenMailServer();

// True when the server stands for the mail service itself: its own host, or whatever
// LARKSPAN_IMAP_HOST puts in its place for tests and the demo. The program's texts
// name the service then, and another server by its name.
bool IsDefaultMailService(const MailServer &server);

// Points a session at the server: ChosenMailServer(), SSL on.
void UseMailServer(clsChilkatIMAP &session);
void UseMailServer(clsChilkatIMAP &session, const MailServer &server);

} // namespace larkspan
