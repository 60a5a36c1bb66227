// Runs the local demo mailbox: a real Dovecot on 127.0.0.1 with TLS, holding the
// made-up messages under demo/mailbox/<folder>/*.eml. It prints the connection
// details as shell assignments, then serves until it is told to stop (SIGTERM or
// SIGINT), when it stops its server by pid and removes its files.

#include "support/DovecotFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>
#include <QTextStream>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
}

QString shellQuoted(const QString &text)
{
    QString quoted = text;
    quoted.replace(QLatin1Char('\''), QStringLiteral("'\\''"));
    return QLatin1Char('\'') + quoted + QLatin1Char('\'');
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 2) {
        std::fprintf(stderr, "usage: %s <mailbox folder with one subfolder per mail folder>\n", argv[0]);
        return 2;
    }
    const QDir mailbox(args.at(1));
    larkspan::test::DovecotFixture server;
    if (!larkspan::test::DovecotFixture::available()) {
        std::fprintf(stderr, "Dovecot or openssl is not installed.\n");
        return 1;
    }
    server.setCredentials(QStringLiteral("demo"), QStringLiteral("larkspan-demo"));
    // INBOX first, the rest by name: the order the folder list shows.
    QStringList folders = mailbox.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    if (folders.removeAll(QStringLiteral("INBOX")) > 0)
        folders.prepend(QStringLiteral("INBOX"));
    for (const QString &folder : std::as_const(folders)) {
        QStringList files;
        const QDir dir(mailbox.filePath(folder));
        for (const QString &name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name))
            files.append(dir.filePath(name));
        server.addFolder(folder, files);
    }
    if (!server.start()) {
        std::fprintf(stderr, "The demo mailbox could not start: %s\n", qPrintable(server.errorText()));
        return 1;
    }

    QTextStream out(stdout);
    out << "DEMO_IMAP_PORT=" << server.port() << '\n'
        << "DEMO_IMAP_CA_FILE=" << shellQuoted(server.caFile()) << '\n'
        << "DEMO_USER=" << shellQuoted(server.user()) << '\n'
        << "DEMO_PASSWORD=" << shellQuoted(server.password()) << '\n'
        << "DEMO_READY=1" << '\n';
    out.flush();

    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return 1;
    QSocketNotifier notifier(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGTERM, onSignal);
    std::signal(SIGINT, onSignal);
    std::signal(SIGHUP, onSignal);
    const int rc = app.exec();
    server.stop();
    return rc;
}
