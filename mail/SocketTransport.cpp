#include "mail/ImapTransport.h"

#include <QSslConfiguration>
#include <QSslSocket>
#include <QStringList>

namespace larkspan {

namespace {

class SocketTransport final : public ImapTransport {
public:
    SocketTransport()
    {
        connect(&m_socket, &QSslSocket::connected, this, [this] {
            // Short commands (pipelined fetches) go out at once instead of waiting
            // for the acknowledgement of the previous segment.
            m_socket.setSocketOption(QAbstractSocket::LowDelayOption, 1);
            if (!m_tls)
                emit opened();
        });
        connect(&m_socket, &QSslSocket::encrypted, this, [this] {
            if (m_upgrading)
                emit encrypted();
            else
                emit opened();
        });
        connect(&m_socket, &QSslSocket::readyRead, this, &ImapTransport::readyRead);
        connect(&m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
            QStringList texts;
            for (const QSslError &error : errors)
                texts.append(error.errorString());
            m_certificateProblem = texts.join(QStringLiteral("; "));
        });
        connect(&m_socket, &QSslSocket::errorOccurred, this, [this](QAbstractSocket::SocketError error) {
            reportEnd(describe(error));
        });
        connect(&m_socket, &QSslSocket::disconnected, this, [this] {
            reportEnd(QStringLiteral("The server closed the connection."));
        });
    }

    void open(const QString &host, quint16 port, bool tls) override
    {
        m_tls = tls;
        m_upgrading = false;
        m_ended = false;
        m_certificateProblem.clear();
        m_host = host;
        m_port = port;
        if (!tls) {
            m_socket.connectToHost(host, port);
            return;
        }
        useVerifyingConfiguration();
        m_socket.connectToHostEncrypted(host, port);
    }

    void startEncryption() override
    {
        m_upgrading = true;
        useVerifyingConfiguration();
        // The certificate is checked against the host name the connection was opened to.
        m_socket.startClientEncryption();
    }

    void write(const QByteArray &bytes) override { m_socket.write(bytes); }
    QByteArray readAll() override { return m_socket.readAll(); }
    qint64 bytesAvailable() const override { return m_socket.bytesAvailable(); }

    void close() override
    {
        m_ended = true;
        m_socket.abort();
    }

private:
    void useVerifyingConfiguration()
    {
        QSslConfiguration config = QSslConfiguration::defaultConfiguration();
        // Reading the system store costs more than a whole TLS handshake; once is enough.
        static const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
        QList<QSslCertificate> authorities = system;
        const QString extra = qEnvironmentVariable("LARKSPAN_IMAP_CA_FILE");
        if (!extra.isEmpty())
            authorities += QSslCertificate::fromPath(extra, QSsl::Pem);
        config.setCaCertificates(authorities);
        config.setPeerVerifyMode(QSslSocket::VerifyPeer);
        m_socket.setSslConfiguration(config);
    }

    QString describe(QAbstractSocket::SocketError error) const
    {
        const QString where = m_host + QLatin1Char(':') + QString::number(m_port);
        switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return QStringLiteral("Connection refused by %1.").arg(where);
        case QAbstractSocket::HostNotFoundError:
            return QStringLiteral("Host not found: %1.").arg(m_host);
        case QAbstractSocket::RemoteHostClosedError:
            return QStringLiteral("The server closed the connection.");
        case QAbstractSocket::SslHandshakeFailedError:
            if (!m_certificateProblem.isEmpty())
                return QStringLiteral("The server's certificate is not trusted: %1").arg(m_certificateProblem);
            return QStringLiteral("TLS handshake with %1 failed: %2").arg(where, m_socket.errorString());
        default:
            return QStringLiteral("Connection to %1 failed: %2").arg(where, m_socket.errorString());
        }
    }

    // A socket can report its end twice (error, then disconnected); the client hears once.
    void reportEnd(const QString &reason)
    {
        if (m_ended)
            return;
        m_ended = true;
        emit failed(reason);
    }

    QSslSocket m_socket;
    QString m_host;
    quint16 m_port = 0;
    bool m_tls = true;
    bool m_upgrading = false;
    bool m_ended = false;
    QString m_certificateProblem;
};

} // namespace

std::unique_ptr<ImapTransport> CreateSocketTransport()
{
    return std::make_unique<SocketTransport>();
}

} // namespace larkspan
