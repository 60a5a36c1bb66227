#pragma once

#include "platform/web/WebPage.h"

#include <QSize>
#include <QWidget>
#include <memory>

class QPrinter;
class QWebEngineView;

namespace larkspan {

// The web-browser control of the windows: a view over a WebPage, with the calls the
// preview and the export use, and printing to printers other than the PDF writer.
class WebBrowser : public QWidget {
    Q_OBJECT
public:
    using ReadyState = WebPage::ReadyState;
    static constexpr ReadyState Uninitialized = WebPage::Uninitialized;
    static constexpr ReadyState Loading = WebPage::Loading;
    static constexpr ReadyState Complete = WebPage::Complete;
    static constexpr int PrintSupported = WebPage::PrintSupported;
    static constexpr int PrintEnabled = WebPage::PrintEnabled;
    static constexpr int PrintReady = WebPage::PrintReady;

    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

    // The page without its window: what the export pipeline loads and prints.
    WebPage *webPage() const { return m_webPage; }

    void navigate(const QString &target) { m_webPage->navigate(target); }
    void stop() { m_webPage->stop(); }
    void setSilent(bool silent) { m_webPage->setSilent(silent); }
    bool silent() const { return m_webPage->silent(); }
    bool busy() const { return m_webPage->busy(); }
    int readyState() const { return m_webPage->readyState(); }
    int queryStatusPrint() const { return m_webPage->queryStatusPrint(); }
    // Prints to the default printer without a dialog; see WebPage::printWithoutPrompt.
    bool printWithoutPrompt(const PdfRecord &record = {}) { return m_webPage->printWithoutPrompt(record, window()); }
    QString lastRecordWarning() const { return m_webPage->lastRecordWarning(); }
    bool printing() const { return m_webPage->printing(); }
    QString location() const { return m_webPage->location(); }

    // The page-setup dialog; the layout chosen there is used by every later print of
    // every page. Returns true when the user accepted it.
    bool pageSetup();

    static QPageLayout sharedPageLayout() { return WebPage::sharedPageLayout(); }
    static void setSharedPageLayout(const QPageLayout &layout) { WebPage::setSharedPageLayout(layout); }
    static QPageSize::PageSizeId paperSizeFor(QLocale::Territory territory) { return WebPage::paperSizeFor(territory); }
    static QPageSize::PageSizeId systemPaperSize() { return WebPage::systemPaperSize(); }
    static int blockedRemoteLoads() { return WebPage::blockedRemoteLoads(); }

    QWebEnginePage *page() const { return m_webPage->page(); }
    QWebEngineView *view() const { return m_view; }
    // Sizes the browser and its view alike. A browser that is never shown runs no
    // layout, so its view would keep Qt's default 100 x 30 pixels, and the engine lays
    // every page out that narrow before it prints it.
    void setViewSize(const QSize &size);

signals:
    // Busy, ready state or print status changed.
    void stateChanged();
    // A print job ended: ok, the PDF path (our PDF writer) and the reason of a failure.
    void printFinished(bool ok, const QString &path, const QString &error);

private:
    WebPage *m_webPage = nullptr;
    QWebEngineView *m_view = nullptr;
    std::unique_ptr<QPrinter> m_printer; // a system printer's job in progress
};

} // namespace larkspan
