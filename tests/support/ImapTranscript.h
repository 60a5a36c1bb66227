#pragma once

// An IMAP conversation written down as it goes over the wire, played by an
// in-memory server in place of the client's socket:
//
//     ImapTranscript transcript({
//         "C: <connect>",
//         "S: * OK [CAPABILITY IMAP4rev1] ready",
//         "C: a1 LOGIN \"u\" \"p\"",
//         "S: a1 OK done",
//     });
//     client.setTransportFactory(transcript.factory());
//     ... drive the client ...
//     QVERIFY2(transcript.played(), qPrintable(transcript.verdict()));
//
// "C: " lines are what the client must send, one line each without its CR LF, in
// this order. "S: " lines are what the server sends (CR LF added; a line may hold
// more lines, a literal for instance), each in its own read, or in reads of
// setChunkSize() octets. The server's lines go out as soon as the client line
// before them arrived, so lines sent ahead by the client (pipelining) come before
// the answers in the transcript. Events of the connection:
//
//     C: <connect>       the client opens a plain connection
//     C: <connect tls>   the client opens a connection with TLS from the start
//     C: <starttls>      the client starts TLS on the open connection
//     S: <close>         the server closes the connection
//     S: <fail reason>   the connection fails with this reason (as the socket says it)
//
// A TLS handshake succeeds unless "S: <fail ...>" follows it. A client line that
// differs from the transcript, or comes after its end, is kept for verdict() and
// fails the connection at once, so a test never waits for a time-out on it.

#include "mail/ImapTransport.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace larkspan::test {

class ImapTranscript {
public:
    explicit ImapTranscript(QList<QByteArray> lines);

    // For ImapClient::setTransportFactory; every connection the client opens plays
    // on from where the transcript stands.
    ImapTransportFactory factory();
    // The server's lines in reads of this many octets (0: a line a read).
    void setChunkSize(int octets);

    // Empty when every line was played and the client sent nothing else; otherwise
    // the first difference, or the line the conversation stopped before.
    QString verdict() const;
    bool played() const { return verdict().isEmpty(); }
    // Every line played and every server line and event has reached the client.
    bool delivered() const;
    // What the client sent, a line or event each, in order.
    QList<QByteArray> clientLines() const;

private:
    struct Script;
    class Transport;
    std::shared_ptr<Script> m_script;
};

} // namespace larkspan::test
