#include "PdfSourceDocument.h"

#include <qpdf/QPDFExc.hh>

namespace larkspan::pdf {

namespace {

QString Detail(const QPDFExc &error)
{
    const QString detail = FromUtf8(error.getMessageDetail());
    return detail.isEmpty() ? FromUtf8(error.what()) : detail;
}

} // namespace

QString PageLimitReason(int limit)
{
    return QStringLiteral("the limit of %L1 appended pages is reached").arg(limit);
}

SourceDocument OpenSourceDocument(const QByteArray &bytes, int pageLimit, bool resolveInherited)
{
    SourceDocument source;
    try {
        source.pdf = std::make_unique<QPDF>();
        source.pdf->setSuppressWarnings(true);
        source.pdf->processMemoryFile("attached document", bytes.constData(), size_t(bytes.size()));
        source.walk = WalkPages(*source.pdf, std::max(pageLimit, 0), resolveInherited);
        if (source.pdf->anyWarnings()) {
            const std::vector<QPDFExc> warnings = source.pdf->getWarnings();
            source.reason = QStringLiteral("the document is damaged (%1)").arg(Detail(warnings.front()));
        } else if (source.walk.pages.empty() && !source.walk.more) {
            source.reason = QStringLiteral("the document has no pages");
        }
    } catch (const QPDFExc &error) {
        switch (error.getErrorCode()) {
        case qpdf_e_password:
            source.reason = QStringLiteral("the document needs a password");
            break;
        case qpdf_e_unsupported:
            source.reason = QStringLiteral("the document is locked in a way that cannot be opened (%1)").arg(Detail(error));
            break;
        default:
            source.reason = QStringLiteral("the document is damaged (%1)").arg(Detail(error));
        }
    } catch (const std::exception &error) {
        source.reason = QStringLiteral("the document cannot be read (%1)").arg(QString::fromLocal8Bit(error.what()));
    }
    if (!source.reason.isEmpty())
        source.walk = PageWalk();
    return source;
}

} // namespace larkspan::pdf
