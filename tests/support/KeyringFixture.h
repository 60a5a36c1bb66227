#pragma once

#include <QProcess>
#include <QString>
#include <QTemporaryDir>

namespace larkspan::test {

// A real desktop keyring for one test run: a private D-Bus session bus and a
// gnome-keyring-daemon on it (secrets only), its login keyring made and unlocked with
// a test password, in a private folder. start() points DBUS_SESSION_BUS_ADDRESS of
// this process at the bus, so it must run before anything uses the session bus. Both
// daemons stop, by their own pids, in stopKeyring() / the destructor.
class KeyringFixture {
public:
    KeyringFixture() = default;
    ~KeyringFixture();
    KeyringFixture(const KeyringFixture &) = delete;
    KeyringFixture &operator=(const KeyringFixture &) = delete;

    // dbus-daemon and gnome-keyring-daemon are installed.
    static bool available();
    // false with errorText() when the keyring did not come up.
    bool start();
    // Locks the keyring; opening it again would ask its user, and no one answers here.
    bool lock();
    // The keyring goes away; the bus stays (a session without a keyring).
    void stopKeyring();
    QString errorText() const { return m_error; }

private:
    QTemporaryDir m_folder;
    QProcess m_bus;
    QProcess m_keyring;
    QString m_error;
};

} // namespace larkspan::test
