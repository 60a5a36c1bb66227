#include "mail/MailProviders.h"

#include "platform/core/Logging.h"
#include "platform/core/ProgramFolder.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace larkspan {

QList<MailProvider> ParseMailProviders(const QByteArray &json)
{
    QList<MailProvider> providers;
    const QJsonArray entries = QJsonDocument::fromJson(json).object().value(QLatin1String("providers")).toArray();
    for (const QJsonValue &value : entries) {
        const QJsonObject entry = value.toObject();
        MailProvider provider;
        provider.name = entry.value(QLatin1String("name")).toString();
        for (const QJsonValue &domain : entry.value(QLatin1String("domains")).toArray())
            provider.domains.append(domain.toString().trimmed().toLower());
        provider.domains.removeAll(QString());
        provider.server.host = entry.value(QLatin1String("host")).toString().trimmed();
        // A security the table misspells is tls: never weaker than asked for.
        provider.server.security =
            ParseMailSecurity(entry.value(QLatin1String("security")).toString()).value_or(MailSecurity::Tls);
        provider.server.port = entry.value(QLatin1String("port")).toInt(DefaultMailServerPort(provider.server.security));
        provider.loginNote = entry.value(QLatin1String("login")).toString();
        if (!provider.name.isEmpty() && !provider.domains.isEmpty() && !provider.server.host.isEmpty())
            providers.append(provider);
    }
    return providers;
}

const QList<MailProvider> &KnownMailProviders()
{
    static const QList<MailProvider> providers = [] {
        QFile file(ProgramFile(QStringLiteral("providers.json")));
        if (!file.open(QIODevice::ReadOnly)) {
            qCWarning(lcImap).noquote() << "No table of mail providers:" << file.fileName() << file.errorString();
            return QList<MailProvider>();
        }
        return ParseMailProviders(file.readAll());
    }();
    return providers;
}

std::optional<MailProvider> ProviderForAddress(const QString &userName, const QList<MailProvider> &providers)
{
    const qsizetype at = userName.lastIndexOf(QLatin1Char('@'));
    if (at < 0)
        return std::nullopt;
    const QString domain = userName.mid(at + 1).trimmed().toLower();
    for (const MailProvider &provider : providers) {
        if (provider.domains.contains(domain))
            return provider;
    }
    return std::nullopt;
}

std::optional<MailProvider> ProviderForHost(const QString &host, const QList<MailProvider> &providers)
{
    for (const MailProvider &provider : providers) {
        if (provider.server.host.compare(host.trimmed(), Qt::CaseInsensitive) == 0)
            return provider;
    }
    return std::nullopt;
}

} // namespace larkspan
