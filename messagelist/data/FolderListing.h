#pragma once

#include "messagelist/data/ListingRecorder.h"
#include "messagelist/data/MessageRecord.h"

#include <QDate>
#include <QObject>
#include <QSet>
#include <QString>
#include <memory>
#include <optional>

namespace larkspan {

class clsChilkatIMAP;

// Lists a server folder into records without any window: signs in, counts the folder,
// walks the asked range through the session, keeps the messages the character filter
// lets pass, in the message store. What the retrieval runs of the main window do, for
// programs and tests that have no window.
class FolderListing : public QObject {
    Q_OBJECT
public:
    // The session carries the server, the account and the IMAP client to use.
    explicit FolderListing(std::shared_ptr<clsChilkatIMAP> session, QObject *parent = nullptr);
    ~FolderListing() override;

    // Lists messages first..last of the folder (last 0, or past the folder's end: to
    // its end). False when nothing could be listed: no sign-in, no such folder, or the
    // range lies beyond the folder; error() says why. True otherwise, also when the
    // walk ended early (error() then says why; the records listed before stay).
    bool run(const QString &folder, int first = 1, int last = 0, const QString &filter = QString());
    // Lists only the messages that arrived on or after day (the server's own dates), as
    // the server finds them; an invalid date lists every message.
    void setSince(const QDate &day) { m_since = day; }
    // Ends a running walk after the message being fetched.
    void stop();

    // What kept the listing from being made, or from being whole.
    enum class Failure { None, SignIn, Folder, Range, Search, Walk, Stopped };
    Failure failure() const { return m_failure; }

    const RecordArray &records() const { return m_records; }
    // Messages in the folder, as the server counted them.
    int folderSize() const { return m_folderSize; }
    QString error() const { return m_error; }
    bool stopped() const { return m_stopped; }

signals:
    // The walk reached message current of last (sequence numbers).
    void progress(int current, int last);
    // Record n (from 1) was added.
    void listed(int n);

private:
    std::shared_ptr<clsChilkatIMAP> m_session;
    ListingRecorder m_recorder;
    RecordArray m_records;
    QString m_filter;
    QDate m_since;
    std::optional<QSet<int>> m_only; // the sequence numbers asked for, when not all
    int m_folderSize = 0;
    QString m_error;
    Failure m_failure = Failure::None;
    bool m_stopped = false;
};

} // namespace larkspan
