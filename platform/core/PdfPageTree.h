#pragma once

#include "PdfQpdf.h"

#include <vector>

namespace larkspan::pdf {

struct PageWalk {
    std::vector<QPDFObjectHandle> pages; // in reading order, each at most once
    bool more = false;                   // the tree holds pages beyond the limit
};

// The document's pages up to limit, found without qpdf's own page list: that one
// visits every page (a document may have 100,000) and stops at the first loop with
// an error. This walk goes without recursion, visits each node once (a node reached
// again is skipped, so a tree that loops ends), stops after limit pages, and ignores
// what is not a dictionary. With resolveInherited, each returned page is given the
// attributes it inherits from the nodes above it (MediaBox, CropBox, Rotate,
// Resources), so that it keeps its size and orientation once it leaves its tree.
PageWalk WalkPages(QPDF &document, int limit, bool resolveInherited);

// Points the document's page tree at exactly these pages, in this order, in one flat
// node. qpdf lists a document's pages before it copies any of its objects; after this
// that list is short and cannot loop, whatever the original tree was.
void ReplacePageTree(QPDF &document, const std::vector<QPDFObjectHandle> &pages);

} // namespace larkspan::pdf
