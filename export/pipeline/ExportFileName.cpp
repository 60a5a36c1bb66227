#include "export/pipeline/ExportFileName.h"

#include "mail/OleDate.h"
#include "messagelist/data/MessageRecord.h"
#include "platform/core/SettingsStore.h"
#include "platform/web/PdfWriter.h"

#include <QLocale>
#include <functional>

namespace larkspan {

namespace {

constexpr int kMaxFolderAndName = 250;

// The system's long time format without a time-zone part.
QString LongTimeText(const QTime &time)
{
    const QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    QString cleaned;
    bool quoted = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        cleaned += c;
    }
    return QLocale::system().toString(time, cleaned.simplified());
}

// Characters a file name may not keep: the ANSI code page's 127..159, which are DEL,
// the C1 controls and what Windows-1252 puts there (euro sign, typographic quotes,
// dashes, ellipsis, bullet, trade mark, S/s/Z/z with caron, OE/oe, Y with diaeresis).
bool IsRemovedHighCharacter(char16_t c)
{
    if (c >= 0x7F && c <= 0x9F)
        return true;
    switch (c) {
    case 0x20AC: case 0x201A: case 0x0192: case 0x201E: case 0x2026: case 0x2020: case 0x2021:
    case 0x02C6: case 0x2030: case 0x0160: case 0x2039: case 0x0152: case 0x017D: case 0x2018:
    case 0x2019: case 0x201C: case 0x201D: case 0x2022: case 0x2013: case 0x2014: case 0x02DC:
    case 0x2122: case 0x0161: case 0x203A: case 0x0153: case 0x017E: case 0x0178:
        return true;
    default:
        return false;
    }
}

QString TrimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

QString CleanedName(const QString &name)
{
    QString cleaned;
    cleaned.reserve(name.size());
    for (const QChar qc : name) {
        const char16_t c = qc.unicode();
        switch (c) {
        case u'/': case u'\\': case u'*': case u':': case u'?': case u'<': case u'>': case u'|':
            cleaned += QLatin1Char(' ');
            continue;
        case u'\'': case u'"': case u'#':
            continue;
        default:
            break;
        }
        if (c < 0x20 || IsRemovedHighCharacter(c))
            continue;
        cleaned += qc;
    }
    return TrimSpaces(cleaned);
}

} // namespace

ExportFileName MakeExportFileName(const FileNameFields &fields, const MessageRecord &record)
{
    ExportFileName out;
    QString name = fields.pattern;
    // Every value is worked out whether or not the pattern uses its field, so an
    // unreadable received date is reported at each naming of that message.
    const auto replace = [&](const QString &field, const std::function<QString()> &value) {
        try {
            name.replace(field, value(), Qt::CaseInsensitive);
        } catch (const AppError &error) {
            out.failures << error;
        }
    };
    replace(QStringLiteral("<Count>"), [&] { return QString::number(fields.count); });
    replace(QStringLiteral("<Current Date>"), [&] { return fields.now.date().toString(QStringLiteral("MM-dd-yyyy")); });
    replace(QStringLiteral("<Subject>"), [&] { return record.subject(); });
    replace(QStringLiteral("<From>"), [&] { return record.from(); });
    replace(QStringLiteral("<From Name>"), [&] { return record.fromName(); });
    replace(QStringLiteral("<From Address>"), [&] { return record.fromAddress(); });
    replace(QStringLiteral("<Received Date>"), [&] {
        const std::optional<double> received = ParseGeneralDate(record.receivedDate());
        if (!received)
            throw AppError(ErrorCode::TypeMismatch);
        return FromOleDate(*received).date().toString(QStringLiteral("MM-dd-yyyy"));
    });
    replace(QStringLiteral("<Current Time>"), [&] { return LongTimeText(fields.now.time()); });
    replace(QStringLiteral("<To>"), [&] { return fields.account; });

    name = CleanedName(name);
    if (name.isEmpty())
        return out;
    if (fields.folder.size() + name.size() > kMaxFolderAndName) {
        // A folder that leaves no room for a name gives no usable name at all.
        if (fields.folder.size() >= kMaxFolderAndName)
            return out;
        name = name.left(kMaxFolderAndName - fields.folder.size());
    }
    out.path = fields.folder + name + QStringLiteral(".pdf");
    return out;
}

QString UniqueInRun(const QString &path, QSet<QString> &taken)
{
    QString unique = path;
    const QString stem = path.chopped(4); // without ".pdf"
    for (int n = 2; taken.contains(unique); ++n)
        unique = stem + QStringLiteral(" (%1).pdf").arg(n);
    taken.insert(unique);
    return unique;
}

void HandPathToPdfWriter(const QString &path)
{
    IniStore handOff = PdfWriter::store();
    handOff.write(PdfWriter::outputFileKey(), path);
    // Rewriting a value the store already holds would only cost another file rewrite.
    if (handOff.read(PdfWriter::bypassSaveAsKey()) != QLatin1String("1"))
        handOff.write(PdfWriter::bypassSaveAsKey(), QStringLiteral("1"));
}

} // namespace larkspan
