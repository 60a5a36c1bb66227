#include "platform/widgets/WebBrowser.h"

#include "platform/widgets/PrinterRegistry.h"

#include <QPageSetupDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QVBoxLayout>
#include <QWebEngineView>

namespace larkspan {

WebBrowser::WebBrowser(QWidget *parent) : QWidget(parent)
{
    // The windows print to the default printer of the program's printer registry.
    static const bool lookupInstalled = [] {
        WebPage::setDefaultPrinterLookup([] { return Printers().defaultPrinterName(); });
        return true;
    }();
    Q_UNUSED(lookupInstalled);

    m_webPage = new WebPage(this);
    m_view = new QWebEngineView(this);
    m_view->setPage(m_webPage->page());
    m_view->setContextMenuPolicy(Qt::NoContextMenu);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_view);

    connect(m_webPage, &WebPage::stateChanged, this, &WebBrowser::stateChanged);
    connect(m_webPage, &WebPage::printFinished, this, &WebBrowser::printFinished);
    m_webPage->setSystemPrinting([this](const QString &printer, std::function<void(bool, QString)> done) {
        m_printer = std::make_unique<QPrinter>(QPrinterInfo::printerInfo(printer), QPrinter::HighResolution);
        m_printer->setPageLayout(WebPage::sharedPageLayout());
        auto connection = std::make_shared<QMetaObject::Connection>();
        *connection = connect(m_view, &QWebEngineView::printFinished, this, [this, connection, done](bool ok) {
            disconnect(*connection);
            m_printer.reset();
            done(ok, ok ? QString() : QStringLiteral("The printer did not accept the page."));
        });
        m_view->print(m_printer.get());
    });
}

WebBrowser::~WebBrowser()
{
    // The view goes before the page it shows.
    delete m_view;
    m_view = nullptr;
}

void WebBrowser::setViewSize(const QSize &size)
{
    resize(size);
    m_view->resize(size);
}

bool WebBrowser::pageSetup()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setPageLayout(sharedPageLayout());
    QPageSetupDialog dialog(&printer, window());
    if (dialog.exec() != QDialog::Accepted)
        return false;
    setSharedPageLayout(printer.pageLayout());
    return true;
}

} // namespace larkspan
