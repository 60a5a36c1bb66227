#include "messagelist/data/FolderListing.h"

#include "mail/clsChilkatIMAP.h"
#include "platform/core/AppError.h"
#include "platform/core/ErrorReport.h"

#include <algorithm>

namespace larkspan {

FolderListing::FolderListing(std::shared_ptr<clsChilkatIMAP> session, QObject *parent)
    : QObject(parent), m_session(std::move(session))
{
}

FolderListing::~FolderListing() = default;

void FolderListing::stop()
{
    m_stopped = true;
    if (m_session)
        m_session->AbortProcess = true;
}

bool FolderListing::run(const QString &folder, int first, int last, const QString &filter)
{
    m_records.redim(0);
    m_error.clear();
    m_failure = Failure::None;
    m_stopped = false;
    m_filter = filter;
    m_folderSize = 0;
    clsChilkatIMAP &session = *m_session;
    session.AbortProcess = false;
    const auto clientError = [&session] {
        return session.ChilkatIMAPObject ? session.ChilkatIMAPObject->lastErrorText() : QString();
    };
    if (!session.Connect()) {
        m_error = QStringLiteral("Could not sign in: ") + clientError();
        m_failure = Failure::SignIn;
        return false;
    }
    m_folderSize = session.GetTotalMessage(folder);
    if (session.LastResultCode() != 1) {
        m_error = QStringLiteral("The folder \"%1\" could not be opened: %2").arg(folder, clientError());
        m_failure = Failure::Folder;
        return false;
    }
    if (last <= 0 || last > m_folderSize)
        last = m_folderSize;
    first = std::max(first, 1);
    if (first > last) {
        if (m_folderSize > 0 || first > 1) {
            m_error = QStringLiteral("The folder \"%1\" holds %2 messages; there is no message %3.")
                          .arg(folder)
                          .arg(m_folderSize)
                          .arg(first);
            m_failure = Failure::Range;
        }
        return m_folderSize == 0 && first == 1;
    }

    m_only.reset();
    if (m_since.isValid()) {
        // SEARCH SINCE goes by the server's arrival dates; the walk then covers the
        // messages it named, which mostly lie together at the end.
        static const char *const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        const QString criterion = QStringLiteral("SEARCH SINCE %1-%2-%3")
                                      .arg(m_since.day())
                                      .arg(QLatin1String(months[m_since.month() - 1]))
                                      .arg(m_since.year());
        const QString answer = session.ChilkatIMAPObject ? session.ChilkatIMAPObject->sendRawCommand(criterion) : QString();
        if (answer.isEmpty()) {
            m_error = QStringLiteral("The server could not search the folder \"%1\": %2").arg(folder, clientError());
            m_failure = Failure::Search;
            return false;
        }
        QSet<int> found;
        for (const QString &line : answer.split(QStringLiteral("\r\n"))) {
            if (!line.startsWith(QLatin1String("* SEARCH"), Qt::CaseInsensitive))
                continue;
            for (const QString &number : line.mid(8).split(QLatin1Char(' '), Qt::SkipEmptyParts))
                if (const int n = number.toInt(); n >= first && n <= last)
                    found.insert(n);
        }
        if (found.isEmpty())
            return true; // nothing that new
        first = *std::min_element(found.begin(), found.end());
        last = *std::max_element(found.begin(), found.end());
        m_only = found;
    }
    m_recorder.begin(session.Username, folder);
    const QMetaObject::Connection listing = connect(
        &session, &clsChilkatIMAP::MailExtractListing, this,
        [this, &session](const QString &From, const QString &FromName, const QString &FromAddress, const QString &Subject,
                         const QString &ReceivedDate, const QString &PlainTextBody, const QString &HTMLTextBody, int number) {
            const MailMessage *message = session.ListedMessage();
            if (!message || m_stopped || (m_only && !m_only->contains(number)))
                return;
            const ListedTexts texts{From, FromName, FromAddress, Subject, ReceivedDate, PlainTextBody, HTMLTextBody};
            if (std::optional<MessageRecord> record = m_recorder.take(m_filter, texts, *message, session.FolderUidValidity())) {
                m_records.append(*record);
                emit listed(m_records.upperBound());
            } else if (!m_recorder.storeFailure().isEmpty()) {
                session.AbortProcess = true;
            }
        });
    const QMetaObject::Connection progress = connect(&session, &clsChilkatIMAP::ScrapProgress, this, [this, &session] {
        emit this->progress(session.CurrentLocation, session.MaxRecord);
    });
    session.CurrentLocation = first;
    session.MaxRecord = last;
    try {
        session.StartMailExtraction(folder);
    } catch (...) {
        m_error = DescribeException(std::current_exception());
        m_failure = Failure::Walk;
    }
    disconnect(listing);
    disconnect(progress);
    if (const QString failure = m_recorder.takeStoreFailure(); !failure.isEmpty()) {
        m_error = failure;
        m_failure = Failure::Walk;
    } else if (m_stopped && m_error.isEmpty()) {
        m_error = QStringLiteral("The listing was stopped.");
        m_failure = Failure::Stopped;
    }
    return true;
}

} // namespace larkspan
