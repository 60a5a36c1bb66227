#pragma once

#include "messagelist/data/ListingRecorder.h"
#include "messagelist/data/MessageRecord.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

namespace larkspan {

class LocalMailSource;

// Lists mail already on the disk (.eml files, an mbox file, a Maildir folder) into
// records without any window, as FolderListing lists a server folder: opens the
// source, scans it (yielding between steps), then reads messages first..last in the
// source's order, keeps those the character filter lets pass and makes each a record
// that points into its file. What the main window's "Open Mail Files..." drives too.
class LocalListing : public QObject {
    Q_OBJECT
public:
    explicit LocalListing(QObject *parent = nullptr);
    ~LocalListing() override;

    // The source paths name (see OpenLocalMailSource), with relative paths made
    // absolute; with folder, that folder of the Maildir++ tree paths names.
    // Raises AppError naming the path and the cause.
    static std::unique_ptr<LocalMailSource> open(const QStringList &paths, const QString &folder = QString());

    // What a folder box offers for what paths name: the folders of a Maildir++ tree
    // (tree set; each is a folder for open()), else one name for the mbox file, the
    // folder or the .eml files.
    struct Folders {
        QStringList names;
        bool tree = false;
    };
    static Folders foldersOf(const QStringList &paths);

    // Lists messages first..last (last 0, or past the end: to the end). False when
    // nothing could be listed: the source cannot be opened or scanned, or the range
    // lies beyond it; error() says why. True otherwise, also when a message could not
    // be read (error() names it; the records listed before it stay).
    bool run(const QStringList &paths, int first = 1, int last = 0, const QString &filter = QString(),
             const QString &folder = QString());
    // The same with a source already opened; folder is the name its records show.
    bool run(std::unique_ptr<LocalMailSource> source, int first = 1, int last = 0, const QString &filter = QString(),
             const QString &folder = QString());
    // The two halves of run(), for a caller that asks for the range once the source's
    // size is known: scan() opens (or takes) the source and scans it, false when it
    // cannot; list() walks the scanned source, with run()'s results.
    bool scan(const QStringList &paths, const QString &folder = QString());
    bool scan(std::unique_ptr<LocalMailSource> source, const QString &folder = QString());
    bool list(int first = 1, int last = 0, const QString &filter = QString());
    // Ends a running scan or walk after the step under way.
    void stop();
    // False: records() stays empty and each record is only latest() while listed(n)
    // is raised, for a caller that keeps the records itself.
    void setKeepRecords(bool keep) { m_keepRecords = keep; }

    enum class Failure { None, Open, Range, Read, Stopped };
    Failure failure() const { return m_failure; }
    QString error() const { return m_error; }
    bool stopped() const { return m_stopped; }

    const RecordArray &records() const { return m_records; }
    const MessageRecord &latest() const { return m_latest; }
    // Messages in the source, once scanned; the walk's m is this or the range's end.
    int sourceSize() const { return m_sourceSize; }
    // Messages the scan left out because their mail program marked them deleted.
    int expungedLeftOut() const { return m_expunged; }

signals:
    // The scan reached done of total (bytes of an mbox, files of a Maildir or a list).
    void scanning(qint64 done, qint64 total);
    // The walk reached message current of last (positions in the source).
    void progress(int current, int last);
    // Record n (from 1) was added.
    void listed(int n);

private:
    void reset();

    std::unique_ptr<LocalMailSource> m_source; // scanned, until the walk is over
    QString m_folder;
    ListingRecorder m_recorder;
    RecordArray m_records;
    MessageRecord m_latest;
    QString m_error;
    Failure m_failure = Failure::None;
    int m_sourceSize = 0;
    int m_expunged = 0;
    int m_count = 0;
    bool m_stopped = false;
    bool m_keepRecords = true;
};

} // namespace larkspan
