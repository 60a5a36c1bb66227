#pragma once

#include <QString>
#include <optional>

namespace larkspan {

// True when a Secret Service (GNOME Keyring, KWallet) owns its name on the session bus
// now. One that would only be started on demand does not count: on a machine without
// a desktop it could not ask for its own password.
bool KeyringServiceAvailable();

// The program's entries in the keyring, by name. Each call waits for the keyring
// while the event loop keeps painting (user input waits, so that entries are written
// in the order they were typed), at most a few minutes: a locked keyring may be asking
// its user to unlock it.
//
// The stored text; nothing and an empty problem when there is no such entry; nothing
// and the reason when the keyring could not be read (refused, locked, failing).
std::optional<QString> ReadKeyringPassword(const QString &entry, QString *problem);
// False with the reason when the keyring did not take it.
bool WriteKeyringPassword(const QString &entry, const QString &password, QString *problem);
// Removes the entry; an entry that is not there counts as removed.
bool ClearKeyringPassword(const QString &entry, QString *problem);

} // namespace larkspan
