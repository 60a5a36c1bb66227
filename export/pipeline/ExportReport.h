#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace larkspan {

class MessageRecord;

// "Larkspan export report.csv" in an output folder: one row per message each export
// run handled, appended run after run. UTF-8, RFC 4180 (CRLF, quotes doubled), with a
// header row. Written whole through a temporary file and a rename, so a run that dies
// leaves the previous report as it was.
class ExportReport {
public:
    enum class Status { Exported, Skipped, Failed, Cancelled };
    struct Row {
        QStringList fields; // in the order of Header()
    };

    static QString fileName() { return QStringLiteral("Larkspan export report.csv"); }
    static QStringList header();

    // Reads the report of folder (a path ending in a separator, as the export window
    // keeps it). A missing report is an empty one. A report that cannot be read (not
    // ours, or damaged) is renamed aside as "Larkspan export report (damaged <date>)
    // .csv" and a new one is started: keptAside() names it then.
    explicit ExportReport(const QString &folder, const QString &damagedStamp);

    bool wasKeptAside() const { return !m_keptAside.isEmpty(); }
    QString keptAside() const { return m_keptAside; }
    // Why the report could neither be read nor kept aside; empty when all is well.
    QString problem() const { return m_problem; }
    // The earlier rows were read whole: skipping can go by them.
    bool knowsEarlierRuns() const { return m_keptAside.isEmpty() && m_problem.isEmpty(); }

    // The file of the latest "exported" row for this message when that file is still
    // in the folder; empty otherwise. Identity is the account, server folder,
    // UIDVALIDITY and UID, or the SHA-256 where the server gave no UIDVALIDITY; for
    // mail on the disk, the source (mbox file, Maildir folder, .eml file) and the SHA-256.
    QString exportedFile(const MessageRecord &record) const;

    void add(const QString &runTime, const MessageRecord &record, const QString &pdfFile, Status status,
             const QString &reason);
    int count(Status status) const { return m_counts.value(int(status)); }

    // Writes every row, old and new; the reason in words when it could not.
    QString save() const;

    // RFC 4180 both ways; parse returns false for text that is not whole CSV.
    static QByteArray formatRow(const QStringList &fields);
    static bool parse(const QByteArray &text, QList<QStringList> *rows);

private:
    static QString identity(const QString &account, const QString &folder, const QString &validity, const QString &uid,
                            const QString &sha256, const QString &localSource);

    QString m_folder;
    QList<QStringList> m_rows;
    QHash<QString, QString> m_exported; // identity -> PDF file name
    QHash<int, int> m_counts;           // this run's rows by status
    QString m_keptAside;
    QString m_problem;
};

} // namespace larkspan
