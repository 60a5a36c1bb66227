#include "PdfOutline.h"

#include "PdfDestinations.h"

#include <set>

namespace larkspan::pdf {

namespace {

// Writes the entries as children of parent and returns how many entries are visible
// below it when it is open.
int WriteLevel(QPDF &document, QPDFObjectHandle parent, const std::vector<OutlineEntry> &entries)
{
    QPDFObjectHandle previous;
    int visible = 0;
    for (const OutlineEntry &entry : entries) {
        QPDFObjectHandle item = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
        item.replaceKey("/Title", QPDFObjectHandle::newUnicodeString(entry.title));
        item.replaceKey("/Parent", parent);
        if (QPDFObjectHandle(entry.destination).isArray())
            item.replaceKey("/Dest", entry.destination);
        if (previous.isInitialized()) {
            previous.replaceKey("/Next", item);
            item.replaceKey("/Prev", previous);
        } else {
            parent.replaceKey("/First", item);
        }
        parent.replaceKey("/Last", item);
        previous = item;
        ++visible;
        if (!entry.children.empty()) {
            const int below = WriteLevel(document, item, entry.children);
            item.replaceKey("/Count", QPDFObjectHandle::newInteger(below));
            visible += below;
        }
    }
    return visible;
}

void ReadLevel(QPDF &document, QPDFObjectHandle first, const std::function<QPDFObjectHandle(QPDFObjectHandle)> &map,
               std::vector<OutlineEntry> &into, std::set<QPDFObjGen> &seen, int &budget, int depth)
{
    for (QPDFObjectHandle item = first; item.isDictionary() && budget > 0; item = item.getKey("/Next")) {
        if (item.isIndirect() && !seen.insert(item.getObjGen()).second)
            break;
        --budget;
        OutlineEntry entry;
        QPDFObjectHandle title = item.getKey("/Title");
        entry.title = title.isString() ? title.getUTF8Value() : std::string();
        QPDFObjectHandle destination = DestinationOf(document, item);
        entry.destination = destination.isArray() ? map(destination) : QPDFObjectHandle::newNull();
        if (depth < 32)
            ReadLevel(document, item.getKey("/First"), map, entry.children, seen, budget, depth + 1);
        into.push_back(std::move(entry));
    }
}

} // namespace

void WriteOutline(QPDF &document, const std::vector<OutlineEntry> &entries)
{
    QPDFObjectHandle root = document.getRoot();
    if (entries.empty()) {
        root.removeKey("/Outlines");
        return;
    }
    QPDFObjectHandle outlines = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
    outlines.replaceKey("/Type", QPDFObjectHandle::newName("/Outlines"));
    outlines.replaceKey("/Count", QPDFObjectHandle::newInteger(WriteLevel(document, outlines, entries)));
    root.replaceKey("/Outlines", outlines);
    root.replaceKey("/PageMode", QPDFObjectHandle::newName("/UseOutlines"));
}

std::vector<OutlineEntry> ReadOutline(QPDF &document, const std::function<QPDFObjectHandle(QPDFObjectHandle)> &map,
                                      int maxEntries)
{
    std::vector<OutlineEntry> entries;
    QPDFObjectHandle outlines = document.getRoot().getKey("/Outlines");
    if (!outlines.isDictionary())
        return entries;
    std::set<QPDFObjGen> seen;
    int budget = maxEntries;
    ReadLevel(document, outlines.getKey("/First"), map, entries, seen, budget, 0);
    return entries;
}

} // namespace larkspan::pdf
