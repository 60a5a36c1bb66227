#include "PdfPageTree.h"

#include <set>

namespace larkspan::pdf {

namespace {

const char *const kInheritable[] = {"/MediaBox", "/CropBox", "/Rotate", "/Resources"};

struct Inherited {
    QPDFObjectHandle values[4];
};

bool IsRectangle(QPDFObjectHandle box)
{
    if (!box.isArray() || box.getArrayNItems() != 4)
        return false;
    for (int i = 0; i < 4; ++i)
        if (!box.getArrayItem(i).isNumber())
            return false;
    return true;
}

void GiveInherited(QPDFObjectHandle page, const Inherited &inherited)
{
    for (int i = 0; i < 4; ++i)
        if (!page.hasKey(kInheritable[i]) && !QPDFObjectHandle(inherited.values[i]).isNull())
            page.replaceKey(kInheritable[i], inherited.values[i]);
    // A page without a usable size is shown at US Letter, as readers do.
    if (!IsRectangle(page.getKey("/MediaBox")))
        page.replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 612 792]"));
    if (page.hasKey("/CropBox") && !IsRectangle(page.getKey("/CropBox")))
        page.removeKey("/CropBox");
    QPDFObjectHandle rotate = page.getKey("/Rotate");
    if (page.hasKey("/Rotate") && (!rotate.isInteger() || rotate.getIntValue() % 90 != 0))
        page.removeKey("/Rotate");
    if (!page.getKey("/Resources").isDictionary())
        page.replaceKey("/Resources", QPDFObjectHandle::newDictionary());
}

} // namespace

PageWalk WalkPages(QPDF &document, int limit, bool resolveInherited)
{
    PageWalk walk;
    QPDFObjectHandle root = document.getRoot().getKey("/Pages");
    if (!root.isDictionary())
        return walk;

    struct Frame {
        QPDFObjectHandle kids;
        int next = 0;
        Inherited inherited;
    };
    std::set<QPDFObjGen> seen;
    std::vector<Frame> stack;

    auto enter = [&](QPDFObjectHandle node, const Inherited &above) {
        if (node.isIndirect() && !seen.insert(node.getObjGen()).second)
            return; // reached again: a loop or a page listed twice
        if (!node.isDictionary())
            return;
        QPDFObjectHandle kids = node.getKey("/Kids");
        const bool isPage = node.getKey("/Type").isNameAndEquals("/Page");
        if (node.getKey("/Type").isNameAndEquals("/Pages") || (kids.isArray() && !isPage)) {
            if (!kids.isArray() || int(stack.size()) >= kMaxNesting)
                return;
            Frame frame{kids, 0, above};
            for (int i = 0; i < 4; ++i)
                if (node.hasKey(kInheritable[i]))
                    frame.inherited.values[i] = node.getKey(kInheritable[i]);
            // Marked as what it is, as qpdf would on its own walk.
            if (!node.getKey("/Type").isNameAndEquals("/Pages"))
                node.replaceKey("/Type", QPDFObjectHandle::newName("/Pages"));
            stack.push_back(frame);
            return;
        }
        if (int(walk.pages.size()) >= limit) {
            walk.more = true;
            return;
        }
        if (!node.isIndirect())
            return; // a page is always an object of its own; a direct one cannot be referred to
        if (!isPage)
            node.replaceKey("/Type", QPDFObjectHandle::newName("/Page"));
        if (resolveInherited)
            GiveInherited(node, above);
        walk.pages.push_back(node);
    };

    enter(root, Inherited());
    while (!stack.empty() && !walk.more) {
        Frame &top = stack.back();
        if (top.next >= top.kids.getArrayNItems()) {
            stack.pop_back();
            continue;
        }
        QPDFObjectHandle kid = top.kids.getArrayItem(top.next++);
        const Inherited inherited = top.inherited; // enter() may grow the stack
        enter(kid, inherited);
    }
    return walk;
}

void ReplacePageTree(QPDF &document, const std::vector<QPDFObjectHandle> &pages)
{
    // The root node is reused: making a new object would have qpdf read every object
    // of the document first (100,000 pages' worth, for some).
    QPDFObjectHandle node = document.getRoot().getKey("/Pages");
    if (!node.isIndirect() || !node.isDictionary()) {
        node = document.makeIndirectObject(QPDFObjectHandle::newDictionary());
        document.getRoot().replaceKey("/Pages", node);
    }
    for (const std::string &key : node.getKeys())
        node.removeKey(key); // inherited attributes went to the pages
    QPDFObjectHandle kids = QPDFObjectHandle::newArray();
    for (QPDFObjectHandle page : pages) {
        kids.appendItem(page);
        page.replaceKey("/Parent", node);
    }
    node.replaceKey("/Type", QPDFObjectHandle::newName("/Pages"));
    node.replaceKey("/Kids", kids);
    node.replaceKey("/Count", QPDFObjectHandle::newInteger(qlonglong(pages.size())));
    document.updateAllPagesCache();
}

} // namespace larkspan::pdf
