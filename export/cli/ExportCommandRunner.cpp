#include "export/cli/ExportCommandRunner.h"

#include "export/cli/ProgressLine.h"
#include "export/pipeline/ExportDestination.h"
#include "export/pipeline/ExportRun.h"
#include "export/pipeline/OnePdfForAll.h"
#include "mail/ImapClient.h"
#include "mail/ServerAddress.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/data/FolderListing.h"
#include "messagelist/data/LocalListing.h"
#include "platform/core/DesktopFolder.h"
#include "platform/core/ErrorReport.h"
#include "platform/core/SettingsStore.h"
#include "platform/keyring/RememberedPassword.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "platform/widgets/WebBrowser.h"

#include <QDir>
#include <QWebEnginePage>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QTextStream>

#include <cstdio>
#include <sys/stat.h>

namespace larkspan {

namespace {

QString Setting(const char *key, const QString &fallback = QString())
{
    return ReadSetting(QString::fromLatin1(key), fallback);
}

// The first line of a stream, without its line break.
QString FirstLine(QIODevice &device)
{
    QByteArray line = device.readLine();
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

} // namespace

ExportCommandRunner::ExportCommandRunner(const ExportCommand &command, QObject *parent)
    : QObject(parent), m_command(command), m_progress(std::make_unique<ProgressLine>(command.quiet))
{
}

ExportCommandRunner::~ExportCommandRunner() = default;

void ExportCommandRunner::stop()
{
    m_stopped = true;
    if (m_listing)
        m_listing->stop();
    if (m_local)
        m_local->stop();
    if (m_run)
        m_run->stop(ExportRun::Stop::AfterCurrentMessage);
}

// The folder must be a folder this user can write into; a missing one is made.
ExitStatus ExportCommandRunner::prepareOutputFolder()
{
    m_folder = m_command.to.value_or(Setting("Backup Path", DesktopFolderPath()));
    if (m_folder.isEmpty()) {
        m_progress->fail(QStringLiteral("No output folder: give one with --to."));
        return ExitStatus::OutputNotWritable;
    }
    const QFileInfo info(m_folder);
    if (!m_folder.endsWith(QLatin1Char('/')))
        m_folder += QLatin1Char('/');
    if (info.exists() && !info.isDir()) {
        m_progress->fail(QStringLiteral("The output folder \"%1\" is a file, not a folder.").arg(QDir::toNativeSeparators(info.absoluteFilePath())));
        return ExitStatus::OutputNotWritable;
    }
    if (!info.exists() && !QDir().mkpath(m_folder)) {
        m_progress->fail(QStringLiteral("The output folder \"%1\" does not exist and could not be made.").arg(m_folder));
        return ExitStatus::OutputNotWritable;
    }
    QTemporaryFile probe(m_folder + QStringLiteral(".larkspan-probe-XXXXXX"));
    if (!probe.open()) {
        m_progress->fail(QStringLiteral("The output folder \"%1\" cannot be written: %2").arg(m_folder, probe.errorString()));
        return ExitStatus::OutputNotWritable;
    }
    return ExitStatus::Done;
}

// The password, never from the command line: the one "Remember me" stored for the user
// (in the keyring, or the settings file where no keyring answers), a file only its
// owner can read, standard input.
ExitStatus ExportCommandRunner::findPassword()
{
    QString keyringProblem;
    if (Setting("User") == m_user) {
        const RememberedPasswordRead remembered = ReadRememberedPassword();
        m_password = remembered.password;
        keyringProblem = remembered.problem;
    }
    if (!m_password.isEmpty())
        return ExitStatus::Done;
    if (!m_command.passwordFile.isEmpty()) {
        const QByteArray path = QFile::encodeName(m_command.passwordFile);
        struct stat facts {};
        if (::stat(path.constData(), &facts) != 0) {
            m_progress->fail(QStringLiteral("The password file \"%1\" cannot be read: %2").arg(m_command.passwordFile, QString::fromLocal8Bit(std::strerror(errno))));
            return ExitStatus::Usage;
        }
        if ((facts.st_mode & (S_IRWXG | S_IRWXO)) != 0 || facts.st_uid != ::geteuid()) {
            m_progress->fail(QStringLiteral("The password file \"%1\" is refused: others than its owner may read it, or "
                                            "it is not yours (chmod 600 makes it yours alone).")
                                 .arg(m_command.passwordFile));
            return ExitStatus::Usage;
        }
        QFile file(m_command.passwordFile);
        if (!file.open(QIODevice::ReadOnly)) {
            m_progress->fail(QStringLiteral("The password file \"%1\" cannot be read: %2").arg(m_command.passwordFile, file.errorString()));
            return ExitStatus::Usage;
        }
        m_password = FirstLine(file);
    } else if (m_command.passwordStdin) {
        QFile in;
        in.open(stdin, QIODevice::ReadOnly);
        m_password = FirstLine(in);
    }
    if (m_password.isEmpty()) {
        const QString stored = keyringProblem.isEmpty()
                                   ? QStringLiteral("none is stored for this user (tick \"Remember me\" in the window)")
                                   : QStringLiteral("the keyring could not give the stored one (%1)").arg(keyringProblem);
        m_progress->fail(QStringLiteral("No password for %1: %2, and neither --password-file nor --password-stdin gave one.")
                             .arg(m_user, stored));
        return ExitStatus::Usage;
    }
    return ExitStatus::Done;
}

ExitStatus ExportCommandRunner::run()
{
    if (m_command.fromDisk())
        return runFromDisk();
    // The server: the environment first (tests and the demo), then the command line,
    // then the settings the window keeps. A server named on the command line comes with
    // its own port (or the default of its security), never the port stored for another.
    ServerChoice choice = StoredServerChoice();
    if (m_command.host) {
        choice = ServerChoice{*m_command.host, QString(), choice.security};
        if (m_command.port)
            choice.port = QString::number(*m_command.port);
    }
    if (m_command.security) {
        choice.security = MailSecurityName(*m_command.security);
        if (!m_command.port)
            choice.port.clear();
    }
    const MailServer server = ChooseMailServer(choice);
    m_host = server.host;
    m_port = server.port;
    const MailSecurity security = server.security;
    m_user = m_command.user.value_or(Setting("User"));
    if (m_user.isEmpty()) {
        m_progress->fail(QStringLiteral("No user name: give one with --user."));
        return ExitStatus::Usage;
    }
    if (const ExitStatus status = prepareOutputFolder(); status != ExitStatus::Done)
        return status;
    if (const ExitStatus status = findPassword(); status != ExitStatus::Done)
        return status;
    startPrintingPages();

    ImapClient client;
    auto session = std::make_shared<clsChilkatIMAP>();
    session->ChilkatIMAPObject = &client;
    UseMailServer(*session, server);
    session->Username = m_user;
    session->Password = m_password;
    const QString where = QStringLiteral("%1 (port %2, %3)").arg(m_host).arg(m_port).arg(MailSecurityName(security));
    if (!session->Connect()) {
        const bool refused = client.lastFailure() == ImapClient::Failure::ServerRefused;
        m_progress->fail(QStringLiteral("Could not sign in to %1 as %2: %3").arg(where, m_user, client.lastErrorText()));
        return refused ? ExitStatus::SignInRefused : ExitStatus::ServerError;
    }
    m_progress->say(QStringLiteral("Signed in to %1 as %2.").arg(where, m_user));

    // The folder: as asked, else the one last chosen in the window (its place in the
    // server's list of folders).
    QString mailFolder = m_command.folder.value_or(QString());
    if (mailFolder.isEmpty()) {
        const std::optional<QStringList> folders = session->EnumMailFolders();
        const int place = Setting("Combo2", QStringLiteral("3")).toInt();
        if (!folders || place < 0 || place >= folders->size()) {
            m_progress->fail(QStringLiteral("No folder to export: give one with --folder."));
            return folders ? ExitStatus::Usage : ExitStatus::ServerError;
        }
        mailFolder = folders->at(place);
    }

    FolderListing listing(session);
    m_listing = &listing;
    listing.setSince(m_command.since);
    connect(&listing, &FolderListing::progress, this, [&](int current, int last) {
        m_progress->step(current - m_command.first + 1);
        Q_UNUSED(last);
    });
    m_progress->begin(QStringLiteral("Listing \"%1\"").arg(mailFolder),
                      m_command.last > 0 ? m_command.last - m_command.first + 1 : 0);
    bool listed = false;
    // The count is known once the folder is open; the progress line learns it then.
    connect(&listing, &FolderListing::progress, this, [&](int, int last) {
        if (!listed)
            m_progress->begin(QStringLiteral("Listing \"%1\"").arg(mailFolder), last - m_command.first + 1);
        listed = true;
    }, Qt::SingleShotConnection);
    const bool ok = listing.run(mailFolder, m_command.first, m_command.last, m_command.containing);
    m_listing = nullptr;
    if (!ok) {
        m_progress->fail(listing.error());
        switch (listing.failure()) {
        case FolderListing::Failure::Folder:
            return client.lastFailure() == ImapClient::Failure::ServerRefused ? ExitStatus::Usage : ExitStatus::ServerError;
        case FolderListing::Failure::Range:
            return ExitStatus::Usage;
        case FolderListing::Failure::SignIn:
            return client.lastFailure() == ImapClient::Failure::ServerRefused ? ExitStatus::SignInRefused : ExitStatus::ServerError;
        default:
            return ExitStatus::ServerError;
        }
    }
    const bool listingCut = listing.failure() == FolderListing::Failure::Walk;
    m_progress->end(QStringLiteral("Listed %1 messages of \"%2\".").arg(listing.records().upperBound()).arg(mailFolder));
    if (listingCut)
        m_progress->fail(QStringLiteral("The listing ended early: ") + listing.error());
    client.disconnectFromServer();
    const ExitStatus status = exportRecords(listing.records());
    return status == ExitStatus::Done && listingCut ? ExitStatus::ServerError : status;
}

// Mail on the disk: no server, no password; the listing reads the files in place.
ExitStatus ExportCommandRunner::runFromDisk()
{
    m_user = m_command.user.value_or(Setting("User"));
    if (const ExitStatus status = prepareOutputFolder(); status != ExitStatus::Done)
        return status;
    startPrintingPages();
    const QString named = QDir::toNativeSeparators(m_command.localPaths().join(QStringLiteral(", ")));
    LocalListing listing;
    m_local = &listing;
    connect(&listing, &LocalListing::progress, this, [&](int current, int last) {
        if (current == m_command.first)
            m_progress->begin(QStringLiteral("Reading %1").arg(named), last - m_command.first + 1);
        m_progress->step(current - m_command.first + 1);
    });
    const bool ok = listing.run(m_command.localPaths(), m_command.first, m_command.last, m_command.containing,
                                m_command.folder.value_or(QString()));
    m_local = nullptr;
    if (!ok) {
        m_progress->fail(listing.error());
        return ExitStatus::Usage;
    }
    const bool listingCut = listing.failure() == LocalListing::Failure::Read;
    QString listed = QStringLiteral("Listed %1 messages of %2.").arg(listing.records().upperBound()).arg(named);
    if (listing.expungedLeftOut() > 0)
        listed += QStringLiteral(" %1 deleted messages still in the file were left out.").arg(listing.expungedLeftOut());
    m_progress->end(listed);
    if (listingCut)
        m_progress->fail(QStringLiteral("The listing ended early: ") + listing.error());
    const ExitStatus status = exportRecords(listing.records());
    return status == ExitStatus::Done && listingCut ? ExitStatus::SomeFailed : status;
}

void ExportCommandRunner::startPrintingPages()
{
    if (m_printing[0])
        return;
    // Hosted like the window's printing browsers: a page without a view prints slower.
    for (std::unique_ptr<WebBrowser> &browser : m_printing) {
        browser = std::make_unique<WebBrowser>();
        browser->setViewSize(QSize(800, 1000));
        browser->setSilent(true);
        browser->page()->setVisible(true);
        browser->navigate(QStringLiteral("about:blank"));
    }
}

ExitStatus ExportCommandRunner::exportRecords(const RecordArray &records)
{
    if (m_stopped) {
        m_progress->fail(QStringLiteral("Stopped before exporting."));
        return ExitStatus::Cancelled;
    }

    // The export, as the window's "Export All To PDF" runs it.
    const QString pattern = m_command.pattern.value_or(Setting("Text1", DefaultFileNamePattern()));
    const FieldsAtNaming fields = [&](int count) {
        return FileNameFields{pattern, m_folder, m_user, QDateTime::currentDateTime(), count};
    };
    std::unique_ptr<ExportDestination> destination;
    if (m_command.bundle)
        destination = std::make_unique<OnePdfForAll>(fields);
    else
        destination = std::make_unique<PdfPerMessage>(fields);
    ExportSettings settings;
    settings.folder = m_folder;
    settings.page.printAsHtml = !m_command.textOnly;
    settings.page.showAttachments = !m_command.noAttachments && Setting("ShowAttachments", QStringLiteral("1")) == QLatin1String("1");
    settings.skipExported = !m_command.allAgain;
    settings.startedAt = QDateTime::currentDateTime();
    // The pages print to the PDF writer, as the program's default printer (for this
    // process only, as in the window).
    Printers().setDefaultPrinter(PdfWriterDeviceName());
    startPrintingPages();
    ExportRun run(settings, *destination, {m_printing[0]->webPage(), m_printing[1]->webPage()});
    m_run = &run;
    run.setMessages(records);
    run.setErrorReporter([this](const QString &description) { m_progress->fail(description); });
    connect(&run, &ExportRun::messageStarting, this, [&](int count) { m_progress->step(count - 1); });
    connect(&run, &ExportRun::messageFinished, this, [&](int count, const ExportOutcome &outcome) {
        m_progress->step(count);
        if (outcome.state == ExportOutcome::State::Failed)
            m_progress->fail(ExportRun::describe(count, records(count)) + QStringLiteral(": ") + outcome.listedFailure);
    });
    connect(&run, &ExportRun::finishing, this, [&] {
        if (m_command.bundle && !m_stopped)
            m_progress->say(QStringLiteral("Putting the one PDF together."));
    });
    m_progress->begin(QStringLiteral("Exporting"), records.upperBound());
    if (m_stopped)
        run.stop(ExportRun::Stop::AfterCurrentMessage);
    run.exec();
    m_run = nullptr;

    const ExportReport &report = run.report();
    QString summary = QStringLiteral("Exported: %1, skipped: %2, failed: %3.")
                          .arg(report.count(ExportReport::Status::Exported))
                          .arg(report.count(ExportReport::Status::Skipped))
                          .arg(report.count(ExportReport::Status::Failed));
    if (!run.deliveredFile().isEmpty())
        summary += QStringLiteral(" One PDF: %1").arg(run.deliveredFile());
    else if (m_command.bundle && !run.nothingDelivered().isEmpty())
        summary += QLatin1Char(' ') + run.nothingDelivered();
    m_progress->end(summary);
    if (!report.problem().isEmpty())
        m_progress->fail(report.problem());
    else if (!run.reportSaveProblem().isEmpty())
        m_progress->fail(QStringLiteral("The report \"%1\" could not be written: %2").arg(m_folder + ExportReport::fileName(), run.reportSaveProblem()));
    else
        m_progress->say(QStringLiteral("Report: %1").arg(m_folder + ExportReport::fileName()));
    if (!run.destinationProblem().isEmpty())
        m_progress->fail(QStringLiteral("The one PDF could not be written: ") + run.destinationProblem());

    if (m_stopped || run.wasStopped())
        return ExitStatus::Cancelled;
    if (!run.failures().isEmpty() || !run.destinationProblem().isEmpty())
        return ExitStatus::SomeFailed;
    return ExitStatus::Done;
}

} // namespace larkspan
