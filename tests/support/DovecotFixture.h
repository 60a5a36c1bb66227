#pragma once

#include <QByteArray>
#include <QList>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>
#include <memory>
#include <vector>

namespace larkspan::test {

// A real Dovecot IMAP server on 127.0.0.1 for one test, benchmark or script run.
//
//     DovecotFixture server;
//     server.addFolder("INBOX", {TestDataFolder() + "/plain.eml"});
//     server.addFolder("Archive/2024", QList<QByteArray>{rawMessage});
//     QVERIFY2(server.start(), qPrintable(server.errorText()));
//     qputenv("LARKSPAN_IMAP_CA_FILE", server.caFile().toLocal8Bit());
//     ... connect to server.host():server.port() as server.user() / server.password()
//
// Everything lives in a private temporary folder: configuration, run and state
// folders, log (logPath()), a test CA and a server certificate for 127.0.0.1 made
// with openssl at start, a {PLAIN} passwd-file and a maildir per user. One port:
// TLS from the first byte (like port 993) unless setEncryption() says otherwise.
// The server stops, by its own pid, in the destructor.
//
// As root (CI), Dovecot runs its login processes as dovenull and mail access as
// dovecot, and the mail files belong to dovecot. As another user, everything runs as
// that user.
//
// For a shell script: configure() writes everything without starting; commandLine()
// is then the command that runs the server in the foreground.
class DovecotFixture {
public:
    DovecotFixture();
    ~DovecotFixture();
    DovecotFixture(const DovecotFixture &) = delete;
    DovecotFixture &operator=(const DovecotFixture &) = delete;

    // Dovecot and openssl are installed.
    static bool available();

    // How the port is encrypted. ImplicitTls: TLS from the first byte. StartTls: a
    // plain port that offers STARTTLS and takes no login before it. None: a plain
    // port without STARTTLS that takes a plain-text login (ssl = no).
    enum class Encryption { ImplicitTls, StartTls, None };
    // Before start().
    void setEncryption(Encryption encryption) { m_encryption = encryption; }

    // Before start(): the one mailbox account (defaults "larkspan" / "Larkspan-test-1").
    // The password may hold anything but ':' and line breaks.
    void setCredentials(const QString &user, const QString &password);

    // Before start(): one more account, with an empty mailbox.
    void addAccount(const QString &user, const QString &password);

    // Before start(): a folder ("INBOX" or a name with "/" as hierarchy separator)
    // with messages in this order (sequence numbers 1, 2, ...). Called again for the
    // same folder, appends.
    void addFolder(const QString &name, const QList<QByteArray> &messages);
    void addFolder(const QString &name, const QStringList &emlFiles);
    // Before start(): a folder of count messages that generate(n) makes (n = 1..count)
    // while the folder is written, so a big folder never sits in memory.
    void addGeneratedFolder(const QString &name, int count, std::function<QByteArray(int)> generate);

    // Writes certificates, configuration, passwd-file and mail; no server yet.
    bool configure();
    // configure() when not done yet, then runs Dovecot and waits until it accepts
    // connections. false with errorText() when it could not.
    bool start();
    void stop();
    bool isRunning() const;
    // While it runs: a new message arrives in the folder (after the ones it has).
    bool deliver(const QString &folder, const QByteArray &message);

    QString host() const { return QStringLiteral("127.0.0.1"); }
    quint16 port() const { return m_port; }
    QString caFile() const;
    QString user() const { return m_user; }
    QString password() const { return m_password; }
    QString folder() const;
    QString logPath() const;
    QStringList commandLine() const;
    QString errorText() const { return m_error; }

private:
    bool makeCertificates();
    bool writeConfiguration();
    bool writeMail();
    QString maildirOf(const QString &folder) const;
    bool run(const QString &program, const QStringList &arguments);
    quint16 freePort() const;

    struct Folder {
        QString name;
        QList<QByteArray> messages;
        int generated = 0;
        std::function<QByteArray(int)> generate;
    };
    QTemporaryDir m_dir;
    QString m_user = QStringLiteral("larkspan");
    QString m_password = QStringLiteral("Larkspan-test-1");
    std::vector<Folder> m_folders;
    QList<std::pair<QString, QString>> m_otherAccounts;
    quint16 m_port = 0;
    int m_delivered = 0;
    Encryption m_encryption = Encryption::ImplicitTls;
    bool m_configured = false;
    QString m_error;
    std::unique_ptr<QProcess> m_process;
};

} // namespace larkspan::test
