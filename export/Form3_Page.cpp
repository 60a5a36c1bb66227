// The message page: the template filled with one message's fields and body.
#include "export/Form3.h"

#include "platform/AppError.h"
#include "platform/ErrorReport.h"
#include "platform/FileHelpers.h"
#include "platform/ProgramFolder.h"

#include <QFile>

namespace larkspan {

namespace {

// A plain-text body keeps its line breaks and spacing, and long lines wrap.
QString PlainTextAsHtml(const QString &text)
{
    QString body = text.toHtmlEscaped();
    body.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    body.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return QStringLiteral("<div class=\"plain-text\" style=\"white-space: pre-wrap; overflow-wrap: anywhere;\">")
        + body + QStringLiteral("</div>");
}

} // namespace

void Form3::CreateHTMLFile()
{
    // Until this message's page is written whole there is none: nothing may show or
    // print the previous message in its place.
    HTMLFilePath.clear();
    try {
        HTMLFilePath = writeMessagePage();
        PageFailure.clear();
    } catch (...) {
        PageFailure = DescribeException(std::current_exception());
        throw;
    }
}

QString Form3::writeMessagePage()
{
    QString page = ReadWholeFile(ProgramFile(QStringLiteral("Base.tmp")));

    const MessageRecord &record = Records(CurrentIndex);
    QString body;
    if (PrintAsHTML && !record.htmlTextBody().isEmpty())
        body = record.htmlTextBody(); // the mail's own markup
    else
        body = PlainTextAsHtml(record.plainTextBody());

    // In this order, each one pass over the whole text; header values are text, not markup.
    page.replace(QStringLiteral("%From%"), record.from().toHtmlEscaped(), Qt::CaseSensitive);
    page.replace(QStringLiteral("%Name%"), record.fromName().toHtmlEscaped(), Qt::CaseSensitive);
    page.replace(QStringLiteral("%Address%"), record.fromAddress().toHtmlEscaped(), Qt::CaseSensitive);
    page.replace(QStringLiteral("%Subject%"), record.subject().toHtmlEscaped(), Qt::CaseSensitive);
    page.replace(QStringLiteral("%Date%"), record.receivedDate().toHtmlEscaped(), Qt::CaseSensitive);
    page.replace(QStringLiteral("%Message%"), body, Qt::CaseSensitive);

    // The template's image is found beside the page file; copied once, never refreshed.
    const QString imageCopy = TempFolder() + QStringLiteral("/ipad-yahoo-mail.png");
    if (!FileExistsOnDisk(imageCopy)) {
        const QString image = ProgramFile(QStringLiteral("ipad-yahoo-mail.png"));
        if (!FileExistsOnDisk(image))
            throw AppError(ErrorCode::FileNotFound, image);
        if (!QFile::copy(image, imageCopy))
            throw AppError(ErrorCode::PathFileAccess, imageCopy);
    }

    const QString path = TempFolder() + QStringLiteral("/tmp.tmp");
    const int slot = FreeFileSlot();
    OpenTextFile(path, slot);
    WriteText(page, slot);
    CloseTextFile(slot);
    return path;
}

} // namespace larkspan
