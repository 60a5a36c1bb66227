// "Export All To PDF" through the real export window, offscreen, on a mix of 200
// messages (plain text, HTML with inline images, long bodies of several pages), for
// both export options; beside it bare loops of the web engine printing the same pages
// with one and with two pages in flight. The messages lie in the message store as a
// listing leaves them, and every PDF carries the original message and its attachment,
// as a user's export does. Every PDF's text is read back with pdftotext, and its
// embedded files with pdfdetach are compared byte for byte with their sources.
// Further rounds, each against its own reference in the same run: attachments shown
// against not shown, larkspan-export against the window (and its listing against a
// listing in this process), one PDF for all against one PDF each.
//
//   bench_export [messages] [--bundle N]   (default 200 messages, 2000 into one PDF;
//                                            --bundle 0 leaves that round out)
//   bench_export --pipeline-only N --in-flight K
//       only the export run itself, without the window, on N messages of the usual mix
//       with K printing pages (1: one message at a time, as a run did before it kept two
//       in flight); made to be profiled: `perf record -g -- bench_export --pipeline-only ...`

#include "Base64Lines.h"
#include "GeneratedMail.h"
#include "support/DovecotFixture.h"
#include "support/PdfSamples.h"
#include "support/TestEnvironment.h"

#include "export/pipeline/ExportDestination.h"
#include "export/pipeline/ExportReport.h"
#include "export/pipeline/ExportRun.h"
#include "export/window/Form3.h"
#include "mail/ImapClient.h"
#include "mail/ServerAddress.h"
#include "mail/clsChilkatIMAP.h"
#include "messagelist/data/FolderListing.h"
#include "mail/OleDate.h"
#include "app/MainWindowContext.h"
#include "mail/MailMessage.h"
#include "messagelist/data/MessageRecord.h"
#include "messagelist/data/MessageStore.h"
#include "platform/web/PdfWriterName.h"
#include "platform/widgets/PrinterRegistry.h"
#include "platform/core/ProgramFolder.h"
#include "platform/widgets/WebBrowser.h"

#include <QBuffer>
#include <QCheckBox>
#include <QHash>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QImage>
#include <QLineEdit>
#include <QPainter>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

using namespace larkspan;
using larkspan::bench::Base64Lines;

namespace {

QByteArray InlineImage(int seed)
{
    QImage image(320, 120, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 320, 120);
    gradient.setColorAt(0, QColor::fromHsv((seed * 37) % 360, 160, 230));
    gradient.setColorAt(1, QColor::fromHsv((seed * 91) % 360, 200, 120));
    painter.fillRect(image.rect(), gradient);
    painter.setPen(Qt::white);
    painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Chart %1").arg(seed));
    painter.end();
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return png;
}

// The attachment of message i (every third message has one).
QByteArray AttachmentData(int i)
{
    QByteArray data;
    quint32 x = 2463534242u + quint32(i);
    for (int k = 0; k < 60000 + (i % 7) * 20000; ++k) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        data.append(char(x & 0xff));
    }
    return data;
}

// Message i as a server sends it: its subject, and a word that must come out in the PDF's text.
QByteArray MakeMessage(int i, QString *marker)
{
    *marker = QStringLiteral("marker%1x").arg(i);
    const QByteArray m = marker->toLatin1();
    QByteArray head = "From: Ada Bench <ada@example.org>\r\nTo: Bo Reader <bo@example.org>\r\n"
                      "Subject: Bench message " + QByteArray::number(i) +
                      "\r\nDate: Tue, 01 Dec 2026 09:30:00 +0000\r\nMessage-ID: <bench-" + QByteArray::number(i) +
                      "@example.org>\r\nMIME-Version: 1.0\r\n";
    switch (i % 3) {
    case 0: // short text only
        return head + "Content-Type: text/plain; charset=utf-8\r\n\r\nHello,\r\n\r\nThe figures are in: " + m +
               ".\r\n\r\nRegards,\r\nAda\r\n";
    case 1: // HTML with inline images; the text version is short
        return head + "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\n"
                      "Content-Type: text/plain; charset=utf-8\r\n\r\nFigures attached " + m +
               "\r\n--alt\r\nContent-Type: multipart/related; boundary=\"rel\"\r\n\r\n--rel\r\n"
               "Content-Type: text/html; charset=utf-8\r\n\r\n<div style=\"width:900px\"><h2>Monthly figures</h2><p>" + m +
               "</p><img src=\"cid:a@bench\"><p>and</p><img src=\"cid:b@bench\"><table border=1><tr><td>north</td>"
               "<td>12</td></tr><tr><td>south</td><td>7</td></tr></table></div>\r\n"
               "--rel\r\nContent-Type: image/png\r\nContent-ID: <a@bench>\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
               Base64Lines(InlineImage(i)) +
               "--rel\r\nContent-Type: image/png\r\nContent-ID: <b@bench>\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
               Base64Lines(InlineImage(i + 1)) + "--rel--\r\n--alt--\r\n";
    default: { // long body of several pages, and an attachment
        QByteArray lines;
        for (int l = 0; l < 260; ++l) {
            if (l == 130)
                lines += m + "\r\n";
            lines += "Line " + QByteArray::number(l) + " of a long report about the heron census on the river weir.\r\n";
        }
        return head + "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\n"
                      "Content-Type: text/plain; charset=utf-8\r\n\r\n" + lines +
               "--mix\r\nContent-Type: application/octet-stream\r\nContent-Disposition: attachment; filename=\"census-" +
               QByteArray::number(i) + ".dat\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
               Base64Lines(AttachmentData(i)) + "--mix--\r\n";
    }
    }
}

MessageRecord StoreMessage(const QByteArray &raw)
{
    const StoredMessage stored = MessageStore::instance().append(raw);
    const auto message = MailMessage::fromBytes(raw);
    return MessageRecord(message->fromText(), message->senderName(), message->senderAddress(), message->subject(),
                         OleDateToGeneralText(message->date()), stored);
}

QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The PDF carries the message byte for byte, and its attachment when it has one.
bool CarriesItsFiles(const QString &pdf, const QString &scratch, int i, const QByteArray &raw)
{
    QDir(scratch).removeRecursively();
    QDir().mkpath(scratch);
    QProcess pdfdetach;
    pdfdetach.start(QStringLiteral("pdfdetach"), {QStringLiteral("-saveall"), QStringLiteral("-o"), scratch, pdf});
    if (!pdfdetach.waitForFinished(60000) || pdfdetach.exitCode() != 0)
        return false;
    const QStringList files = QDir(scratch).entryList(QDir::Files, QDir::Name);
    if (ReadAll(scratch + QLatin1Char('/') + QFileInfo(pdf).completeBaseName() + QStringLiteral(".eml")) != raw)
        return false;
    if (i % 3 != 2)
        return files.size() == 1;
    return files.size() == 2 &&
           ReadAll(scratch + QStringLiteral("/census-%1.dat").arg(i)) == AttachmentData(i);
}

bool TextHolds(const QString &pdf, const QStringList &needles)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), pdf, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(60000) || pdftotext.exitCode() != 0)
        return false;
    const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
    for (const QString &needle : needles)
        if (!text.contains(needle))
            return false;
    return true;
}

// A message of the attachments round: a short text, and a 3-page PDF, a picture and a
// CSV attached.
QByteArray AttachmentsMessage(int i, QByteArray *pdf, QByteArray *picture, QByteArray *csv)
{
    *pdf = test::MakeSamplePdf({{612, 792, 0, QStringLiteral("Appendix %1 one").arg(i)},
                                {612, 792, 0, QStringLiteral("Appendix %1 two").arg(i)},
                                {792, 612, 0, QStringLiteral("Appendix %1 three").arg(i)}});
    *picture = InlineImage(i);
    *csv = "region,count\r\n";
    for (int r = 0; r < 40; ++r)
        *csv += "row-" + QByteArray::number(i) + "-" + QByteArray::number(r) + "," + QByteArray::number(r * 7) + "\r\n";
    return "From: Ada Bench <ada@example.org>\r\nSubject: Attached " + QByteArray::number(i) +
           "\r\nDate: Tue, 01 Dec 2026 09:30:00 +0000\r\nMessage-ID: <attached-" + QByteArray::number(i) +
           "@example.org>\r\nMIME-Version: 1.0\r\nContent-Type: multipart/mixed; boundary=\"m\"\r\n\r\n"
           "--m\r\nContent-Type: text/plain\r\n\r\nThe quarter in three files.\r\n"
           "--m\r\nContent-Type: application/pdf\r\nContent-Disposition: attachment; filename=\"report.pdf\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Lines(*pdf) +
           "--m\r\nContent-Type: image/png\r\nContent-Disposition: attachment; filename=\"chart.png\"\r\n"
           "Content-Transfer-Encoding: base64\r\n\r\n" + Base64Lines(*picture) +
           "--m\r\nContent-Type: text/csv\r\nContent-Disposition: attachment; filename=\"counts.csv\"\r\n\r\n" + *csv +
           "\r\n--m--\r\n"; // the line break before a boundary belongs to the boundary
}

int PdfPages(const QString &pdf)
{
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {pdf});
    pdfinfo.waitForFinished(60000);
    const QString info = QString::fromUtf8(pdfinfo.readAllStandardOutput());
    const qsizetype at = info.indexOf(QStringLiteral("Pages:"));
    return at < 0 ? -1 : info.mid(at + 6).section(QLatin1Char('\n'), 0, 0).trimmed().toInt();
}

// The same messages with their attachments shown and not shown, through the window:
// "Show attachments in the PDF" costs at most this ratio of time. Every PDF is read
// back: its text, its appended pages and its files.
void AttachmentsRound(Form3 &form, int count)
{
    // The usual mix, every third message a short one with a 3-page PDF, a picture and a
    // CSV attached in place of a short text alone.
    QList<QByteArray> raws, pdfs, pictures, csvs;
    QStringList markers;
    form.Records.redim(0);
    for (int i = 1; i <= count; ++i) {
        QByteArray pdf, picture, csv;
        QString marker;
        raws << (i % 3 == 0 ? AttachmentsMessage(i, &pdf, &picture, &csv) : MakeMessage(i, &marker));
        pdfs << pdf;
        pictures << picture;
        csvs << csv;
        markers << marker;
        form.Records.append(StoreMessage(raws.last()));
    }
    form.RecordCount = count;
    form.CurrentIndex = 1;
    form.PrintAsHTML = true;
    form.chkSkipExported->setChecked(false);
    double seconds[2] = {0, 0};
    int checked[2] = {0, 0};
    for (const bool shown : {false, true}) {
        form.chkShowAttachments->setChecked(shown);
        const QString folder = test::TestScratchFolder() + (shown ? QStringLiteral("/out-shown/") : QStringLiteral("/out-listed/"));
        QDir().mkpath(folder);
        form.txtBackupPath->setText(folder);
        QElapsedTimer timer;
        timer.start();
        form.PushButton2->click();
        seconds[shown] = timer.nsecsElapsed() / 1e9;
        const QString scratch = test::TestScratchFolder() + QStringLiteral("/detached-shown");
        for (int i = 1; i <= count; ++i) {
            if (i % 3 != 0) {
                const QString pdf = folder + QStringLiteral("%1 Bench message %1.pdf").arg(i);
                if (TextHolds(pdf, {markers[i - 1]}) && CarriesItsFiles(pdf, scratch, i, raws[i - 1]))
                    ++checked[shown];
                continue;
            }
            const QString pdf = folder + QStringLiteral("%1 Attached %1.pdf").arg(i);
            QDir(scratch).removeRecursively();
            QDir().mkpath(scratch);
            QProcess pdfdetach;
            pdfdetach.start(QStringLiteral("pdfdetach"), {QStringLiteral("-saveall"), QStringLiteral("-o"), scratch, pdf});
            pdfdetach.waitForFinished(60000);
            const bool files = ReadAll(scratch + QStringLiteral("/%1 Attached %1.eml").arg(i)) == raws[i - 1] &&
                               ReadAll(scratch + QStringLiteral("/report.pdf")) == pdfs[i - 1] &&
                               ReadAll(scratch + QStringLiteral("/chart.png")) == pictures[i - 1] &&
                               ReadAll(scratch + QStringLiteral("/counts.csv")) == csvs[i - 1];
            const int pages = PdfPages(pdf);
            // Shown: the appended document's last page and the CSV's last row are in the text.
            const bool text = shown ? TextHolds(pdf, {QStringLiteral("Appendix %1 three").arg(i), QStringLiteral("row-%1-39,273").arg(i)}) &&
                                          pages >= 4
                                    : TextHolds(pdf, {QStringLiteral("The quarter in three files.")}) && pages == 1;
            if (files && text)
                ++checked[shown];
        }
    }
    std::printf("attachments shown: %d PDFs, %.2f PDF/s; not shown: %.2f PDF/s; time ratio shown/not shown %.2f; checked %d/%d and %d/%d\n",
                count, count / seconds[1], count / seconds[0], seconds[1] / seconds[0], checked[1], count, checked[0], count);
    std::fflush(stdout);
}

// Forgets the peak memory so far: what a round reports is its own (Linux 4.0 and later).
void ResetPeakMemory()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

// count messages of the usual mix into one PDF through the window, against the same
// messages one PDF each, in one run: time, peak memory of this process and the file.
void BundleRound(Form3 &form, int count)
{
    // The messages go to the store as a listing leaves them; nothing else holds them.
    form.Records.redim(0);
    for (int i = 1; i <= count; ++i) {
        QString marker;
        form.Records.append(StoreMessage(MakeMessage(i, &marker)));
    }
    MessageStore::instance().flush();
    form.RecordCount = count;
    form.CurrentIndex = 1;
    form.PrintAsHTML = true;
    form.chkSkipExported->setChecked(false);
    form.chkShowAttachments->setChecked(true);
    double seconds[2] = {0, 0};
    qint64 peakMb[2] = {0, 0};
    QString folders[2];
    for (const bool onePdf : {false, true}) {
        (onePdf ? form.optOnePdfForAll : form.optOnePdfPerEmail)->setChecked(true);
        folders[onePdf] = test::TestScratchFolder() + (onePdf ? QStringLiteral("/out-bundle/") : QStringLiteral("/out-each/"));
        QDir().mkpath(folders[onePdf]);
        form.txtBackupPath->setText(folders[onePdf]);
        test::Recorded().clear();
        ResetPeakMemory();
        QElapsedTimer timer;
        timer.start();
        form.PushButton2->click();
        seconds[onePdf] = timer.nsecsElapsed() / 1e9;
        peakMb[onePdf] = test::PeakResidentKb() / 1024;
    }
    form.optOnePdfPerEmail->setChecked(true);
    const QStringList bundles = QDir(folders[1]).entryList({QStringLiteral("*.pdf")}, QDir::Files);
    const int each = int(QDir(folders[0]).entryList({QStringLiteral("*.pdf")}, QDir::Files).size());
    const QString bundle = bundles.isEmpty() ? QString() : folders[1] + bundles.first();
    // Every original inside, and a page at least per message besides the contents.
    QProcess list;
    list.start(QStringLiteral("pdfdetach"), {QStringLiteral("-list"), bundle});
    list.waitForFinished(600000);
    const int originals = int(QString::fromUtf8(list.readAllStandardOutput()).count(QStringLiteral(".eml")));
    const int pages = bundle.isEmpty() ? 0 : PdfPages(bundle);
    std::printf("bundle: %d messages, one PDF each %.1f s (%d PDFs), one PDF for all %.1f s, time ratio %.2f; peak memory "
                "%lld MB (one each %lld MB); bundle %.1f MB, %d pages, %d originals inside; end message \"%s\"\n",
                count, seconds[0], each, seconds[1], seconds[1] / seconds[0], peakMb[1], peakMb[0],
                bundle.isEmpty() ? 0.0 : QFileInfo(bundle).size() / 1048576.0, pages, originals,
                qPrintable(test::Recorded().messages().join(QStringLiteral(" | ")).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '))));
    std::fflush(stdout);
}

// A short message of the listing round.
QByteArray ListedMessage(int n)
{
    return "From: Lee Lister <lee@example.org>\r\nTo: Bo Reader <bo@example.org>\r\nSubject: Listed message " +
           QByteArray::number(n) + "\r\nDate: Tue, 01 Dec 2026 09:30:00 +0000\r\nMessage-ID: <listed-" + QByteArray::number(n) +
           "@example.org>\r\nContent-Type: text/plain; charset=utf-8\r\n\r\n" + QByteArray(1500, 'x') + "\r\n";
}

// Runs larkspan-export; the times its stage lines came at, from its start.
struct CommandLineTimes {
    qint64 signedIn = -1, listed = -1, done = -1;
    int exitCode = -1;
};

CommandLineTimes RunCommandLine(const QStringList &arguments)
{
    QProcess cli;
    QElapsedTimer clock;
    CommandLineTimes times;
    QObject::connect(&cli, &QProcess::readyReadStandardOutput, [&] {
        while (cli.canReadLine()) {
            const QByteArray line = cli.readLine();
            if (line.startsWith("Signed in"))
                times.signedIn = clock.nsecsElapsed();
            else if (line.startsWith("Listed"))
                times.listed = clock.nsecsElapsed();
            else if (line.startsWith("Exported:"))
                times.done = clock.nsecsElapsed();
        }
    });
    clock.start();
    cli.start(ProgramFile(QStringLiteral("larkspan-export")), arguments + QStringList{QStringLiteral("--quiet")});
    cli.waitForFinished(3600000);
    times.exitCode = cli.exitCode();
    return times;
}

// larkspan-export over the same messages, listed from a Dovecot folder, against the
// window's export in the same run; and its listing of a folder of 10,000 short messages
// against the same listing in this process (the session and the store alone, as
// bench_listing's direct round).
void CommandLineRound(const QList<QByteArray> &raws, double windowRate)
{
    if (!test::DovecotFixture::available()) {
        std::printf("command line: skipped, Dovecot is not installed\n");
        return;
    }
    constexpr int kListed = 10000;
    test::DovecotFixture server;
    server.addFolder(QStringLiteral("Bench"), raws);
    server.addGeneratedFolder(QStringLiteral("Listing"), kListed, ListedMessage);
    if (!server.start()) {
        std::printf("command line: skipped, %s\n", qPrintable(server.errorText()));
        return;
    }
    qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(server.port()));
    qputenv("LARKSPAN_IMAP_CA_FILE", server.caFile().toLocal8Bit());

    // The listing in this process: sign in, then list.
    ImapClient client;
    auto session = std::make_shared<clsChilkatIMAP>();
    session->ChilkatIMAPObject = &client;
    UseMailServer(*session);
    session->Username = server.user();
    session->Password = server.password();
    session->Connect();
    // The server indexes a folder when it is first opened; that is not ours to time, so
    // the first listing only opens it.
    double directRate = 0;
    for (int round = 0; round < 2; ++round) {
        FolderListing listing(session);
        QElapsedTimer direct;
        direct.start();
        listing.run(QStringLiteral("Listing"), 1, 0, QStringLiteral("a text no message holds"));
        directRate = kListed / (direct.nsecsElapsed() / 1e9);
    }
    client.disconnectFromServer();
    MessageStore::instance().flush();

    const QString out = test::TestScratchFolder() + QStringLiteral("/out-cli/");
    const QString password = test::TestScratchFolder() + QStringLiteral("/cli-password");
    {
        QFile file(password);
        file.open(QIODevice::WriteOnly);
        file.write(server.password().toUtf8());
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    }
    const QStringList common = {QStringLiteral("--user"), server.user(), QStringLiteral("--to"), out,
                                QStringLiteral("--pattern"), QStringLiteral("<Count> <Subject>"), QStringLiteral("--password-file"), password};
    // The same filter: every message is listed and read, none kept.
    const CommandLineTimes listingTimes = RunCommandLine(common + QStringList{QStringLiteral("--folder"), QStringLiteral("Listing"),
                                                                            QStringLiteral("--containing"),
                                                                            QStringLiteral("a text no message holds")});
    const double listingRate = listingTimes.listed > listingTimes.signedIn && listingTimes.signedIn > 0
                                   ? kListed / ((listingTimes.listed - listingTimes.signedIn) / 1e9)
                                   : 0;
    const CommandLineTimes times = RunCommandLine(common + QStringList{QStringLiteral("--folder"), QStringLiteral("Bench")});
    const int made = int(QDir(out).entryList({QStringLiteral("*.pdf")}, QDir::Files).size());
    const double exportRate = times.done > times.listed && times.listed > 0 ? made / ((times.done - times.listed) / 1e9) : 0;
    std::printf("command line: %d PDFs (exit %d), %.2f PDF/s, window %.2f PDF/s, ratio %.2f; listing %d messages %.0f msg/s, "
                "in this process %.0f msg/s, ratio %.2f\n",
                made, times.exitCode, exportRate, windowRate, exportRate / windowRate, kListed, listingRate, directRate,
                listingRate / directRate);
    std::fflush(stdout);
}

// The web engine alone: pages (0.html ... count-1.html in pageFolder) loaded and
// printed to files by inFlight pages, each hosted like the export's printing browser by
// a view that is never shown; a page loads while another prints. PDFs written.
// The export run alone, as the export window drives it for "Export All To PDF", with
// inFlight hidden printing browsers like the window's.
void PipelineRound(int count, int inFlight)
{
    RecordArray records;
    records.redim(0);
    QString marker;
    for (int i = 1; i <= count; ++i)
        records.append(StoreMessage(MakeMessage(i, &marker)));
    QWidget host;
    QList<WebBrowser *> browsers;
    QList<WebPage *> pages;
    for (int i = 0; i < inFlight; ++i) {
        auto *browser = new WebBrowser(&host);
        browser->setViewSize(QSize(800, 1000));
        browser->page()->setVisible(true);
        browser->setSilent(true);
        browsers << browser;
        pages << browser->webPage();
    }
    host.show();
    const QString folder = test::TestScratchFolder() + QStringLiteral("/out-pipeline-%1/").arg(inFlight);
    QDir(folder).removeRecursively();
    QDir().mkpath(folder);
    ExportSettings settings;
    settings.folder = folder;
    settings.page.printAsHtml = true;
    settings.startedAt = QDateTime::currentDateTime();
    PdfPerMessage destination([&](int n) {
        return FileNameFields{QStringLiteral("<Count> <Subject>"), folder, QStringLiteral("bench@example.org"),
                              QDateTime::currentDateTime(), n};
    });
    ExportRun run(settings, destination, pages);
    run.setMessages(records);
    QElapsedTimer timer;
    timer.start();
    run.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("export run alone, %d page(s) in flight: %d PDFs in %.2f s, %.2f PDF/s, %lld failed\n", inFlight,
                run.exportedCount(), seconds, run.exportedCount() / seconds, (long long)run.failures().size());
}

int BareLoop(const QString &pageFolder, int count, const QString &outPrefix, int inFlight)
{
    struct Slot {
        QWebEngineProfile profile;
        QWebEnginePage page{&profile};
        QWebEngineView host;
        int message = -1; // loaded and waiting to print
        bool busy = false;
    };
    std::vector<std::unique_ptr<Slot>> pool;
    for (int i = 0; i < inFlight; ++i) {
        auto slot = std::make_unique<Slot>();
        slot->page.settings()->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
        slot->host.setPage(&slot->page);
        slot->host.resize(800, 1000);
        slot->page.setVisible(true);
        pool.push_back(std::move(slot));
    }
    int nextLoad = 0;
    int nextPrint = 0;
    int made = 0;
    bool printing = false;
    QEventLoop loop;
    std::function<void()> pump;
    const auto load = [&](Slot &slot) {
        if (nextLoad >= count)
            return;
        const int i = nextLoad++;
        slot.busy = true;
        QObject::connect(&slot.page, &QWebEnginePage::loadFinished, &loop, [&, i] {
            slot.message = i;
            pump();
        }, Qt::SingleShotConnection);
        slot.page.load(QUrl::fromLocalFile(pageFolder + QStringLiteral("%1.html").arg(i)));
    };
    pump = [&] {
        if (printing)
            return;
        for (auto &slot : pool) {
            if (slot->message != nextPrint)
                continue;
            printing = true;
            Slot *s = slot.get();
            s->page.printToPdf(
                [&, s](const QByteArray &pdf) {
                    QSaveFile out(outPrefix + QStringLiteral("%1.pdf").arg(s->message));
                    if (!pdf.isEmpty() && out.open(QIODevice::WriteOnly) && out.write(pdf) == pdf.size() && out.commit())
                        ++made;
                    s->message = -1;
                    s->busy = false;
                    printing = false;
                    if (++nextPrint == count)
                        loop.quit();
                    load(*s);
                    pump();
                },
                WebBrowser::sharedPageLayout());
            return;
        }
    };
    for (auto &slot : pool)
        load(*slot);
    if (count > 0)
        loop.exec();
    for (auto &slot : pool)
        slot->host.setPage(nullptr);
    return made;
}

} // namespace

int main(int argc, char **argv)
{
    test::PrepareTestEnvironment();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    test::InstallRecordingDialogs();
    Printers().setDefaultPrinter(PdfWriterDeviceName());

    // bench_export [messages] [--bundle N]: N messages into one PDF (0: no such round).
    const QStringList args = app.arguments();
    const int count = args.size() > 1 && !args[1].startsWith(QLatin1String("--")) ? args[1].toInt() : 200;
    const int flag = int(args.indexOf(QStringLiteral("--bundle")));
    const int bundleCount = flag > 0 && flag + 1 < args.size() ? args[flag + 1].toInt() : 2000;
    const int bundleOnly = int(args.indexOf(QStringLiteral("--bundle-only")));
    const int attachmentsOnly = int(args.indexOf(QStringLiteral("--attachments-only")));
    if (const int pipelineOnly = int(args.indexOf(QStringLiteral("--pipeline-only"))); pipelineOnly > 0) {
        const int inFlight = int(args.indexOf(QStringLiteral("--in-flight")));
        PipelineRound(args.value(pipelineOnly + 1).toInt(), inFlight > 0 ? args.value(inFlight + 1).toInt() : 2);
        return 0;
    }
    if (bundleOnly > 0 || attachmentsOnly > 0) {
        // One round in a process of its own (for a profiler; and for the one PDF, so that
        // its peak memory is that of a program which makes it, nothing else).
        QWidget mainWindow;
        MainWindowContext ctx;
        ctx.window = &mainWindow;
        ctx.Text1 = new QLineEdit(QStringLiteral("bench@example.org"), &mainWindow);
        SelectedRecords.redim(0);
        Form3 form(ctx);
        form.Form_Load();
        form.Text1->setText(QStringLiteral("<Count> <Subject>"));
        form.show();
        if (bundleOnly > 0)
            BundleRound(form, args.value(bundleOnly + 1).toInt());
        else
            AttachmentsRound(form, args.value(attachmentsOnly + 1).toInt());
        return 0;
    }
    QStringList markers;
    QList<QByteArray> raws;
    SelectedRecords.redim(0);
    for (int i = 1; i <= count; ++i) {
        QString marker;
        raws << MakeMessage(i, &marker);
        SelectedRecords.append(StoreMessage(raws.last()));
        markers << marker;
    }

    QWidget mainWindow;
    MainWindowContext ctx;
    ctx.window = &mainWindow;
    ctx.Text1 = new QLineEdit(QStringLiteral("bench@example.org"), &mainWindow);
    Form3 form(ctx);
    form.Form_Load();
    form.Text1->setText(QStringLiteral("<Count> <Subject>"));
    form.show();

    // The pages both options print, made by the export window itself.
    QList<QString> pages;
    for (const bool asHtml : {true, false}) {
        form.PrintAsHTML = asHtml;
        for (int i = 1; i <= count; ++i) {
            form.CurrentIndex = i;
            form.CreateHTMLFile();
            QFile page(form.HTMLFilePath);
            page.open(QIODevice::ReadOnly);
            pages << QString::fromUtf8(page.readAll());
        }
    }
    form.CurrentIndex = 1;

    // Bare loop: one persistent page loads each page as an .html file beside the
    // template's image and prints it to a file, with nothing of ours in between.
    const QString bareFolder = test::TestScratchFolder() + QStringLiteral("/out-bare/");
    const QString pageFolder = bareFolder + QStringLiteral("pages/");
    QDir().mkpath(pageFolder);
    QFile::copy(ProgramFile(QStringLiteral("ipad-yahoo-mail.png")), pageFolder + QStringLiteral("ipad-yahoo-mail.png"));
    for (int i = 0; i < pages.size(); ++i) {
        QFile file(pageFolder + QStringLiteral("%1.html").arg(i));
        file.open(QIODevice::WriteOnly);
        file.write(pages[i].toUtf8());
    }
    int bareMade = 0;
    QElapsedTimer bareTimer;
    bareTimer.start();
    bareMade = BareLoop(pageFolder, int(pages.size()), bareFolder, 1);
    const double bareSeconds = bareTimer.nsecsElapsed() / 1e9;
    // The same with two pages in flight: one loads while the other prints.
    QElapsedTimer twoTimer;
    twoTimer.start();
    const int twoMade = BareLoop(pageFolder, int(pages.size()), bareFolder + QStringLiteral("two-"), 2);
    const double twoSeconds = twoTimer.nsecsElapsed() / 1e9;

    int made = 0;
    int checked = 0;
    double exportSeconds = 0;
    double browserRate = 0;
    for (const bool asHtml : {true, false}) {
        const QString folder = test::TestScratchFolder() + (asHtml ? QStringLiteral("/out-html/") : QStringLiteral("/out-text/"));
        QDir().mkpath(folder);
        form.txtBackupPath->setText(folder);
        form.PrintAsHTML = asHtml;
        test::Recorded().clear();
        QElapsedTimer timer;
        timer.start();
        form.PushButton2->click();
        const double seconds = timer.nsecsElapsed() / 1e9;
        exportSeconds += seconds;
        const QStringList messages = test::Recorded().messages();
        int files = 0;
        for (int i = 1; i <= count; ++i) {
            const QString pdf = folder + QStringLiteral("%1 Bench message %1.pdf").arg(i);
            if (!QFileInfo::exists(pdf))
                continue;
            ++files;
            if (TextHolds(pdf, {QStringLiteral("Bench message %1").arg(i), markers[i - 1]}) &&
                CarriesItsFiles(pdf, test::TestScratchFolder() + QStringLiteral("/detached"), i, raws[i - 1]))
                ++checked;
        }
        made += files;
        if (asHtml)
            browserRate = files / seconds;
        std::printf("export (%s): %d PDFs in %.2f s, %.2f PDF/s, end message \"%s\"\n", asHtml ? "as in browser" : "text only",
                    files, seconds, files / seconds, qPrintable(messages.join(QStringLiteral(" | ")).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '))));
        std::fflush(stdout);

    }


    // Second pass over the first folder with skipping on: the report says every message
    // is there, so nothing is printed and every message gets a "skipped" row.
    const QString skipFolder = test::TestScratchFolder() + QStringLiteral("/out-html/");
    QHash<QString, QDateTime> written;
    for (const QFileInfo &info : QDir(skipFolder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files))
        written.insert(info.fileName(), info.lastModified());
    form.txtBackupPath->setText(skipFolder);
    form.PrintAsHTML = true;
    form.chkSkipExported->setChecked(true);
    test::Recorded().clear();
    QElapsedTimer skipTimer;
    skipTimer.start();
    form.PushButton2->click();
    const double skipSeconds = skipTimer.nsecsElapsed() / 1e9;
    int rewritten = 0;
    const QFileInfoList after = QDir(skipFolder).entryInfoList({QStringLiteral("*.pdf")}, QDir::Files);
    for (const QFileInfo &info : after)
        if (written.value(info.fileName()) != info.lastModified())
            ++rewritten;
    QList<QStringList> rows;
    QFile reportFile(skipFolder + ExportReport::fileName());
    const bool parsed = reportFile.open(QIODevice::ReadOnly) && ExportReport::parse(reportFile.readAll(), &rows);
    int exportedRows = 0;
    int skippedRows = 0;
    for (qsizetype r = 1; r < rows.size(); ++r) {
        const QString status = rows[r].value(11);
        if (r <= count && status == QLatin1String("exported"))
            ++exportedRows;
        else if (r > count && status == QLatin1String("skipped"))
            ++skippedRows;
    }
    const bool rowsMatch = parsed && rows.size() == 1 + 2 * count && exportedRows == count && skippedRows == count;
    std::printf("skip pass: %d messages in %.2f s, %.0f msg/s skipped, PDFs written %d (of %lld), report rows %s, end "
                "message \"%s\"\n",
                count, skipSeconds, count / skipSeconds, rewritten + int(after.size() - written.size()),
                (long long)after.size(), rowsMatch ? "match" : "DO NOT MATCH",
                qPrintable(test::Recorded().messages().join(QStringLiteral(" | ")).replace(QLatin1Char('\r'), QLatin1Char(' ')).replace(QLatin1Char('\n'), QLatin1Char(' '))));

    AttachmentsRound(form, count / 2);
    CommandLineRound(raws, browserRate);
    if (bundleCount > 0)
        QProcess::execute(QCoreApplication::applicationFilePath(), {QStringLiteral("--bundle-only"), QString::number(bundleCount)});

    const double rate = made / exportSeconds;
    const double bareRate = bareMade / bareSeconds;
    std::printf("bare loop: %d PDFs in %.2f s; peak memory of this process %ld MB (renderer processes not counted)\n", bareMade,
                bareSeconds, test::PeakResidentKb() / 1024);
    const double twoRate = twoMade / twoSeconds;
    std::printf("export: %d PDFs, %.2f PDF/s, bare loop %.2f PDF/s, ratio %.2f, texts and embedded files checked %d/%d, "
                "two-page loop %.2f PDF/s, ratio to two-page %.2f\n",
                made, rate, bareRate, rate / bareRate, checked, made, twoRate, rate / twoRate);
    return 0;
}
