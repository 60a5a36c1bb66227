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
    // Turns the open plain connection into TLS (after STARTTLS), the certificate
    // checked as for a connection opened with tls; ends in encrypted() or failed().
    virtual void startEncryption() = 0;
    virtual void write(const QByteArray &bytes) = 0;
    virtual QByteArray readAll() = 0;
    // Bytes that arrived and were not read yet. readyRead() is not raised again for
    // bytes that arrive while its handler runs (as with QAbstractSocket), so the
    // handler asks this before it returns.
    virtual qint64 bytesAvailable() const = 0;
    // Closes at once; emits nothing.
    virtual void close() = 0;

signals:
    void opened();
    void encrypted();
    void readyRead();
    // The connection ended or could not be made; reason says why, for the user.
    void failed(const QString &reason);
};

using ImapTransportFactory = std::function<std::unique_ptr<ImapTransport>()>;

// A QSslSocket. Its certificate checks trust the system's CA store plus the CA
// certificates in the PEM file named by LARKSPAN_IMAP_CA_FILE.
std::unique_ptr<ImapTransport> CreateSocketTransport();

} // namespace larkspan
