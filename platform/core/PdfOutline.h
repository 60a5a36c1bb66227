#pragma once

#include "PdfQpdf.h"

#include <functional>
#include <string>
#include <vector>

namespace larkspan::pdf {

// One entry of a document's outline (its bookmarks) and the entries under it.
struct OutlineEntry {
    std::string title; // UTF-8
    QPDFObjectHandle destination; // explicit, with a page of the document
    std::vector<OutlineEntry> children;
};

// Gives the document this outline in place of any it had, entries with children
// shown open, and asks readers to show it when the document opens.
void WriteOutline(QPDF &document, const std::vector<OutlineEntry> &entries);

// The document's outline, each destination passed through map (which may return null:
// the entry keeps its place and its children but leads nowhere). Reads at most
// maxEntries entries and follows no loop.
std::vector<OutlineEntry> ReadOutline(QPDF &document,
                                      const std::function<QPDFObjectHandle(QPDFObjectHandle)> &map,
                                      int maxEntries = 10000);

} // namespace larkspan::pdf
