#include "platform/web/WebPage.h"

#include "platform/web/PdfWriter.h"
#include "platform/web/PdfWriterName.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QMimeDatabase>
#include <QMimeType>
#include <QSet>
#include <QTimer>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include <atomic>
#include <clocale>
#include <langinfo.h>
#include <locale.h>

namespace larkspan {

namespace {

const char kPageScheme[] = "larkspan-page";
const char kPageHost[] = "local";

// Custom schemes must be known before the web engine starts: register at load time.
const bool kSchemeRegistered = [] {
    QWebEngineUrlScheme scheme(kPageScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    // Not a local scheme: a mail shown "as in the browser" may load remote images,
    // which Chromium refuses to local documents.
    QWebEngineUrlScheme::registerScheme(scheme);
    return true;
}();

std::atomic<int> g_blockedLoads{0};

bool RemoteContentBlocked()
{
    return qEnvironmentVariable("LARKSPAN_REMOTE_CONTENT").compare(QLatin1String("block"), Qt::CaseInsensitive) == 0;
}

// Refuses remote loads while remote content is blocked; loopback stays reachable.
class RemoteContentGuard : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo &info) override
    {
        if (!RemoteContentBlocked())
            return;
        const QUrl url = info.requestUrl();
        static const QStringList network = {QStringLiteral("http"), QStringLiteral("https"), QStringLiteral("ftp"),
                                            QStringLiteral("ws"), QStringLiteral("wss")};
        if (network.contains(url.scheme().toLower()) && !IsLoopbackHost(url.host())) {
            info.block(true);
            ++g_blockedLoads;
        }
    }
};

// Quiet page: with the page silent, console output of the document is dropped.
class QuietPage : public QWebEnginePage {
public:
    QuietPage(QWebEngineProfile *profile, WebPage *owner) : QWebEnginePage(profile, owner), m_owner(owner) {}

protected:
    void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString &message, int line,
                                  const QString &source) override
    {
        if (!m_owner->silent())
            QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
    }
    bool acceptNavigationRequest(const QUrl &url, NavigationType type, bool isMainFrame) override
    {
        // A click on a link in a shown mail does not navigate away from it.
        if (type == NavigationTypeLinkClicked)
            return false;
        return QWebEnginePage::acceptNavigationRequest(url, type, isMainFrame);
    }

private:
    WebPage *m_owner;
};

QPageLayout &SharedLayout()
{
    static QPageLayout layout(QPageSize(WebPage::systemPaperSize()), QPageLayout::Portrait, QMarginsF(12, 12, 12, 12),
                              QPageLayout::Millimeter);
    return layout;
}

std::function<QString()> &DefaultPrinterLookup()
{
    static std::function<QString()> lookup;
    return lookup;
}

} // namespace

// Serves page files as "larkspan-page://local/<path>", and the pictures beside them
// (the template's image). Nothing else is served: a mail's markup cannot pull other
// local files, such as the diagnostic log in the same folder, into a page or a PDF.
class PageFileSchemeHandler : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void allowPage(const QString &path)
    {
        m_pages.insert(QDir::cleanPath(path));
        m_folders.insert(QFileInfo(QDir::cleanPath(path)).absolutePath());
    }

    void requestStarted(QWebEngineUrlRequestJob *job) override
    {
        const QString path = QDir::cleanPath(job->requestUrl().path());
        const QFileInfo info(path);
        const bool page = m_pages.contains(path);
        QByteArray mime;
        if (page) {
            mime = "text/html;charset=utf-8";
        } else if (m_folders.contains(info.absolutePath())) {
            const QMimeType type = QMimeDatabase().mimeTypeForFile(info, QMimeDatabase::MatchExtension);
            if (type.name().startsWith(QLatin1String("image/")))
                mime = type.name().toLatin1();
        }
        if (mime.isEmpty()) {
            job->fail(QWebEngineUrlRequestJob::RequestDenied);
            return;
        }
        QFile file(path);
        if (!info.isFile() || !file.open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto *buffer = new QBuffer(job);
        buffer->setData(file.readAll());
        buffer->open(QIODevice::ReadOnly);
        job->reply(mime, buffer);
    }

private:
    QSet<QString> m_pages;
    QSet<QString> m_folders;
};

bool IsLoopbackHost(const QString &host)
{
    QString h = host.trimmed().toLower();
    if (h.startsWith(QLatin1Char('[')) && h.endsWith(QLatin1Char(']')))
        h = h.mid(1, h.size() - 2);
    if (h == QLatin1String("localhost") || h.endsWith(QLatin1String(".localhost")))
        return true;
    QHostAddress address;
    return address.setAddress(h) && address.isLoopback();
}

WebPage::WebPage(QObject *parent) : QObject(parent)
{
    Q_UNUSED(kSchemeRegistered);
    // A private profile per page: no cache or cookies on disk, its own guard and scheme.
    m_profile = new QWebEngineProfile(this);
    m_profile->setUrlRequestInterceptor(new RemoteContentGuard(m_profile));
    m_scheme = new PageFileSchemeHandler(m_profile);
    m_profile->installUrlSchemeHandler(kPageScheme, m_scheme);

    m_page = new QuietPage(m_profile, this);
    QWebEngineSettings *settings = m_page->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadImages, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, true);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);

    connect(m_page, &QWebEnginePage::loadingChanged, this, [this](const QWebEngineLoadingInfo &info) {
        if (info.status() != QWebEngineLoadingInfo::LoadStartedStatus)
            onLoadingFinished(info.url());
    });
}

WebPage::~WebPage()
{
    if (m_job)
        m_job->cancel();
    // The page must go before its profile.
    delete m_page;
    m_page = nullptr;
}

void WebPage::navigate(const QString &target)
{
    QUrl url;
    if (target.compare(QLatin1String("about:blank"), Qt::CaseInsensitive) == 0) {
        url = QUrl(QStringLiteral("about:blank"));
    } else {
        const QString path = QFileInfo(target).absoluteFilePath();
        m_scheme->allowPage(path);
        url.setScheme(QString::fromLatin1(kPageScheme));
        url.setHost(QString::fromLatin1(kPageHost));
        url.setPath(path);
    }
    m_location = target;
    m_expected = url;
    m_state = Loading;
    emit stateChanged();
    m_page->load(url);
}

void WebPage::onLoadingFinished(const QUrl &url)
{
    if (m_state != Loading)
        return;
    // Only the end of the latest navigation completes the document; the end of one
    // that it replaced (about:blank before a page) does not.
    if (url.adjusted(QUrl::NormalizePathSegments) != m_expected.adjusted(QUrl::NormalizePathSegments))
        return;
    m_state = Complete;
    emit stateChanged();
}

void WebPage::stop()
{
    // Stopping a page while it renders a PDF takes the whole program down with it; the
    // job is abandoned below instead, and its PDF thrown away when it arrives.
    if (!PdfWriter::instance().isRendering(m_page))
        m_page->triggerAction(QWebEnginePage::Stop);
    if (m_state == Loading) {
        // A stopped document counts as complete, as far as it got.
        m_state = Complete;
        emit stateChanged();
    }
    if (m_job)
        m_job->cancel();
}

bool WebPage::printWithoutPrompt(const PdfRecord &record, QWidget *dialogOwner)
{
    if (queryStatusPrint() != PrintReady)
        return false;
    if (m_job) // a newer print replaces one that never finished
        m_job->cancel();

    m_recordWarning.clear();
    const QString printer = defaultPrinterName();
    if (printer == PdfWriterDeviceName()) {
        PdfPrintJob *job = PdfWriter::instance().print(m_page, sharedPageLayout(), dialogOwner, record);
        m_job = job;
        connect(job, &PdfPrintJob::rendered, this, &WebPage::printRendered);
        connect(job, &PdfPrintJob::finished, this, [this, job](bool ok) {
            if (m_job == job)
                m_job = nullptr;
            m_recordWarning = job->recordWarning();
            endPrint(ok, job->outputPath(), job->errorText());
        });
        emit stateChanged();
        return true;
    }
    QString error;
    if (printer.isEmpty())
        error = QStringLiteral("There is no default printer.");
    else if (m_systemPrinting)
        error = QStringLiteral("The printer is still busy with the previous page.");
    else if (!m_printToSystem)
        error = QStringLiteral("The printer \"%1\" cannot be reached from here.").arg(printer);
    if (!error.isEmpty()) {
        QTimer::singleShot(0, this, [this, error] { endPrint(false, QString(), error); });
        return true;
    }
    // Another default printer: the system's print system takes the job.
    m_systemPrinting = true;
    QPointer<WebPage> self(this);
    m_printToSystem(printer, [self](bool ok, const QString &reason) {
        if (!self)
            return;
        self->m_systemPrinting = false;
        self->endPrint(ok, QString(), reason);
    });
    emit stateChanged();
    return true;
}

bool WebPage::renderToFile(const QString &path)
{
    if (queryStatusPrint() != PrintReady)
        return false;
    connect(m_page, &QWebEnginePage::pdfPrintingFinished, this,
            [this](const QString &, bool ok) { emit renderedToFile(ok); }, Qt::SingleShotConnection);
    m_page->printToPdf(path, sharedPageLayout());
    return true;
}

bool WebPage::printing() const
{
    return m_job || m_systemPrinting;
}

void WebPage::endPrint(bool ok, const QString &path, const QString &error)
{
    emit printFinished(ok, path, error);
    emit stateChanged();
}

void WebPage::setDefaultPrinterLookup(std::function<QString()> lookup)
{
    DefaultPrinterLookup() = std::move(lookup);
}

QString WebPage::defaultPrinterName()
{
    const auto &lookup = DefaultPrinterLookup();
    return lookup ? lookup() : PdfWriterDeviceName();
}

int WebPage::blockedRemoteLoads()
{
    return g_blockedLoads;
}

QPageLayout WebPage::sharedPageLayout()
{
    return SharedLayout();
}

void WebPage::setSharedPageLayout(const QPageLayout &layout)
{
    SharedLayout() = layout;
}

QPageSize::PageSizeId WebPage::paperSizeFor(QLocale::Territory territory)
{
    switch (territory) {
    case QLocale::UnitedStates:
    case QLocale::Canada:
    case QLocale::Mexico:
    case QLocale::PuertoRico:
    case QLocale::Philippines:
    case QLocale::Chile:
    case QLocale::Colombia:
    case QLocale::Venezuela:
    case QLocale::CostaRica:
    case QLocale::Guatemala:
    case QLocale::Panama:
    case QLocale::DominicanRepublic:
    case QLocale::ElSalvador:
    case QLocale::Nicaragua:
    case QLocale::Belize:
        return QPageSize::Letter;
    default:
        return QPageSize::A4;
    }
}

QPageSize::PageSizeId WebPage::systemPaperSize()
{
    // The C library knows the paper of every locale it has installed (LC_PAPER).
    if (locale_t paper = newlocale(LC_PAPER_MASK, "", locale_t(nullptr))) {
        const auto width = reinterpret_cast<quintptr>(nl_langinfo_l(_NL_PAPER_WIDTH, paper));
        const auto height = reinterpret_cast<quintptr>(nl_langinfo_l(_NL_PAPER_HEIGHT, paper));
        freelocale(paper);
        const QByteArray name = qgetenv("LC_ALL").isEmpty() ? (qgetenv("LC_PAPER").isEmpty() ? qgetenv("LANG") : qgetenv("LC_PAPER"))
                                                             : qgetenv("LC_ALL");
        // The C and POSIX locales say A4 for everyone; the territory says more then.
        const bool neutral = name.isEmpty() || name == "C" || name.startsWith("C.") || name == "POSIX";
        if (!neutral) {
            if (width == 216 && height == 279)
                return QPageSize::Letter;
            if (width == 210 && height == 297)
                return QPageSize::A4;
        }
    }
    return paperSizeFor(QLocale::system().territory());
}

} // namespace larkspan
