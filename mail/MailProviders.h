#pragma once

#include "mail/ServerAddress.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

namespace larkspan {

// A well-known mail provider: the domains of its addresses, its IMAP server, and what
// it asks of mail programs before it lets them sign in (empty when nothing).
struct MailProvider {
    QString name;
    QStringList domains;
    MailServer server;
    QString loginNote;
};

// The table in JSON ({"providers": [{name, domains, host, port, security, login}]});
// entries that lack a name, a domain or a host are left out.
QList<MailProvider> ParseMailProviders(const QByteArray &json);
// The table shipped beside the program ("providers.json"), read once; empty when the
// file is missing or unreadable.
const QList<MailProvider> &KnownMailProviders();

// The provider of an address ("someone@gmail.com"), by the domain after its last "@",
// in any case; nothing for a name without a known domain.
std::optional<MailProvider> ProviderForAddress(const QString &userName,
                                               const QList<MailProvider> &providers = KnownMailProviders());
// The provider whose server has this host, in any case.
std::optional<MailProvider> ProviderForHost(const QString &host,
                                            const QList<MailProvider> &providers = KnownMailProviders());

} // namespace larkspan
