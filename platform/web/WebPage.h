#pragma once

#include "platform/core/PdfRecord.h"

#include <QLocale>
#include <QObject>
#include <QPageLayout>
#include <QPageSize>
#include <QPointer>
#include <QUrl>
#include <functional>

class QWebEnginePage;
class QWebEngineProfile;
class QWidget;

namespace larkspan {

class PdfPrintJob;
class PageFileSchemeHandler;

// A web page without a window: what the export needs to load a message page and print
// it, usable by the windows' browser control and by programs that show nothing. Every
// page has its own private profile for its whole life, with JavaScript and plugins
// off. With LARKSPAN_REMOTE_CONTENT=block no http, https or ftp load leaves loopback.
//
// Page files are shown through the "larkspan-page" scheme rather than file:, because
// the page file's name ends in ".tmp" and Chromium would show it as plain text: the
// scheme serves it as HTML (UTF-8) and serves the pictures beside it (the template's
// image) under relative references; no other local file. Unlike setHtml, it has no
// size limit, so mails with large inline images load too.
class WebPage : public QObject {
    Q_OBJECT
public:
    enum ReadyState { Uninitialized = 0, Loading = 1, Complete = 4 };
    // Bits of the print command's status.
    enum PrintStatus { PrintSupported = 1, PrintEnabled = 2, PrintReady = PrintSupported | PrintEnabled };

    explicit WebPage(QObject *parent = nullptr);
    ~WebPage() override;

    // Shows a page file (any extension; its content is HTML) or "about:blank".
    // ReadyState drops to Loading at once and reaches Complete when this navigation
    // has finished, so a wait right after the call never sees the previous document.
    void navigate(const QString &target);
    // Stops loading and abandons a print job that has not finished.
    void stop();

    // Silent: the page's own diagnostics (console messages) are not passed on.
    void setSilent(bool silent) { m_silent = silent; }
    bool silent() const { return m_silent; }

    bool busy() const { return m_state == Loading; }
    int readyState() const { return m_state; }
    // PrintReady while a document is complete, PrintSupported otherwise.
    int queryStatusPrint() const { return m_state == Complete ? PrintReady : PrintSupported; }

    // Prints the document to the default printer without a dialog. The result comes
    // later through printFinished. Returns false (and prints nothing) when the print
    // command is not enabled. The record goes into the PDF when the PDF writer
    // prints; other printers ignore it. dialogOwner parents the writer's save dialog
    // when the hand-off asks for one.
    bool printWithoutPrompt(const PdfRecord &record = {}, QWidget *dialogOwner = nullptr);
    // Renders the document as it is into a PDF file at path, with nothing added and no
    // printer involved; renderedToFile follows. False when no document is complete.
    bool renderToFile(const QString &path);
    // Why the last PDF printed lacks its record; empty when it has it.
    QString lastRecordWarning() const { return m_recordWarning; }
    bool printing() const;

    // The page layout all pages print with.
    static QPageLayout sharedPageLayout();
    static void setSharedPageLayout(const QPageLayout &layout);
    // Paper customary where the locale is used: Letter in North America and a few
    // other places, A4 elsewhere.
    static QPageSize::PageSizeId paperSizeFor(QLocale::Territory territory);
    // The system locale's paper (LC_PAPER when the C library knows the locale).
    static QPageSize::PageSizeId systemPaperSize();

    // Loads refused so far because remote content is blocked (all pages).
    static int blockedRemoteLoads();

    // The device name of the default printer. Without a printer registry (a program
    // with no windows) the PDF writer is the only printer there is.
    static void setDefaultPrinterLookup(std::function<QString()> lookup);
    static QString defaultPrinterName();

    // A printer other than the PDF writer needs a view to print from; the windows'
    // browser control gives one. ok, then the reason of a failure.
    using SystemPrinting = std::function<void(const QString &printer, std::function<void(bool, QString)> done)>;
    void setSystemPrinting(SystemPrinting printing) { m_printToSystem = std::move(printing); }

    QWebEnginePage *page() const { return m_page; }
    // The file or "about:blank" last navigated to.
    QString location() const { return m_location; }

signals:
    // Busy, ready state or print status changed.
    void stateChanged();
    // The PDF writer has the page rendered and completes the PDF now; printFinished
    // follows before this thread does anything else.
    void printRendered();
    // A print job ended: ok, the PDF path (our PDF writer) and the reason of a failure.
    void printFinished(bool ok, const QString &path, const QString &error);
    void renderedToFile(bool ok);

private:
    void onLoadingFinished(const QUrl &url);
    void endPrint(bool ok, const QString &path, const QString &error);

    QWebEngineProfile *m_profile = nullptr;
    QWebEnginePage *m_page = nullptr;
    PageFileSchemeHandler *m_scheme = nullptr;
    QString m_location;
    QUrl m_expected;
    ReadyState m_state = Uninitialized;
    bool m_silent = false;
    QPointer<PdfPrintJob> m_job;
    bool m_systemPrinting = false;
    QString m_recordWarning;
    SystemPrinting m_printToSystem;
};

// True for "localhost" and loopback addresses (127.0.0.0/8, ::1).
bool IsLoopbackHost(const QString &host);

} // namespace larkspan
