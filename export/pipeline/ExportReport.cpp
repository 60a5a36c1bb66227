#include "export/pipeline/ExportReport.h"

#include "messagelist/data/MessageRecord.h"
#include "platform/core/FileExists.h"
#include "platform/core/FileHelpers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace larkspan {

namespace {

enum Column {
    RunTime, Account, Folder, UidValidity, Uid, MessageId, Sha256, Received, From, Subject, PdfFile, State, Reason,
    // Mail on the disk, after the columns reports had before it: a report written
    // before has none of them and reads as if they were empty.
    LocalSource, LocalFile, Position, ColumnCount
};
constexpr int kColumnsBeforeLocal = LocalSource;

QString StatusWord(ExportReport::Status status)
{
    switch (status) {
    case ExportReport::Status::Exported:
        return QStringLiteral("exported");
    case ExportReport::Status::Skipped:
        return QStringLiteral("skipped");
    case ExportReport::Status::Failed:
        return QStringLiteral("failed");
    case ExportReport::Status::Cancelled:
        return QStringLiteral("cancelled");
    }
    return QString();
}

// The identity columns as the report writes them; empty where unknown.
QString AccountText(const MessageSource *source)
{
    return source ? source->account : QString();
}

QString FolderText(const MessageSource *source)
{
    return source ? source->folder : QString();
}

QString ValidityText(const MessageSource *source)
{
    return source && source->uidValidity ? QString::number(source->uidValidity) : QString();
}

QString UidText(const MessageRecord &record)
{
    return record.uid() ? QString::number(record.uid()) : QString();
}

QString LocalPath(const QString &path)
{
    return path.isEmpty() ? QString() : QDir::toNativeSeparators(QFileInfo(path).absoluteFilePath());
}

} // namespace

QStringList ExportReport::header()
{
    static const QStringList names = {QStringLiteral("Run"),         QStringLiteral("Account"), QStringLiteral("Server folder"),
            QStringLiteral("UIDVALIDITY"), QStringLiteral("UID"),     QStringLiteral("Message-ID"),
            QStringLiteral("SHA-256"),     QStringLiteral("Received"), QStringLiteral("From"),
            QStringLiteral("Subject"),     QStringLiteral("PDF file"), QStringLiteral("Status"),
            QStringLiteral("Reason"),      QStringLiteral("Source"),  QStringLiteral("Source file"),
            QStringLiteral("Position")};
    return names;
}

QByteArray ExportReport::formatRow(const QStringList &fields)
{
    QByteArray line;
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            line += ',';
        QByteArray field = fields[i].toUtf8();
        if (field.contains(',') || field.contains('"') || field.contains('\r') || field.contains('\n')) {
            field.replace("\"", "\"\"");
            field = '"' + field + '"';
        }
        line += field;
    }
    return line + "\r\n";
}

bool ExportReport::parse(const QByteArray &text, QList<QStringList> *rows)
{
    rows->clear();
    QStringList row;
    QByteArray field;
    bool quoted = false;    // inside a quoted field
    bool wasQuoted = false; // the field began with a quote
    bool fieldStarted = false;
    auto endField = [&] {
        row << QString::fromUtf8(field);
        field.clear();
        wasQuoted = false;
        fieldStarted = false;
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text.at(i);
        if (quoted) {
            if (c == '"') {
                if (i + 1 < text.size() && text.at(i + 1) == '"') {
                    field += '"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            continue;
        }
        if (c == '"') {
            if (fieldStarted)
                return false; // a quote inside an unquoted field
            quoted = wasQuoted = fieldStarted = true;
        } else if (c == ',') {
            endField();
        } else if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text.at(i + 1) == '\n')
                ++i;
            endField();
            rows->append(row);
            row.clear();
        } else {
            if (wasQuoted)
                return false; // text after a closing quote
            field += c;
            fieldStarted = true;
        }
    }
    if (quoted)
        return false; // cut short inside a quoted field
    if (fieldStarted || !row.isEmpty()) {
        endField();
        rows->append(row);
    }
    return true;
}

QString ExportReport::identity(const QString &account, const QString &folder, const QString &validity,
                               const QString &uid, const QString &sha256, const QString &localSource)
{
    // On the disk a message has no UID: its octets in its source are what it is, found
    // again wherever they lie now in a file that has grown.
    if (!localSource.isEmpty())
        return sha256.isEmpty() ? QString() : QStringLiteral("disk\x1f") + localSource + QChar(0x1f) + sha256;
    if (!validity.isEmpty() && validity != QLatin1String("0") && !uid.isEmpty() && uid != QLatin1String("0"))
        return QStringLiteral("uid\x1f") + account + QChar(0x1f) + folder + QChar(0x1f) + validity + QChar(0x1f) + uid;
    if (!sha256.isEmpty())
        return QStringLiteral("sha\x1f") + sha256;
    return QString();
}

ExportReport::ExportReport(const QString &folder, const QString &damagedStamp) : m_folder(folder)
{
    const QString path = folder + fileName();
    QFile file(path);
    if (!file.exists())
        return;
    QList<QStringList> rows;
    bool readable = file.open(QIODevice::ReadOnly) && parse(file.readAll(), &rows) && !rows.isEmpty();
    // A report from before mail on the disk was read has the first columns only.
    const qsizetype columns = readable ? rows.first().size() : 0;
    readable = readable && (rows.first() == header() || rows.first() == header().mid(0, kColumnsBeforeLocal));
    for (qsizetype i = 1; readable && i < rows.size(); ++i) {
        readable = rows[i].size() == columns;
        rows[i].resize(ColumnCount);
    }
    file.close();
    if (!readable) {
        const QString aside = QStringLiteral("Larkspan export report (damaged %1).csv").arg(damagedStamp);
        if (QFile::rename(path, folder + aside))
            m_keptAside = aside;
        else
            m_problem = QStringLiteral("The export report \"%1\" cannot be read and could not be kept aside.")
                            .arg(QDir::toNativeSeparators(path));
        return;
    }
    rows.removeFirst();
    m_rows = rows;
    for (const QStringList &row : std::as_const(m_rows))
        if (row[State] == QLatin1String("exported")) {
            const QString key = identity(row[Account], row[Folder], row[UidValidity], row[Uid], row[Sha256], row[LocalSource]);
            if (!key.isEmpty())
                m_exported.insert(key, row[PdfFile]);
        }
}

QString ExportReport::exportedFile(const MessageRecord &record) const
{
    const MessageSource *source = record.source();
    // The SHA-256 means reading the message back; only a message without a UID needs it.
    const bool knownByUid = source && source->uidValidity && record.uid();
    const QString key = identity(AccountText(source), FolderText(source), ValidityText(source), UidText(record),
                                 knownByUid ? QString() : QString::fromLatin1(record.sha256().toHex()),
                                 LocalPath(record.localSource()));
    const QString file = key.isEmpty() ? QString() : m_exported.value(key);
    return !file.isEmpty() && FileExistsOnDisk(m_folder + file) ? file : QString();
}

void ExportReport::add(const QString &runTime, const MessageRecord &record, const QString &pdfFile, Status status,
                       const QString &reason)
{
    const MessageSource *source = record.source();
    QStringList row(header().size());
    row[RunTime] = runTime;
    const bool local = record.isLocal();
    row[Account] = AccountText(source);
    row[Folder] = local ? QString() : FolderText(source);
    row[UidValidity] = ValidityText(source);
    row[Uid] = UidText(record);
    row[MessageId] = record.messageId();
    row[Sha256] = QString::fromLatin1(record.sha256().toHex());
    row[Received] = record.receivedDate();
    row[From] = record.from();
    row[Subject] = record.subject();
    row[PdfFile] = pdfFile;
    row[State] = StatusWord(status);
    row[Reason] = reason;
    if (local) {
        row[LocalSource] = LocalPath(record.localSource());
        row[LocalFile] = LocalPath(record.localFile());
        row[Position] = QString::number(record.position());
    }
    m_rows.append(row);
    m_counts[int(status)] += 1;
    if (status == Status::Exported) {
        const QString key = identity(row[Account], row[Folder], row[UidValidity], row[Uid], row[Sha256], row[LocalSource]);
        if (!key.isEmpty())
            m_exported.insert(key, pdfFile);
    }
}

QString ExportReport::save() const
{
    QByteArray text = formatRow(header());
    for (const QStringList &row : m_rows)
        text += formatRow(row);
    QSaveFile file(m_folder + fileName());
    QString reason;
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        reason = file.errorString();
    else if (reason = WriteAllBytes(file, text); reason.isEmpty() && !file.commit())
        reason = file.errorString();
    return reason;
}

} // namespace larkspan
