#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>

namespace larkspan {

// The byte stream under the IMAP client. The real one is a TLS socket; a test can put
// its own in its place (ImapClient::setTransportFactory).
class ImapTransport : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~ImapTransport() override = default;

    // Starts connecting; ends in opened() (after the TLS handshake when tls is set)
    // or in failed().
    virtual void open(const QString &host, quint16 port, bool tls) = 0;
    virtual void write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;
    // Closes at once; emits nothing.
    virtual void close() = 0;

signals:
    void opened();
    void readyRead();
    // The connection ended or could not be made; reason says why, for the user.
    void failed(const QString &reason);
};

using ImapTransportFactory = std::function<std::unique_ptr<ImapTransport>()>;

// A QSslSocket. With tls, the server certificate is checked against the system's CA
// store plus the CA certificates in the PEM file named by LARKSPAN_IMAP_CA_FILE.
std::unique_ptr<ImapTransport> CreateSocketTransport();

} // namespace larkspan
