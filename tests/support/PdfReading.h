#pragma once

// Reading back the PDFs and reports a test wrote, with the poppler tools a user has.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

namespace larkspan::test {

// The text of a PDF (pdftotext, layout kept loosely); empty when unreadable.
inline QString PdfText(const QString &path)
{
    QProcess pdftotext;
    pdftotext.start(QStringLiteral("pdftotext"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), path, QStringLiteral("-")});
    if (!pdftotext.waitForFinished(60000) || pdftotext.exitCode() != 0)
        return QString();
    return QString::fromUtf8(pdftotext.readAllStandardOutput()).simplified();
}

inline QString PdfInfo(const QString &path)
{
    QProcess pdfinfo;
    pdfinfo.start(QStringLiteral("pdfinfo"), {path});
    if (!pdfinfo.waitForFinished(60000))
        return QString();
    return QString::fromUtf8(pdfinfo.readAllStandardOutput());
}

inline QByteArray ReadBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool IsCompletePdf(const QString &path)
{
    const QByteArray data = ReadBytes(path);
    return data.startsWith("%PDF-") && data.trimmed().endsWith("%%EOF");
}

// Number of pictures drawn in a PDF (pdfimages -list has a two-line header); -1 when
// it cannot be read.
inline int PdfImageCount(const QString &path)
{
    QProcess pdfimages;
    pdfimages.start(QStringLiteral("pdfimages"), {QStringLiteral("-list"), path});
    if (!pdfimages.waitForFinished(60000) || pdfimages.exitCode() != 0)
        return -1;
    const QStringList lines =
        QString::fromUtf8(pdfimages.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return qMax(0, int(lines.size()) - 2);
}

// The files a PDF carries, as pdfdetach names them, saved into folder.
inline QStringList DetachAll(const QString &pdf, const QString &folder)
{
    QProcess list;
    list.start(QStringLiteral("pdfdetach"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), QStringLiteral("-list"), pdf});
    list.waitForFinished(60000);
    QStringList names;
    static const QRegularExpression entry(QStringLiteral("^\\d+: (.*)$"));
    for (const QString &line : QString::fromUtf8(list.readAllStandardOutput()).split(QLatin1Char('\n')))
        if (const auto m = entry.match(line); m.hasMatch())
            names << m.captured(1);
    QDir().mkpath(folder);
    QProcess save;
    save.start(QStringLiteral("pdfdetach"), {QStringLiteral("-enc"), QStringLiteral("UTF-8"), QStringLiteral("-saveall"),
                                             QStringLiteral("-o"), folder, pdf});
    save.waitForFinished(60000);
    return names;
}

// What a run that wrote its report adds to its first words: counts and the report's name.
inline QString ReportSummary(int exported, int skipped = 0, int failed = 0)
{
    return QStringLiteral("\r\n\r\nExported: %1, skipped: %2, failed: %3.\r\nReport: Larkspan export report.csv")
        .arg(exported)
        .arg(skipped)
        .arg(failed);
}

} // namespace larkspan::test
