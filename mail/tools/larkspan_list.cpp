// larkspan-list host port user password folder [first last]
//
// Lists a folder through the session class exactly as the program does and prints
// one JSON object per listed message, a line each. For diagnosis and benchmarks.
// The security is the program's choice: LARKSPAN_IMAP_SECURITY, else the "Security"
// setting, else tls; starttls reaches a server whose port starts plain (143). A host
// or port given as "-" is the program's choice as well.

#include "mail/ImapClient.h"
#include "mail/OleDate.h"
#include "mail/ServerAddress.h"
#include "mail/clsChilkatIMAP.h"
#include "platform/core/AppError.h"
#include "platform/core/Dialogs.h"
#include "platform/core/TimeZoneRules.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

#include <cstdio>

namespace {

void Fail(const QString &text)
{
    std::fprintf(stderr, "larkspan-list: %s\n", text.toLocal8Bit().constData());
}

} // namespace

int main(int argc, char **argv)
{
    larkspan::LoadTimeZoneRulesOnce();
    QCoreApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    larkspan::InstallDialogs(larkspan::CreateConsoleDialogs());

    const QStringList args = app.arguments().mid(1);
    if (args.size() != 5 && args.size() != 7) {
        Fail(QStringLiteral("usage: larkspan-list host port user password folder [first last]"));
        return 64;
    }
    const larkspan::MailServer chosen = larkspan::ChosenMailServer();
    bool portOk = args[1] == QLatin1String("-");
    const int port = portOk ? chosen.port : args[1].toInt(&portOk);
    bool rangeOk = true;
    int first = 1;
    int last = 0;
    if (args.size() == 7) {
        bool a = false, b = false;
        first = args[5].toInt(&a);
        last = args[6].toInt(&b);
        rangeOk = a && b;
    }
    if (!portOk || !rangeOk) {
        Fail(QStringLiteral("port, first and last must be numbers"));
        return 64;
    }

    larkspan::ImapClient client;
    auto session = std::make_shared<larkspan::clsChilkatIMAP>();
    session->ChilkatIMAPObject = &client;
    session->SSL = true;
    session->Security = chosen.security;
    session->PORT = port;
    session->IMAPServer = args[0] == QLatin1String("-") ? chosen.host : args[0];
    session->Username = args[2];
    session->Password = args[3];
    const QString folder = args[4];

    if (!session->Connect()) {
        Fail(QStringLiteral("connect failed: %1").arg(client.lastErrorText()));
        return 2;
    }
    const int total = session->GetTotalMessage(folder);
    if (session->LastResultCode() != 1) {
        Fail(QStringLiteral("select failed: %1").arg(client.lastErrorText()));
        return 3;
    }
    if (args.size() == 5)
        last = total;
    session->CurrentLocation = first;
    session->MaxRecord = last;

    QObject::connect(session.get(), &larkspan::clsChilkatIMAP::MailExtractListing,
                     [](QString from, QString fromName, QString fromAddress, QString subject, QString receivedDate,
                        QString plainTextBody, QString htmlTextBody, int uID) {
                         const auto ole = larkspan::ParseGeneralDate(receivedDate);
                         const QJsonObject line{{"from", from},
                                                {"fromName", fromName},
                                                {"fromAddress", fromAddress},
                                                {"subject", subject},
                                                {"receivedDate", receivedDate},
                                                {"oleDate", ole ? QJsonValue(*ole) : QJsonValue()},
                                                {"plainTextBody", plainTextBody},
                                                {"htmlTextBody", htmlTextBody},
                                                {"uID", uID}};
                         const QByteArray json = QJsonDocument(line).toJson(QJsonDocument::Compact);
                         std::fwrite(json.constData(), 1, size_t(json.size()), stdout);
                         std::fputc('\n', stdout);
                     });
    try {
        session->StartMailExtraction(folder);
    } catch (const larkspan::AppError &error) {
        std::fflush(stdout);
        Fail(QStringLiteral("listing ended: %1").arg(error.description()));
        return 4;
    }
    std::fflush(stdout);
    client.disconnectFromServer();
    return 0;
}
