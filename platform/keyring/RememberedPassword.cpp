#include "platform/keyring/RememberedPassword.h"

#include "platform/core/SettingsStore.h"
#include "platform/keyring/Keyring.h"

namespace larkspan {

namespace {
const QString kPasswordKey = QStringLiteral("Password");
} // namespace

PasswordPlace RememberedPasswordPlace()
{
    return KeyringServiceAvailable() ? PasswordPlace::Keyring : PasswordPlace::SettingsFile;
}

QString RememberedPasswordEntry()
{
    return kPasswordKey;
}

RememberedPasswordRead ReadRememberedPassword()
{
    RememberedPasswordRead read;
    if (RememberedPasswordPlace() == PasswordPlace::SettingsFile) {
        read.password = ReadSetting(kPasswordKey);
        return read;
    }
    const std::optional<QString> kept = ReadKeyringPassword(kPasswordKey, &read.problem);
    // One the settings file still holds (not moved yet) is as good.
    read.password = kept ? *kept : read.problem.isEmpty() ? ReadSetting(kPasswordKey) : QString();
    return read;
}

bool WriteRememberedPassword(const QString &password, QString *problem)
{
    if (RememberedPasswordPlace() == PasswordPlace::SettingsFile) {
        WriteSetting(kPasswordKey, password);
        return true;
    }
    if (password.isEmpty())
        return ClearKeyringPassword(kPasswordKey, problem);
    return WriteKeyringPassword(kPasswordKey, password, problem);
}

bool MoveRememberedPasswordToKeyring(QString *problem)
{
    if (RememberedPasswordPlace() != PasswordPlace::Keyring)
        return true;
    const QString stored = ReadSetting(kPasswordKey);
    if (stored.isEmpty())
        return true;
    if (!WriteKeyringPassword(kPasswordKey, stored, problem))
        return false;
    WriteSetting(kPasswordKey, QString());
    return true;
}

} // namespace larkspan
