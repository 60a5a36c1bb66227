#include "mail/MailAttachment.h"

#include <QFileInfo>
#include <QMimeDatabase>
#include <QSet>

namespace larkspan::mime {

QString SafeFileName(const QString &given)
{
    QString name = given;
    // Both separators: the name may travel to a system that uses the other one.
    const qsizetype cut = std::max(name.lastIndexOf(QLatin1Char('/')), name.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0)
        name = name.mid(cut + 1);
    QString clean;
    clean.reserve(name.size());
    for (const QChar c : std::as_const(name))
        if (c.category() != QChar::Other_Control && c != QChar(0x7f))
            clean.append(c);
    clean = clean.trimmed();
    if (clean == QLatin1String(".") || clean == QLatin1String(".."))
        return QString();
    return clean;
}

QString FallbackAttachmentName(int n, const QString &mimeType)
{
    QString suffix;
    if (mimeType.compare(QLatin1String("message/rfc822"), Qt::CaseInsensitive) == 0)
        suffix = QStringLiteral("eml");
    else
        suffix = QMimeDatabase().mimeTypeForName(mimeType).preferredSuffix();
    if (suffix.isEmpty())
        suffix = QStringLiteral("bin");
    return QStringLiteral("attachment-%1.%2").arg(n).arg(suffix);
}

void MakeNamesUnique(MailAttachments &attachments, const QStringList &taken)
{
    QSet<QString> used;
    for (const QString &name : taken)
        used.insert(name.toCaseFolded());
    for (MailAttachment &attachment : attachments) {
        QString name = attachment.fileName;
        const QFileInfo info(name);
        const QString suffix = info.suffix();
        const QString base = suffix.isEmpty() ? name : name.left(name.size() - suffix.size() - 1);
        for (int n = 2; used.contains(name.toCaseFolded()); ++n)
            name = suffix.isEmpty() ? QStringLiteral("%1 (%2)").arg(base).arg(n)
                                    : QStringLiteral("%1 (%2).%3").arg(base).arg(n).arg(suffix);
        used.insert(name.toCaseFolded());
        attachment.fileName = name;
    }
}

} // namespace larkspan::mime
