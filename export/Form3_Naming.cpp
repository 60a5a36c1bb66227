// PDF file names: the pattern expanded with the message's fields, cleaned, limited,
// and handed to the PDF writer.
#include "export/Form3.h"

#include "mail/OleDate.h"
#include "messagelist/MainWindowContext.h"
#include "platform/core/AppError.h"
#include "platform/core/ErrorReport.h"
#include "platform/web/PdfWriter.h"
#include "platform/core/SettingsStore.h"

#include <QLineEdit>
#include <QLocale>

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

} // namespace

QString Form3::CreatePDF_File()
{
    ErrorTrap trap("Form3", "CreatePDF_File", __LINE__);
    QString name = Text1->text();
    const QString folder = txtBackupPath->text();
    const QString account = m_main.Text1 ? m_main.Text1->text() : QString();
    const QDateTime now = Now();
    const MessageRecord record = Records(CurrentIndex);

    // Every value is worked out whether or not the pattern uses its field, so an
    // unreadable received date is reported at each naming of that message.
    auto replace = [&name](const QString &field, const QString &value) {
        name.replace(field, value, Qt::CaseInsensitive);
    };
    trap.step(__LINE__, [&] { replace(QStringLiteral("<Count>"), QString::number(CurrentIndex)); });
    trap.step(__LINE__, [&] { replace(QStringLiteral("<Current Date>"), now.date().toString(QStringLiteral("MM-dd-yyyy"))); });
    trap.step(__LINE__, [&] { replace(QStringLiteral("<Subject>"), record.subject()); });
    trap.step(__LINE__, [&] { replace(QStringLiteral("<From>"), record.from()); });
    trap.step(__LINE__, [&] { replace(QStringLiteral("<From Name>"), record.fromName()); });
    trap.step(__LINE__, [&] { replace(QStringLiteral("<From Address>"), record.fromAddress()); });
    trap.step(__LINE__, [&] {
        const std::optional<double> received = ParseGeneralDate(record.receivedDate());
        if (!received)
            throw AppError(ErrorCode::TypeMismatch);
        replace(QStringLiteral("<Received Date>"), FromOleDate(*received).date().toString(QStringLiteral("MM-dd-yyyy")));
    });
    trap.step(__LINE__, [&] { replace(QStringLiteral("<Current Time>"), LongTimeText(now.time())); });
    trap.step(__LINE__, [&] { replace(QStringLiteral("<To>"), account); });

    QString cleaned;
    cleaned.reserve(name.size());
    for (const QChar qc : std::as_const(name)) {
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
    name = TrimSpaces(cleaned);
    if (name.isEmpty())
        return QString();

    if (folder.size() + name.size() > kMaxFolderAndName) {
        // A folder that leaves no room for a name gives no usable name at all.
        if (folder.size() >= kMaxFolderAndName)
            return QString();
        name = name.left(kMaxFolderAndName - folder.size());
    }
    QString path = folder + name + QStringLiteral(".pdf");

    if (m_runPaths) {
        // Within one run every message gets its own file.
        for (int n = 2; m_runPaths->contains(path); ++n)
            path = folder + name + QStringLiteral(" (%1).pdf").arg(n);
        m_runPaths->insert(path);
    }

    IniStore handOff = PdfWriter::store();
    handOff.write(PdfWriter::outputFileKey(), path);
    // Rewriting a value the store already holds would only cost another file rewrite.
    if (handOff.read(PdfWriter::bypassSaveAsKey()) != QLatin1String("1"))
        handOff.write(PdfWriter::bypassSaveAsKey(), QStringLiteral("1"));
    return path;
}

} // namespace larkspan
