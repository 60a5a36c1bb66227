#pragma once

// A scripted IMAP server on 127.0.0.1 (port 0) for transcript tests: it records every
// command line the client sends (literals included, after their "+" continuation)
// and answers through a handler the test sets. Plain TCP; TLS is tested against the
// real server.

#include "mail/ImapCodec.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

#include <functional>

namespace larkspan::test {

class FakeImapServer : public QObject {
public:
    struct Command {
        QByteArray tag;
        QByteArray verb; // upper case; "UID FETCH" counts as "FETCH"
        QByteArray line; // as received, literals included, without the final CR LF
        imap::Response parsed;
    };
    // Answers one command; the default answers as a small well-behaved server would.
    std::function<void(FakeImapServer &, const Command &)> onCommand;
    QByteArray greeting = "* OK [CAPABILITY IMAP4rev1] fake server ready\r\n";
    QList<QByteArray> messages; // FETCH n answers messages[n - 1]
    QList<QByteArray> folders{"INBOX"};
    QByteArray capabilities = "IMAP4rev1"; // the answer to CAPABILITY
    QList<Command> received;

    FakeImapServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *socket = m_server.nextPendingConnection()) {
                if (m_socket)
                    m_socket->deleteLater();
                m_socket = socket;
                m_reader.clear();
                ++connections;
                connect(socket, &QTcpSocket::readyRead, this, [this, socket] { readFrom(socket); });
                if (!greeting.isEmpty())
                    socket->write(greeting);
            }
        });
    }

    quint16 port() const { return m_server.serverPort(); }
    int connections = 0;

    // Where replies go instead of the connection, when set (the fuzz seeds take them).
    std::function<void(const QByteArray &)> capture;

    void send(const QByteArray &bytes)
    {
        if (capture) {
            capture(bytes);
            return;
        }
        if (m_socket) {
            m_socket->write(bytes);
            m_socket->flush();
        }
    }
    void closeConnection()
    {
        if (m_socket) {
            m_socket->flush();
            m_socket->disconnectFromHost();
        }
    }

    QList<QByteArray> verbs() const
    {
        QList<QByteArray> out;
        for (const Command &c : received)
            out.append(c.verb);
        return out;
    }

    static QByteArray fetchAnswer(int number, const QByteArray &message)
    {
        return "* " + QByteArray::number(number) + " FETCH (INTERNALDATE \"02-Mar-2026 10:00:00 +0000\" BODY[] {" +
               QByteArray::number(message.size()) + "}\r\n" + message + ")\r\n";
    }

    static QByteArray simpleMessage(int n)
    {
        return "From: Sender <s" + QByteArray::number(n) + "@example.org>\r\nSubject: Message " +
               QByteArray::number(n) + "\r\nDate: Mon, 02 Mar 2026 10:00:00 +0000\r\n\r\nBody " +
               QByteArray::number(n) + "\r\n";
    }

    void answerNormally(const Command &c)
    {
        const QByteArray ok = c.tag + " OK " + c.verb + " completed\r\n";
        if (!m_authenticating.isEmpty()) {
            // The client's line after "+" (its tag is the credentials).
            send(m_authenticating + " OK AUTHENTICATE completed\r\n");
            m_authenticating.clear();
        } else if (c.verb == "CAPABILITY") {
            send("* CAPABILITY " + capabilities + "\r\n" + ok);
        } else if (c.verb == "AUTHENTICATE") {
            if (c.line.count(' ') >= 3) {
                send(ok); // initial response given
            } else {
                m_authenticating = c.tag;
                send("+ \r\n");
            }
        } else if (c.verb == "ID") {
            send("* ID (\"name\" \"fake\")\r\n" + ok);
        } else if (c.verb == "LOGIN") {
            send(ok);
        } else if (c.verb == "SELECT") {
            send("* " + QByteArray::number(messages.size()) + " EXISTS\r\n* 0 RECENT\r\n" + c.tag +
                 " OK [READ-WRITE] SELECT completed\r\n");
        } else if (c.verb == "LIST") {
            QByteArray out;
            for (const QByteArray &f : folders)
                out += "* LIST (\\HasNoChildren) \"/\" " + imap::QuoteString(f) + "\r\n";
            send(out + ok);
        } else if (c.verb == "FETCH") {
            const int n = fetchNumber(c);
            if (n >= 1 && n <= messages.size())
                send(fetchAnswer(n, messages[n - 1]) + ok);
            else
                send(c.tag + " BAD Error in IMAP command FETCH: Invalid messageset\r\n");
        } else if (c.verb == "LOGOUT") {
            send("* BYE Logging out\r\n" + ok);
            closeConnection();
        } else {
            send(c.tag + " BAD unknown command\r\n");
        }
    }

    // A command as the server reads it from one line the client sent.
    static Command commandFrom(const QByteArray &line)
    {
        imap::ResponseReader reader;
        reader.feed(line + "\r\n");
        return commandOf(*reader.next());
    }

    static Command commandOf(const imap::Response &response)
    {
        Command c;
        c.parsed = response;
        c.line = response.text();
        c.line.chop(2);
        c.tag = response.tag();
        const QByteArray rest = response.rest();
        c.verb = rest.left(rest.indexOf(' ') < 0 ? rest.size() : rest.indexOf(' ')).toUpper();
        if (c.verb == "UID")
            c.verb = "FETCH";
        return c;
    }

    static int fetchNumber(const Command &c)
    {
        const QList<QByteArray> words = c.line.split(' ');
        const int at = words.value(1).toUpper() == "UID" ? 3 : 2;
        return words.value(at).toInt();
    }

    // The string arguments of a command as the server reads them.
    static QList<QByteArray> arguments(const Command &c)
    {
        const QByteArray first = c.parsed.lines.first();
        qsizetype offset = first.indexOf(' ');
        offset = first.indexOf(' ', offset + 1);
        QList<QByteArray> out;
        if (offset < 0)
            return out;
        imap::ValueCursor cursor(c.parsed, 0, offset);
        while (auto value = cursor.next())
            out.append(value->bytes);
        return out;
    }

private:
    void readFrom(QTcpSocket *socket)
    {
        m_reader.feed(socket->readAll());
        for (;;) {
            // A line announcing a literal waits for "+" before the client sends it.
            continueLiteral(socket);
            auto response = m_reader.next();
            if (!response)
                break;
            m_continued = 0;
            Command c = commandOf(*response);
            received.append(c);
            if (onCommand)
                onCommand(*this, c);
            else
                answerNormally(c);
        }
        continueLiteral(socket);
    }

    // Each literal the client announced gets its "+" once.
    void continueLiteral(QTcpSocket *socket)
    {
        if (m_reader.inLiteral() && m_reader.literalReceived() == 0 && m_reader.pendingLiteralCount() != m_continued) {
            m_continued = m_reader.pendingLiteralCount();
            socket->write("+ go ahead\r\n");
        }
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    imap::ResponseReader m_reader;
    qsizetype m_continued = 0;
    QByteArray m_authenticating;
};

} // namespace larkspan::test
