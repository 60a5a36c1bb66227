#include "export/pipeline/OnePdfForAll.h"

#include "export/pipeline/DocumentRecord.h"
#include "mail/OleDate.h"
#include "messagelist/data/MessageRecord.h"
#include "platform/core/FileHelpers.h"
#include "platform/core/PdfBundle.h"
#include "platform/core/ProgramFolder.h"
#include "platform/core/Yield.h"
#include "platform/web/WebPage.h"

#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>

#include <algorithm>

namespace larkspan {

namespace {

constexpr int kRenderLimitMs = 3 * 60 * 1000;

QString Escaped(const QString &text)
{
    return text.toHtmlEscaped();
}

} // namespace

OnePdfForAll::OnePdfForAll(FieldsAtNaming fields, const QString &chosenName)
    : m_fields(std::move(fields)), m_chosenName(chosenName.trimmed())
{
}

OnePdfForAll::~OnePdfForAll() = default;

QString OnePdfForAll::partsFolder()
{
    if (!m_parts) // owner only, gone with the run: the parts hold mail
        m_parts = std::make_unique<QTemporaryDir>(TempFolder() + QStringLiteral("/larkspan-one-pdf-XXXXXX"));
    return m_parts->isValid() ? m_parts->path() : QString();
}

// Each message is printed under the name its own PDF would have, so that the original
// inside is named as in its own PDF too.
QString OnePdfForAll::pathFor(int count, const MessageRecord &record, QList<AppError> *failures)
{
    const ExportFileName name = MakeExportFileName(m_fields(count), record);
    *failures += name.failures;
    if (name.path.isEmpty())
        return QString();
    const QString folder = partsFolder();
    if (folder.isEmpty()) {
        failures->append(AppError(QStringLiteral("No private folder could be made for the parts of the one PDF in \"%1\".").arg(TempFolder())));
        return QString();
    }
    return folder + QLatin1Char('/') + QFileInfo(UniqueInRun(name.path, m_taken)).fileName();
}

void OnePdfForAll::keep(int count, const MessageRecord &record, const QString &path)
{
    m_kept << Part{count, record, path};
}

QString OnePdfForAll::bundlePath(QString *problem) const
{
    const Part &first = m_kept.first();
    FileNameFields fields = m_fields(first.count);
    fields.count = int(m_kept.size()); // "<Count>": how many messages it holds
    if (!m_chosenName.isEmpty())
        fields.pattern = m_chosenName;
    const ExportFileName name = MakeExportFileName(fields, first.record);
    if (name.path.isEmpty())
        *problem = QStringLiteral("The name of the one PDF is empty once the characters a file name cannot hold are taken out.");
    return name.path;
}

QString OnePdfForAll::ContentsHtml(const QString &title, const QList<Line> &lines)
{
    QString rows;
    for (const Line &line : lines) {
        const QString link = QStringLiteral("<a href=\"%1%2\">").arg(QLatin1String(kBundleMessageLinkPrefix)).arg(line.number);
        rows += QStringLiteral("<tr><td class=\"n\">") + link + QString::number(line.number) + QStringLiteral("</a></td><td>") + link +
                Escaped(line.date) + QStringLiteral("</a></td><td>") + link + Escaped(line.from) + QStringLiteral("</a></td><td>") +
                link + Escaped(line.subject.isEmpty() ? QStringLiteral("(no subject)") : line.subject) +
                QStringLiteral("</a></td><td class=\"p\">") + link + QString::number(line.page) + QStringLiteral("</a></td></tr>\n");
    }
    return QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>") + Escaped(title) +
           QStringLiteral("</title><style>"
                          "body { font-family: \"DejaVu Sans\", sans-serif; font-size: 9pt; color: #1a1a1a; margin: 0; }"
                          "h1 { font-size: 14pt; color: #2b1a4d; margin: 0 0 10pt 0; }"
                          "table { width: 100%; border-collapse: collapse; table-layout: fixed; }"
                          "th { text-align: left; border-bottom: 1px solid #5a3f8c; padding: 2pt; }"
                          "td { padding: 2pt; vertical-align: top; overflow-wrap: anywhere; }"
                          "tr { break-inside: avoid; }"
                          "a { color: inherit; text-decoration: none; }"
                          ".n { width: 7%; } .d { width: 20%; } .f { width: 25%; } .p { width: 8%; text-align: right; }"
                          "</style></head><body><h1>") +
           Escaped(title) +
           QStringLiteral("</h1><table><thead><tr><th class=\"n\">No.</th><th class=\"d\">Date</th><th class=\"f\">From</th>"
                          "<th>Subject</th><th class=\"p\">Page</th></tr></thead><tbody>\n") +
           rows + QStringLiteral("</tbody></table></body></html>");
}

QString OnePdfForAll::render(WebPage *page, const QString &html, const QString &pdfPath)
{
    const QString htmlPath = QFileInfo(pdfPath).absolutePath() + QStringLiteral("/contents.html");
    {
        QFile file(htmlPath);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(html.toUtf8()) < 0)
            return QStringLiteral("The contents page could not be written: ") + file.errorString();
    }
    QEventLoop loop;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
    limit.start(kRenderLimitMs);
    const auto stateConnection = QObject::connect(page, &WebPage::stateChanged, &loop, [&] {
        if (page->readyState() == WebPage::Complete)
            loop.quit();
    });
    page->navigate(htmlPath);
    if (page->readyState() != WebPage::Complete)
        loop.exec();
    QObject::disconnect(stateConnection);
    if (page->readyState() != WebPage::Complete || m_cancelled)
        return m_cancelled ? QString() : QStringLiteral("The contents page did not finish loading.");
    bool rendered = false;
    const auto renderConnection = QObject::connect(page, &WebPage::renderedToFile, &loop, [&](bool ok) {
        rendered = ok;
        loop.quit();
    });
    const bool started = page->renderToFile(pdfPath);
    if (started)
        loop.exec();
    QObject::disconnect(renderConnection);
    if (!rendered)
        return QStringLiteral("The contents page could not be made into a PDF.");
    return QString();
}

QString OnePdfForAll::finish(bool cancelled, WebPage *page)
{
    const auto cleanUp = qScopeGuard([this] { m_parts.reset(); });
    if (cancelled || m_cancelled)
        return QString();
    if (m_kept.isEmpty()) {
        m_nothing = QStringLiteral("No PDF was written: no email was left to put in it.");
        return QString();
    }
    if (!page)
        return QStringLiteral("There is no page to make the contents with.");
    QString problem;
    const QString target = bundlePath(&problem);
    if (target.isEmpty())
        return problem;

    // Where each message starts: the contents pages first, then every part's pages.
    QList<int> pages;
    for (const Part &part : std::as_const(m_kept)) {
        const int n = CountPdfPages(part.path, &problem);
        if (n < 0)
            return QStringLiteral("The PDF of \"%1\" could not be read back: %2").arg(part.record.subject(), problem);
        pages << n;
    }
    QString folder, account;
    std::optional<double> earliest, latest;
    QList<Line> lines;
    for (const Part &part : std::as_const(m_kept)) {
        if (const MessageSource *source = part.record.source(); source && folder.isEmpty()) {
            folder = source->folder;
            account = source->account;
        }
        if (const std::optional<double> date = ParseGeneralDate(part.record.receivedDate())) {
            earliest = earliest ? std::min(*earliest, *date) : *date;
            latest = latest ? std::max(*latest, *date) : *date;
        }
        lines << Line{int(lines.size()) + 1, part.record.receivedDate(), part.record.from(), part.record.subject(), 0};
    }
    const auto day = [](double date) { return FromOleDate(date).date().toString(QStringLiteral("d MMMM yyyy")); };
    const QString span = !earliest ? QString()
                         : day(*earliest) == day(*latest) ? day(*earliest)
                                                          : day(*earliest) + QStringLiteral(" to ") + day(*latest);
    const QString title = (folder.isEmpty() ? QStringLiteral("Emails") : folder) + (span.isEmpty() ? QString() : QStringLiteral(", ") + span);

    // The contents' own length moves every number after it: made once with a guess,
    // and again when the guess was wrong.
    const QString contents = m_parts->path() + QStringLiteral("/contents.pdf");
    int contentsPages = 1;
    for (int attempt = 0; attempt < 3; ++attempt) {
        int next = contentsPages + 1;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            lines[i].page = next;
            next += pages[i];
        }
        if (const QString failed = render(page, ContentsHtml(title, lines), contents); !failed.isEmpty() || m_cancelled)
            return failed;
        const int made = CountPdfPages(contents, &problem);
        if (made < 0)
            return QStringLiteral("The contents page could not be read back: ") + problem;
        if (made == contentsPages)
            break;
        contentsPages = made;
    }

    QList<PdfBundlePart> parts;
    for (const Part &part : std::as_const(m_kept))
        parts << PdfBundlePart{part.path, OutlineTitle(part.record)};
    PdfBundleInfo info;
    info.title = title;
    info.author = account;
    info.subject = QStringLiteral("%1 emails%2").arg(m_kept.size()).arg(account.isEmpty() ? QString() : QStringLiteral(" of ") + account);
    info.keywords = folder;
    info.created = QDateTime::currentDateTime();
    problem = WritePdfBundle(target, contents, parts, info, [this] {
        YieldToEventLoop();
        return !m_cancelled;
    });
    if (m_cancelled)
        return QString();
    if (problem.isEmpty())
        m_delivered = target;
    return problem;
}

} // namespace larkspan
