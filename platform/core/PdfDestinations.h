#pragma once

#include "PdfQpdf.h"

namespace larkspan::pdf {

// The explicit destination ([page /XYZ ...], [page /Fit], ...) that a destination
// stands for: an explicit one as it is, a named one (a name, looked up in the
// catalog's /Dests, or a string, looked up in the /Dests name tree) resolved, a
// dictionary's /D taken. Null when there is none.
QPDFObjectHandle ExplicitDestination(QPDF &document, QPDFObjectHandle destination);

// The destination an outline item or link annotation leads to: its /Dest, or the /D of
// its GoTo action; null when it leads nowhere within the document.
QPDFObjectHandle DestinationOf(QPDF &document, QPDFObjectHandle item);

// Links of the annotation that go to a named destination are made to go to the
// explicit one instead, so that the link survives being copied into another document
// (which has other names, or none). A name that is not found leaves the link without a
// destination.
void MakeDestinationExplicit(QPDF &document, QPDFObjectHandle annotation);

// [page /Fit]: the whole page.
QPDFObjectHandle WholePage(QPDFObjectHandle page);

} // namespace larkspan::pdf
