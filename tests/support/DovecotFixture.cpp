#include "support/DovecotFixture.h"

#include "mail/ImapCodec.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

namespace larkspan::test {

namespace {

bool WriteFile(const QString &path, const QByteArray &bytes, QFile::Permissions permissions)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        return false;
    file.close();
    return file.setPermissions(permissions);
}

constexpr QFile::Permissions kReadable = QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther;
constexpr QFile::Permissions kOpenFolder = kReadable | QFile::ExeOwner | QFile::ExeGroup | QFile::ExeOther;

bool IsRoot()
{
    return geteuid() == 0;
}

QString CurrentUserName()
{
    const passwd *entry = getpwuid(geteuid());
    return entry ? QString::fromLocal8Bit(entry->pw_name) : QString();
}

// Gives a tree to the mail user so that Dovecot's mail processes can use it.
bool ChownTree(const QString &path, uid_t uid, gid_t gid)
{
    if (chown(QFile::encodeName(path).constData(), uid, gid) != 0)
        return false;
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir() && !entry.isSymLink()) {
            if (!ChownTree(entry.absoluteFilePath(), uid, gid))
                return false;
        } else if (chown(QFile::encodeName(entry.absoluteFilePath()).constData(), uid, gid) != 0) {
            return false;
        }
    }
    return true;
}

} // namespace

DovecotFixture::DovecotFixture() : m_dir(QDir::tempPath() + QStringLiteral("/larkspan-dovecot-XXXXXX"))
{
    // The mail and login processes run as other users and must reach their files.
    QFile::setPermissions(m_dir.path(), kOpenFolder);
}

DovecotFixture::~DovecotFixture()
{
    stop();
}

bool DovecotFixture::available()
{
    return !QStandardPaths::findExecutable(QStringLiteral("dovecot"), {"/usr/sbin", "/usr/local/sbin", "/usr/bin"}).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty();
}

void DovecotFixture::setCredentials(const QString &user, const QString &password)
{
    m_user = user;
    m_password = password;
}

void DovecotFixture::addAccount(const QString &user, const QString &password)
{
    m_otherAccounts.append({user, password});
}

void DovecotFixture::addFolder(const QString &name, const QList<QByteArray> &messages)
{
    for (Folder &folder : m_folders) {
        if (folder.name == name) {
            folder.messages += messages;
            return;
        }
    }
    m_folders.push_back({name, messages, 0, nullptr});
}

void DovecotFixture::addGeneratedFolder(const QString &name, int count, std::function<QByteArray(int)> generate)
{
    m_folders.push_back({name, {}, count, std::move(generate)});
}

void DovecotFixture::addFolder(const QString &name, const QStringList &emlFiles)
{
    QList<QByteArray> messages;
    for (const QString &path : emlFiles) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            m_error = QStringLiteral("cannot read %1").arg(path);
            continue;
        }
        messages.append(file.readAll());
    }
    addFolder(name, messages);
}

QString DovecotFixture::folder() const
{
    return m_dir.path();
}

QString DovecotFixture::caFile() const
{
    return m_dir.path() + QStringLiteral("/ca.crt");
}

QString DovecotFixture::logPath() const
{
    return m_dir.path() + QStringLiteral("/dovecot.log");
}

QStringList DovecotFixture::commandLine() const
{
    const QString dovecot =
        QStandardPaths::findExecutable(QStringLiteral("dovecot"), {"/usr/sbin", "/usr/local/sbin", "/usr/bin"});
    return {dovecot, QStringLiteral("-F"), QStringLiteral("-c"), m_dir.path() + QStringLiteral("/dovecot.conf")};
}

bool DovecotFixture::run(const QString &program, const QStringList &arguments)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit || process.exitCode() != 0) {
        m_error = QStringLiteral("%1 %2 failed: %3")
                      .arg(program, arguments.join(QLatin1Char(' ')), QString::fromLocal8Bit(process.readAll()));
        return false;
    }
    return true;
}

bool DovecotFixture::makeCertificates()
{
    const QString d = m_dir.path() + QLatin1Char('/');
    const QStringList ec = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    if (!run("openssl", QStringList{"req", "-x509"} + ec +
                            QStringList{"-keyout", d + "ca.key", "-out", d + "ca.crt", "-days", "3", "-subj",
                                        "/CN=Larkspan Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                                        "-addext", "keyUsage=critical,keyCertSign,cRLSign"}))
        return false;
    if (!run("openssl", QStringList{"req"} + ec +
                            QStringList{"-keyout", d + "server.key", "-out", d + "server.csr", "-subj", "/CN=127.0.0.1"}))
        return false;
    if (!WriteFile(d + "server.ext",
                   "subjectAltName=IP:127.0.0.1,DNS:localhost\nbasicConstraints=CA:FALSE\n"
                   "keyUsage=digitalSignature\nextendedKeyUsage=serverAuth\n",
                   kReadable))
        return false;
    if (!run("openssl", {"x509", "-req", "-in", d + "server.csr", "-CA", d + "ca.crt", "-CAkey", d + "ca.key",
                         "-CAcreateserial", "-out", d + "server.crt", "-days", "3", "-extfile", d + "server.ext"}))
        return false;
    QFile::setPermissions(d + "server.key", QFile::ReadOwner | QFile::WriteOwner);
    QFile::setPermissions(d + "ca.crt", kReadable);
    return true;
}

quint16 DovecotFixture::freePort() const
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 0;
    return probe.serverPort();
}

bool DovecotFixture::writeConfiguration()
{
    const QString d = m_dir.path();
    const bool root = IsRoot();
    const QString loginUser = root ? QStringLiteral("dovenull") : CurrentUserName();
    const QString internalUser = root ? QStringLiteral("dovecot") : CurrentUserName();
    const QString mailUser = root ? QStringLiteral("dovecot") : CurrentUserName();
    const passwd *mailAccount = getpwnam(mailUser.toLocal8Bit().constData());
    if (!mailAccount) {
        m_error = QStringLiteral("no user %1 on this machine").arg(mailUser);
        return false;
    }
    m_port = freePort();
    if (m_port == 0) {
        m_error = QStringLiteral("no free port on 127.0.0.1");
        return false;
    }
    QDir().mkpath(d + "/run");
    QDir().mkpath(d + "/state");

    QString conf;
    conf += QStringLiteral("base_dir = %1/run\n").arg(d);
    conf += QStringLiteral("state_dir = %1/state\n").arg(d);
    conf += QStringLiteral("log_path = %1\ninfo_log_path = %1\n").arg(logPath());
    conf += QStringLiteral("instance_name = larkspan-%1\n").arg(m_port);
    conf += QStringLiteral("protocols = imap\nlisten = 127.0.0.1\n");
    if (m_encryption == Encryption::None) {
        conf += QStringLiteral("ssl = no\ndisable_plaintext_auth = no\n");
    } else {
        // "required" on a plain port: STARTTLS is offered, and no login is taken before it.
        conf += QStringLiteral("ssl = required\nssl_cert = <%1/server.crt\nssl_key = <%1/server.key\n").arg(d);
        conf += QStringLiteral("ssl_min_protocol = TLSv1.2\ndisable_plaintext_auth = yes\n");
    }
    conf += QStringLiteral("auth_mechanisms = plain\n");
    conf += QStringLiteral("default_login_user = %1\ndefault_internal_user = %2\n").arg(loginUser, internalUser);
    conf += QStringLiteral("first_valid_uid = 1\nfirst_valid_gid = 1\n");
    conf += QStringLiteral("mail_location = maildir:~/Maildir\n");
    conf += QStringLiteral("mail_max_userip_connections = 200\n");
    conf += QStringLiteral("passdb {\n  driver = passwd-file\n  args = scheme=PLAIN %1/passwd\n}\n").arg(d);
    conf += QStringLiteral("userdb {\n  driver = static\n  args = uid=%1 gid=%2 home=%3/home/%u\n}\n")
                .arg(mailAccount->pw_uid)
                .arg(mailAccount->pw_gid)
                .arg(d);
    conf += QStringLiteral("namespace inbox {\n  inbox = yes\n  separator = /\n}\n");
    const bool implicitTls = m_encryption == Encryption::ImplicitTls;
    conf += QStringLiteral("service imap-login {\n  inet_listener imap {\n    port = %1\n  }\n"
                           "  inet_listener imaps {\n    port = %2\n    ssl = yes\n  }\n%3}\n")
                .arg(implicitTls ? 0 : m_port)
                .arg(implicitTls ? m_port : 0)
                .arg(root ? QString() : QStringLiteral("  chroot =\n"));
    if (!root)
        conf += QStringLiteral("service anvil {\n  chroot =\n}\n");

    QString accounts;
    for (const auto &[user, password] : QList<std::pair<QString, QString>>{{m_user, m_password}} + m_otherAccounts)
        accounts += user + QStringLiteral(":{PLAIN}") + password + QStringLiteral("::::::\n");
    if (!WriteFile(d + "/dovecot.conf", conf.toUtf8(), kReadable) || !WriteFile(d + "/passwd", accounts.toUtf8(), kReadable)) {
        m_error = QStringLiteral("cannot write the server configuration in %1").arg(d);
        return false;
    }
    return true;
}

QString DovecotFixture::maildirOf(const QString &folder) const
{
    QString path = m_dir.path() + QStringLiteral("/home/") + m_user + QStringLiteral("/Maildir");
    if (folder.compare(QLatin1String("INBOX"), Qt::CaseInsensitive) != 0) {
        // Maildir++: ".Parent.Child", names in modified UTF-7 on disk.
        QString onDisk = QString::fromLatin1(imap::EncodeMailboxName(folder));
        onDisk.replace(QLatin1Char('/'), QLatin1Char('.'));
        path += QStringLiteral("/.") + onDisk;
    }
    return path;
}

bool DovecotFixture::deliver(const QString &folder, const QByteArray &message)
{
    // Later than every file written at the start, so it comes last.
    ++m_delivered;
    const QString file = maildirOf(folder) + QStringLiteral("/new/%1.M%2P2.larkspan").arg(1900000000 + m_delivered).arg(m_delivered);
    if (!WriteFile(file, message, kReadable))
        return false;
    if (IsRoot()) {
        const passwd *account = getpwnam("dovecot");
        return account && chown(QFile::encodeName(file).constData(), account->pw_uid, account->pw_gid) == 0;
    }
    return true;
}

bool DovecotFixture::writeMail()
{
    const QString home = m_dir.path() + QStringLiteral("/home/") + m_user;
    int serial = 0;
    bool haveInbox = false;
    for (const Folder &folder : m_folders)
        haveInbox = haveInbox || folder.name.compare(QLatin1String("INBOX"), Qt::CaseInsensitive) == 0;
    std::vector<Folder> folders = m_folders;
    if (!haveInbox)
        folders.push_back({QStringLiteral("INBOX"), {}, 0, nullptr});

    for (const Folder &folder : folders) {
        const QString path = maildirOf(folder.name);
        for (const char *sub : {"cur", "new", "tmp"})
            QDir().mkpath(path + QLatin1Char('/') + QLatin1String(sub));
        const int count = folder.generate ? folder.generated : int(folder.messages.size());
        for (int n = 1; n <= count; ++n) {
            const QByteArray message = folder.generate ? folder.generate(n) : folder.messages[n - 1];
            // Dovecot numbers new files in the order of the time in their names.
            ++serial;
            const QString name = QStringLiteral("%1.M%2P1.larkspan:2,").arg(1600000000 + serial).arg(serial);
            if (!WriteFile(path + QStringLiteral("/cur/") + name, message, kReadable)) {
                m_error = QStringLiteral("cannot write mail into %1").arg(path);
                return false;
            }
        }
    }
    QDir().mkpath(home);
    if (IsRoot()) {
        const passwd *account = getpwnam("dovecot");
        if (!account || !ChownTree(m_dir.path() + QStringLiteral("/home"), account->pw_uid, account->pw_gid)) {
            m_error = QStringLiteral("cannot give the mail folders to the dovecot user");
            return false;
        }
    }
    return true;
}

bool DovecotFixture::configure()
{
    if (m_configured)
        return true;
    if (!m_dir.isValid()) {
        m_error = QStringLiteral("no temporary folder");
        return false;
    }
    if (!available()) {
        m_error = QStringLiteral("dovecot or openssl is not installed (scripts/install-deps.sh)");
        return false;
    }
    if (!m_error.isEmpty())
        return false;
    if (!makeCertificates() || !writeConfiguration() || !writeMail())
        return false;
    m_configured = true;
    return true;
}

bool DovecotFixture::start()
{
    if (isRunning())
        return true;
    if (!configure())
        return false;
    // Another program may take the chosen port in between; a new port then helps.
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt > 0 && !writeConfiguration())
            return false;
        m_process = std::make_unique<QProcess>();
        m_process->setProcessChannelMode(QProcess::MergedChannels);
        const QStringList command = commandLine();
        m_process->start(command.first(), command.mid(1));
        if (!m_process->waitForStarted(10000)) {
            m_error = QStringLiteral("dovecot did not start: %1").arg(m_process->errorString());
            m_process.reset();
            return false;
        }
        const QDeadlineTimer deadline(15000);
        while (!deadline.hasExpired() && m_process->state() == QProcess::Running) {
            QTcpSocket probe;
            probe.connectToHost(QHostAddress::LocalHost, m_port);
            if (probe.waitForConnected(500)) {
                probe.abort();
                return true;
            }
            // Refused at once: the listener is not up yet; ask again shortly.
            m_process->waitForFinished(25);
        }
        QFile log(logPath());
        log.open(QIODevice::ReadOnly);
        m_error = QStringLiteral("dovecot did not accept connections on port %1: %2 %3")
                      .arg(m_port)
                      .arg(QString::fromLocal8Bit(m_process->readAll()), QString::fromLocal8Bit(log.readAll()));
        stop();
    }
    return false;
}

bool DovecotFixture::isRunning() const
{
    return m_process && m_process->state() == QProcess::Running;
}

void DovecotFixture::stop()
{
    if (!m_process)
        return;
    if (m_process->state() != QProcess::NotRunning) {
        m_process->terminate(); // SIGTERM to our own dovecot, which stops its children
        if (!m_process->waitForFinished(10000)) {
            m_process->kill();
            m_process->waitForFinished(5000);
        }
    }
    m_process.reset();
}

} // namespace larkspan::test
