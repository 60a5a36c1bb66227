#pragma once

// What bench_mbox measures, for any round that reads an mbox file: a generator of
// realistic mbox files, and the reading layer's round over one (scan, then read and
// parse every message as the listing does), with the peak memory at a checkpoint.

#include "Base64Lines.h"
#include "GeneratedMail.h"
#include "mail/MailMessage.h"
#include "mail/local/MboxSource.h"
#include "mail/local/ReadLocalMessage.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>

#include <functional>

namespace larkspan::bench {

// ---- a provider's archive ------------------------------------------------------------
// The mix: 60% multipart/alternative with the HTML in multipart/related and 1-3 inline
// PNG pictures, 30% plain text (a fifth with a body line that begins with "From ",
// quoted as mboxo writers do), 10% with a PDF attachment; UTF-8, ISO-8859-1 and
// windows-1252; quoted-printable and base64; the archive's own X-GM-THRID and
// X-Gmail-Labels headers. scale multiplies the pictures' and attachments' sizes (1:
// about 92 KB a message on average).

// Message n as the archive holds it, From_ line first, with the blank line after it.
inline QByteArray MboxArchiveMessage(int n, double scale)
{
    QRandomGenerator random(quint32(n) * 2654435761u);
    auto scaled = [scale](int bytes) { return int(bytes * scale); };
    const QByteArray thread = QByteArray::number(1789000000000000000LL + n / 3);
    QByteArray head = "From " + QByteArray::number(1789000000000000000LL + n) +
                      "@xxx Mon Mar 02 10:" + QByteArray::number(10 + n % 50) + ":00 +0000 2026\r\n" +
                      "X-GM-THRID: " + thread + "\r\nX-Gmail-Labels: Inbox,Opened" + (n % 4 ? "" : ",Important") +
                      "\r\nFrom: Sender " + QByteArray::number(n) + " <sender" + QByteArray::number(n % 97) +
                      "@example.org>\r\nTo: larkspan@example.org\r\nSubject: =?utf-8?q?Message_" + QByteArray::number(n) +
                      "_=E2=80=94_Gr=C3=BC=C3=9Fe?=\r\nDate: Mon, 02 Mar 2026 10:" + QByteArray::number(10 + n % 50) +
                      ":00 +0000\r\nMessage-ID: <archive-" + QByteArray::number(n) + "@example.org>\r\nMIME-Version: 1.0\r\n";
    QByteArray body;
    const int kind = n % 10;
    if (kind < 6) {
        const int pictures = 1 + int(random.bounded(3u));
        QByteArray related, references;
        for (int p = 0; p < pictures; ++p) {
            const QByteArray cid = "pic" + QByteArray::number(p) + "." + QByteArray::number(n) + "@example.org";
            references += "<img src=\"cid:" + cid + "\">\r\n";
            related += "--rel\r\nContent-Type: image/png\r\nContent-Transfer-Encoding: base64\r\nContent-ID: <" + cid +
                       ">\r\n\r\n" +
                       Base64Lines(QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) +
                                   RandomBytes(random, scaled(20000 + int(random.bounded(40000u)))));
        }
        QByteArray html = TextPart(random, n, "html", 2000 + int(random.bounded(6000u)));
        html.replace("%PICTURES%", references);
        body = "Content-Type: multipart/alternative; boundary=\"alt\"\r\n\r\n--alt\r\n" +
               TextPart(random, n, "plain", 1000 + int(random.bounded(3000u))) +
               "--alt\r\nContent-Type: multipart/related; boundary=\"rel\"\r\n\r\n--rel\r\n" + html + related +
               "--rel--\r\n--alt--\r\n";
    } else if (kind < 9) {
        QByteArray text = Words(random, 2000 + int(random.bounded(8000u)), 0);
        if (n % 5 == 0)
            text.prepend("Forwarded below.\r\n\r\n>From the desk of Sender " + QByteArray::number(n) + ":\r\n");
        body = "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n" + text + "\r\n";
    } else {
        body = "Content-Type: multipart/mixed; boundary=\"mix\"\r\n\r\n--mix\r\n" +
               TextPart(random, n, "plain", 1000 + int(random.bounded(2000u))) +
               "--mix\r\nContent-Type: application/pdf; name=\"report-" + QByteArray::number(n) +
               ".pdf\"\r\nContent-Disposition: attachment; filename=\"report-" + QByteArray::number(n) +
               ".pdf\"\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
               Base64Lines(RandomBytes(random, scaled(50000 + int(random.bounded(250000u))))) + "--mix--\r\n";
    }
    return head + body + "\r\n";
}

struct GeneratedMbox {
    int messages = 0;
    qint64 bytes = 0;
};

// Writes archive messages to path until it holds count messages (count > 0) or else
// about targetBytes. With both, the pictures and attachments are scaled so that count
// messages come to about targetBytes.
inline GeneratedMbox WriteArchiveMbox(const QString &path, qint64 targetBytes, int count = 0)
{
    double scale = 1.0;
    if (count > 0 && targetBytes > 0) {
        qint64 sample = 0;
        for (int n = 1; n <= 200; ++n)
            sample += MboxArchiveMessage(n, 1.0).size();
        scale = double(targetBytes) / count / (double(sample) / 200);
    }
    QFile file(path);
    GeneratedMbox made;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate, QFile::ReadOwner | QFile::WriteOwner))
        return made;
    while (count > 0 ? made.messages < count : made.bytes < targetBytes) {
        const QByteArray message = MboxArchiveMessage(made.messages + 1, scale);
        if (file.write(message) != message.size())
            return GeneratedMbox();
        made.bytes += message.size();
        ++made.messages;
    }
    return made;
}

// ---- the reading layer's round -------------------------------------------------------

struct MboxRound {
    int messages = 0;
    int failures = 0;
    qint64 bytes = 0;
    double scanSeconds = 0;
    double seconds = 0; // scan, read and parse
    long peakAtCheckpointKb = -1;
    long peakKb = -1;
};

// Opens the mbox, scans it in steps, then reads every message and parses it as the
// listing does (MailMessage::fromBytes with the From_ line's date), yielding to the event
// loop after each step and each message as the program does. afterMessage(n, message)
// runs after each message (a window round can show it); the peak memory is taken after
// message checkpoint and at the end.
inline MboxRound ReadMboxRound(const QString &path, int checkpoint = 0,
                               const std::function<void(int, const MailMessage &)> &afterMessage = {})
{
    MboxRound round;
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<MboxSource> source = MboxSource::open(path);
    while (source->scanStep())
        QCoreApplication::processEvents();
    round.scanSeconds = double(clock.nsecsElapsed()) / 1e9;
    for (const LocalMessageEntry &entry : source->messages()) {
        try {
            const QByteArray raw = ReadLocalMessage(entry);
            const std::unique_ptr<MailMessage> message = MailMessage::fromBytes(raw, entry.arrivalAsInternalDate());
            round.bytes += raw.size();
            ++round.messages;
            if (afterMessage)
                afterMessage(round.messages, *message);
        } catch (const std::exception &) {
            ++round.failures;
        }
        QCoreApplication::processEvents();
        if (round.messages == checkpoint)
            round.peakAtCheckpointKb = test::PeakResidentKb();
    }
    round.seconds = double(clock.nsecsElapsed()) / 1e9;
    round.peakKb = test::PeakResidentKb();
    return round;
}

} // namespace larkspan::bench
