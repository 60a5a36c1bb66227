#include "platform/keyring/Keyring.h"

#include "platform/core/Logging.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QEventLoop>
#include <QTimer>
#include <qt6keychain/keychain.h>

#include <memory>

namespace larkspan {

namespace {

// The keyring shows the program's entries under this service name.
const QString kService = QStringLiteral("larkspan");
// Long enough for a user to type the keyring's own password when it asks.
constexpr int kKeyringWaitMs = 3 * 60 * 1000;

// Runs the job and waits for its end. False with the reason when it failed or the
// keyring did not answer in time.
bool RunJob(QKeychain::Job &job, QString *problem, bool absentIsFine)
{
    job.setAutoDelete(false);
    job.setInsecureFallback(false);
    bool finished = false;
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, [&] {
        finished = true;
        loop.quit();
    });
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    job.start();
    if (!finished) {
        timeout.start(kKeyringWaitMs);
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    }
    QString reason;
    if (!finished)
        reason = QStringLiteral("the keyring did not answer");
    else if (job.error() == QKeychain::EntryNotFound && absentIsFine)
        return true;
    else if (job.error() == QKeychain::AccessDeniedByUser)
        reason = QStringLiteral("the keyring stayed locked");
    else if (job.error() != QKeychain::NoError)
        reason = job.errorString().isEmpty() ? QStringLiteral("the keyring failed") : job.errorString();
    if (reason.isEmpty())
        return true;
    // The reason is the keyring's own text; no secret is ever part of it.
    qCWarning(lcUi).noquote() << "Keyring:" << reason;
    if (problem)
        *problem = reason;
    return false;
}

} // namespace

bool KeyringServiceAvailable()
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !bus.interface())
        return false;
    return bus.interface()->isServiceRegistered(QStringLiteral("org.freedesktop.secrets")).value();
}

std::optional<QString> ReadKeyringPassword(const QString &entry, QString *problem)
{
    if (problem)
        problem->clear();
    QKeychain::ReadPasswordJob job(kService);
    job.setKey(entry);
    if (!RunJob(job, problem, true))
        return std::nullopt;
    if (job.error() == QKeychain::EntryNotFound)
        return std::nullopt;
    return job.textData();
}

bool WriteKeyringPassword(const QString &entry, const QString &password, QString *problem)
{
    QKeychain::WritePasswordJob job(kService);
    job.setKey(entry);
    job.setTextData(password);
    return RunJob(job, problem, false);
}

bool ClearKeyringPassword(const QString &entry, QString *problem)
{
    QKeychain::DeletePasswordJob job(kService);
    job.setKey(entry);
    return RunJob(job, problem, true);
}

} // namespace larkspan
