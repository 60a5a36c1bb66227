#pragma once

#include "platform/core/PdfRecord.h"

#include <QPageLayout>
#include <QPageSize>
#include <QLocale>
#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <memory>

class QPrinter;
class QWebEnginePage;
class QWebEngineProfile;
class QWebEngineView;

namespace larkspan {

class PdfPrintJob;
class PageFileSchemeHandler;

// The web-browser control of the program: a QWebEngineView with the calls the export
// uses. Every browser has its own private profile and page for its whole life, with
// JavaScript and plugins off. With LARKSPAN_REMOTE_CONTENT=block no http, https or
// ftp load leaves loopback.
//
// Page files are shown through the "larkspan-page" scheme rather than file:, because
// the page file's name ends in ".tmp" and Chromium would show it as plain text: the
// scheme serves it as HTML (UTF-8) and serves the pictures beside it (the template's
// image) under relative references; no other local file. Unlike setHtml, it has no size limit, so mails
// with large inline images load too.
class WebBrowser : public QWidget {
    Q_OBJECT
public:
    enum ReadyState { Uninitialized = 0, Loading = 1, Complete = 4 };
    // Print command status bits.
    enum { PrintSupported = 1, PrintEnabled = 2 };

    explicit WebBrowser(QWidget *parent = nullptr);
    ~WebBrowser() override;

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
    // 3 (supported and enabled) while a document is complete, 1 otherwise.
    int queryStatusPrint() const;

    // Prints the document to this process's default printer without a dialog. The
    // result comes later through printFinished. Returns false (and prints nothing)
    // when the print command is not enabled. The record goes into the PDF when the
    // PDF writer prints; other printers ignore it.
    bool printWithoutPrompt(const PdfRecord &record = {});
    // Why the last PDF printed lacks its record; empty when it has it.
    QString lastRecordWarning() const { return m_recordWarning; }
    bool printing() const;

    // The page-setup dialog; the layout chosen there is used by every later print of
    // every browser. Returns true when the user accepted it.
    bool pageSetup();

    // The page layout all browsers print with.
    static QPageLayout sharedPageLayout();
    static void setSharedPageLayout(const QPageLayout &layout);
    // Paper customary where the locale is used: Letter in North America and a few
    // other places, A4 elsewhere.
    static QPageSize::PageSizeId paperSizeFor(QLocale::Territory territory);
    // The system locale's paper (LC_PAPER when the C library knows the locale).
    static QPageSize::PageSizeId systemPaperSize();

    // Loads refused so far because remote content is blocked (all browsers).
    static int blockedRemoteLoads();

    QWebEnginePage *page() const { return m_page; }
    QWebEngineView *view() const { return m_view; }
    // Sizes the browser and its view alike. A browser that is never shown runs no
    // layout, so its view would keep Qt's default 100 x 30 pixels, and the engine lays
    // every page out that narrow before it prints it.
    void setViewSize(const QSize &size);
    // The file or "about:blank" last navigated to.
    QString location() const { return m_location; }

signals:
    // Busy, ready state or print status changed.
    void stateChanged();
    // A print job ended: ok, the PDF path (our PDF writer) and the reason of a failure.
    void printFinished(bool ok, const QString &path, const QString &error);

private:
    void onLoadingChanged(const QUrl &url, bool finished);
    void endPrint(bool ok, const QString &path, const QString &error);

    QWebEngineProfile *m_profile = nullptr;
    QWebEnginePage *m_page = nullptr;
    QWebEngineView *m_view = nullptr;
    PageFileSchemeHandler *m_scheme = nullptr;
    QString m_location;
    QUrl m_expected;
    ReadyState m_state = Uninitialized;
    bool m_silent = false;
    QPointer<PdfPrintJob> m_job;
    QString m_recordWarning;
    std::unique_ptr<QPrinter> m_printer; // a system printer's job in progress
};

// True for "localhost" and loopback addresses (127.0.0.0/8, ::1).
bool IsLoopbackHost(const QString &host);

} // namespace larkspan
