#pragma once

#include "PdfPageTree.h"
#include "PdfQpdf.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace larkspan::pdf {

// A PDF document received from outside, opened for appending: its pages up to a
// limit, or why it cannot be appended.
struct SourceDocument {
    std::unique_ptr<QPDF> pdf;
    PageWalk walk;
    QString reason; // empty: walk.pages may be appended
};

// Opens the bytes (which must outlive the result) without a password: a document
// that needs one, is damaged (qpdf had to repair it), or has no page is refused with
// the reason in words. With pageLimit 0, a readable document comes without pages and
// without a reason (walk.more tells that it has pages).
SourceDocument OpenSourceDocument(const QByteArray &bytes, int pageLimit, bool resolveInherited);

// The limit's reason, for a document that came after the limit was reached.
QString PageLimitReason(int limit);

} // namespace larkspan::pdf
