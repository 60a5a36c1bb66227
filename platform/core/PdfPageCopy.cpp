#include "PdfPageCopy.h"

#include "PdfDestinations.h"
#include "PdfPageTree.h"

#include <qpdf/QPDFPageDocumentHelper.hh>

#include <set>
#include <stdexcept>

namespace larkspan::pdf {

namespace {

// Every action type of the PDF format; a dictionary whose /S is one of these is an
// action (other dictionaries use /S too: groups, borders, soft masks, labels).
const std::set<std::string> kActionTypes = {
    "/GoTo",       "/GoToR",     "/GoToE",     "/GoToDp",         "/Launch", "/Thread",       "/URI",
    "/Sound",      "/Movie",     "/Hide",      "/Named",          "/SubmitForm", "/ResetForm", "/ImportData",
    "/SetOCGState", "/Rendition", "/Trans",    "/GoTo3DView",     "/JavaScript", "/RichMediaExecute"};

// Keys that hold scripts or actions run on events, wherever they appear.
const std::set<std::string> kActiveKeys = {"/AA", "/OpenAction", "/JS", "/JavaScript", "/XFA"};

// What a page keeps: its look, nothing that ties it to its old document.
const std::set<std::string> kPageKeys = {"/Type",    "/MediaBox", "/CropBox",  "/BleedBox", "/TrimBox",
                                         "/ArtBox",  "/Rotate",   "/Resources", "/Contents", "/Group",
                                         "/UserUnit", "/Annots"};

// Annotations that play media, run 3D scenes or hand out files of the old document.
const std::set<std::string> kDroppedAnnotations = {"/Screen",   "/Movie",          "/Sound", "/RichMedia",
                                                   "/3D",       "/FileAttachment"};

bool IsAction(QPDFObjectHandle object)
{
    if (!object.isDictionary())
        return false;
    if (object.hasKey("/JS") || object.getKey("/Type").isNameAndEquals("/Action"))
        return true;
    QPDFObjectHandle type = object.getKey("/S");
    return type.isName() && kActionTypes.count(type.getName()) > 0;
}

bool IsSafeAddress(const std::string &uri)
{
    const QString address = FromUtf8(uri).trimmed().toLower();
    return address.startsWith(QLatin1String("http://")) || address.startsWith(QLatin1String("https://")) ||
           address.startsWith(QLatin1String("mailto:"));
}

class Scrubber {
public:
    explicit Scrubber(const std::vector<QPDFObjectHandle> &pages)
    {
        for (QPDFObjectHandle page : pages)
            m_pages.insert(page.getObjGen());
    }

    void scrub(QPDFObjectHandle page)
    {
        m_visited.insert(page.getObjGen());
        enter(page);
        while (!m_stack.empty()) {
            Frame &top = m_stack.back();
            if (top.next >= top.size) {
                m_stack.pop_back();
                continue;
            }
            const std::size_t at = top.next++;
            QPDFObjectHandle container = top.container;
            if (container.isArray()) {
                QPDFObjectHandle item = container.getArrayItem(int(at));
                switch (fate(std::string(), item)) {
                case Fate::Drop: container.setArrayItem(int(at), QPDFObjectHandle::newNull()); break;
                case Fate::Enter: enter(item); break;
                case Fate::Keep: break;
                }
            } else {
                const std::string &key = top.keys[at];
                QPDFObjectHandle value = container.getKey(key);
                switch (fate(key, value)) {
                case Fate::Drop: container.removeKey(key); break;
                case Fate::Enter: enter(value); break;
                case Fate::Keep: break;
                }
            }
        }
    }

private:
    enum class Fate { Keep, Drop, Enter };
    struct Frame {
        QPDFObjectHandle container; // a dictionary (a stream's too) or an array
        std::vector<std::string> keys;
        std::size_t size = 0;
        std::size_t next = 0;
    };

    void enter(QPDFObjectHandle object)
    {
        if (int(m_stack.size()) >= kMaxNesting)
            throw std::runtime_error("the document's objects are nested too deeply");
        Frame frame;
        frame.container = object.isStream() ? object.getDict() : object;
        if (frame.container.isArray()) {
            frame.size = std::size_t(frame.container.getArrayNItems());
        } else if (frame.container.isDictionary()) {
            const std::set<std::string> keys = frame.container.getKeys();
            frame.keys.assign(keys.begin(), keys.end());
            frame.size = frame.keys.size();
        }
        m_stack.push_back(std::move(frame));
    }

    bool isOwnPage(QPDFObjectHandle object) const
    {
        return object.isIndirect() && m_pages.count(object.getObjGen()) > 0;
    }

    bool isSafeAction(QPDFObjectHandle action)
    {
        QPDFObjectHandle type = action.getKey("/S");
        bool safe = false;
        if (type.isNameAndEquals("/URI"))
            safe = action.getKey("/URI").isString() && IsSafeAddress(action.getKey("/URI").getUTF8Value()) &&
                   !action.hasKey("/JS");
        else if (type.isNameAndEquals("/GoTo"))
            safe = isOwnDestination(action.getKey("/D")) && !action.hasKey("/JS");
        if (safe)
            action.removeKey("/Next"); // what follows a safe action may not be
        return safe;
    }

    bool isOwnDestination(QPDFObjectHandle destination) const
    {
        return destination.isArray() && destination.getArrayNItems() > 0 && isOwnPage(destination.getArrayItem(0));
    }

    Fate fate(const std::string &key, QPDFObjectHandle value)
    {
        if (kActiveKeys.count(key))
            return Fate::Drop;
        if (key == "/Dest")
            return isOwnDestination(value) ? Fate::Keep : Fate::Drop;
        if (IsAction(value))
            return isSafeAction(value) ? Fate::Keep : Fate::Drop;
        if (value.isIndirect()) {
            if (isOwnPage(value))
                return Fate::Keep; // referred to, entered as a page of its own
            if (value.isDictionary()) {
                QPDFObjectHandle type = value.getKey("/Type");
                if (type.isNameAndEquals("/Page") || type.isNameAndEquals("/Pages") ||
                    type.isNameAndEquals("/Catalog") || (value.hasKey("/Kids") && value.hasKey("/Count")))
                    return Fate::Drop;
            }
            if (!value.isDictionary() && !value.isArray() && !value.isStream())
                return Fate::Keep;
            return m_visited.insert(value.getObjGen()).second ? Fate::Enter : Fate::Keep;
        }
        return value.isDictionary() || value.isArray() ? Fate::Enter : Fate::Keep;
    }

    std::set<QPDFObjGen> m_pages;
    std::set<QPDFObjGen> m_visited;
    std::vector<Frame> m_stack;
};

QPDFObjectHandle InertAnnotations(QPDF &source, QPDFObjectHandle annotations)
{
    QPDFObjectHandle kept = QPDFObjectHandle::newArray();
    if (!annotations.isArray())
        return kept;
    for (int i = 0; i < annotations.getArrayNItems(); ++i) {
        QPDFObjectHandle annotation = annotations.getArrayItem(i);
        if (!annotation.isDictionary())
            continue;
        QPDFObjectHandle subtype = annotation.getKey("/Subtype");
        if (subtype.isName() && kDroppedAnnotations.count(subtype.getName()))
            continue;
        if (subtype.isNameAndEquals("/Widget")) {
            // The field it belongs to reaches every other widget of the form, on
            // every page, with the form's scripts.
            annotation.removeKey("/Parent");
            annotation.removeKey("/Kids");
        }
        MakeDestinationExplicit(source, annotation);
        kept.appendItem(annotation);
    }
    return kept;
}

} // namespace

void RemoveActiveContent(QPDF &source, const std::vector<QPDFObjectHandle> &pages)
{
    for (QPDFObjectHandle page : pages) {
        for (const std::string &key : page.getKeys())
            if (!kPageKeys.count(key))
                page.removeKey(key);
        if (page.hasKey("/Annots"))
            page.replaceKey("/Annots", InertAnnotations(source, page.getKey("/Annots")));
    }
    Scrubber scrubber(pages);
    for (QPDFObjectHandle page : pages)
        scrubber.scrub(page);
}

std::vector<QPDFObjectHandle> CopyPages(QPDF &target, QPDF &source, const std::vector<QPDFObjectHandle> &pages)
{
    ReplacePageTree(source, pages);

    // qpdf maps a reference to a page only to a copy made before it, so the pages go
    // first and their annotations (the links between them) after.
    std::vector<QPDFObjectHandle> annotations;
    annotations.reserve(pages.size());
    for (QPDFObjectHandle page : pages) {
        annotations.push_back(page.getKey("/Annots"));
        page.removeKey("/Annots");
    }

    QPDFPageDocumentHelper targetPages(target);
    std::vector<QPDFObjectHandle> copies;
    copies.reserve(pages.size());
    for (const QPDFObjectHandle &page : pages) {
        QPDFObjectHandle copy = target.copyForeignObject(page);
        targetPages.addPage(QPDFPageObjectHelper(copy), false);
        copies.push_back(copy);
    }
    for (std::size_t i = 0; i < pages.size(); ++i) {
        QPDFObjectHandle list = annotations[i];
        if (!list.isArray())
            continue;
        // One by one: copying the list as a whole would need it to be an object of
        // its own in source, and making one has qpdf read all of source's objects. An
        // annotation is always an object of its own; one that is not is left out.
        QPDFObjectHandle copied = QPDFObjectHandle::newArray();
        for (int k = 0; k < list.getArrayNItems(); ++k) {
            QPDFObjectHandle annotation = list.getArrayItem(k);
            if (annotation.isIndirect() && annotation.isDictionary())
                copied.appendItem(target.copyForeignObject(annotation));
        }
        copies[i].replaceKey("/Annots", copied);
    }
    return copies;
}

} // namespace larkspan::pdf
