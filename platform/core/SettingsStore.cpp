#include "platform/core/SettingsStore.h"

#include "platform/core/AppError.h"
#include "platform/core/FileHelpers.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStandardPaths>

#include <cmath>

namespace larkspan {

namespace {

// Values may hold any character (a password can), so the backslash, CR and LF are escaped.
QString escapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c == QLatin1Char('\\'))
            out += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else
            out += c;
    }
    return out;
}

QString unescapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value.at(++i);
            if (n == QLatin1Char('n'))
                out += QLatin1Char('\n');
            else if (n == QLatin1Char('r'))
                out += QLatin1Char('\r');
            else
                out += n;
        } else {
            out += c;
        }
    }
    return out;
}

struct IniLine {
    QString section; // section the line belongs to
    QString key;     // empty for section headers and other lines
    QString raw;
};

QList<IniLine> readLines(const QString &path)
{
    QList<IniLine> lines;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return lines; // a missing or unreadable file is an empty store
    QString section;
    const QStringList rawLines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString &rawLine : rawLines) {
        if (rawLine.isEmpty())
            continue;
        IniLine line;
        line.raw = rawLine;
        if (rawLine.startsWith(QLatin1Char('[')) && rawLine.endsWith(QLatin1Char(']'))) {
            section = rawLine.mid(1, rawLine.size() - 2);
        } else {
            const qsizetype eq = rawLine.indexOf(QLatin1Char('='));
            if (eq > 0)
                line.key = rawLine.left(eq);
        }
        line.section = section;
        lines.append(line);
    }
    return lines;
}

} // namespace

IniStore::IniStore(QString application, QString section, Rewrite rewrite)
    : m_application(std::move(application)), m_section(std::move(section)), m_rewrite(rewrite)
{
}

QString IniStore::filePath() const
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    return folder + QLatin1Char('/') + m_application + QStringLiteral(".ini");
}

QString IniStore::read(const QString &key, const QString &defaultValue) const
{
    const QList<IniLine> lines = readLines(filePath());
    for (const IniLine &line : lines) {
        if (line.section == m_section && line.key == key)
            return unescapeValue(line.raw.mid(key.size() + 1));
    }
    return defaultValue;
}

bool IniStore::write(const QString &key, const QString &value)
{
    const QString path = filePath();
    QList<IniLine> lines = readLines(path);
    const QString newRaw = key + QLatin1Char('=') + escapeValue(value);

    bool replaced = false;
    qsizetype sectionEnd = -1;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].section != m_section)
            continue;
        sectionEnd = i;
        if (lines[i].key == key) {
            lines[i].raw = newRaw;
            replaced = true;
            break;
        }
    }
    if (!replaced) {
        IniLine line{m_section, key, newRaw};
        if (sectionEnd < 0) {
            lines.append(IniLine{m_section, QString(), QLatin1Char('[') + m_section + QLatin1Char(']')});
            lines.append(line);
        } else {
            lines.insert(sectionEnd + 1, line);
        }
    }

    QDir().mkpath(QFileInfo(path).absolutePath());
    QByteArray data;
    for (const IniLine &line : std::as_const(lines))
        data += line.raw.toUtf8() + '\n';
    if (m_rewrite == Rewrite::InPlace) {
        QFile file(path);
        // Owner-only from its creation on.
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered,
                       QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            return false;
        file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return WriteAllBytes(file, data).isEmpty();
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Owner-only before any content is written: the file may hold a password.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    file.write(data);
    if (!file.commit())
        return false;
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return true;
}

IniStore &ProgramSettings()
{
    static IniStore store(QStringLiteral("Vornhelm"), QStringLiteral("Larkspan"));
    return store;
}

QString ReadSetting(const QString &key, const QString &defaultValue)
{
    return ProgramSettings().read(key, defaultValue);
}

void WriteSetting(const QString &key, const QString &value)
{
    ProgramSettings().write(key, value);
}

double RoundHalfEven(double value)
{
    return std::nearbyint(value); // the default rounding mode is to nearest, ties to even
}

int ToInteger(const QString &text)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(value) || value > 2147483647.0 || value < -2147483648.0)
        throw AppError(ErrorCode::TypeMismatch);
    return static_cast<int>(RoundHalfEven(value));
}

int ReadSettingInt(const QString &key, int defaultValue)
{
    const QString marker = QStringLiteral("\x01absent");
    const QString text = ReadSetting(key, marker);
    if (text == marker)
        return defaultValue;
    return ToInteger(text);
}

} // namespace larkspan
