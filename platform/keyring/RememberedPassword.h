#pragma once

#include <QString>

namespace larkspan {

// The remembered password (settings key "Password") lives in the desktop keyring when
// a Secret Service answers, else in the owner-only settings file as before. Every
// reader and writer of the remembered password goes through here.

// Where the password of "Remember me" is kept.
enum class PasswordPlace { Keyring, SettingsFile };
PasswordPlace RememberedPasswordPlace();

// The keyring entry that holds it (service "larkspan").
QString RememberedPasswordEntry();

struct RememberedPasswordRead {
    QString password;
    // Empty when it was read (or there is none); else why the keyring could not give it.
    QString problem;
};
// With a keyring but no entry in it, a password the settings file still holds.
RememberedPasswordRead ReadRememberedPassword();

// Stores the field's text; an empty text clears the entry. False with the reason when
// the keyring did not take it (then nothing is written to the settings file either).
bool WriteRememberedPassword(const QString &password, QString *problem = nullptr);

// A password that the settings file still holds moves into the keyring: the file gives
// it up only after the keyring took it. Nothing to do (true) without a keyring or a
// stored password; false with the reason when the keyring refused it.
bool MoveRememberedPasswordToKeyring(QString *problem = nullptr);

} // namespace larkspan
