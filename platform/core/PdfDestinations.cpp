#include "PdfDestinations.h"

#include <qpdf/QPDFNameTreeObjectHelper.hh>

namespace larkspan::pdf {

QPDFObjectHandle ExplicitDestination(QPDF &document, QPDFObjectHandle destination)
{
    // A named destination may stand for a dictionary whose /D is the destination; the
    // chain is followed a few steps at most.
    for (int step = 0; step < 4; ++step) {
        if (destination.isArray())
            return destination.getArrayNItems() > 0 ? destination : QPDFObjectHandle::newNull();
        if (destination.isDictionary()) {
            destination = destination.getKey("/D");
            continue;
        }
        QPDFObjectHandle root = document.getRoot();
        if (destination.isName()) {
            QPDFObjectHandle dests = root.getKey("/Dests");
            destination = dests.isDictionary() ? dests.getKey(destination.getName()) : QPDFObjectHandle::newNull();
            continue;
        }
        if (destination.isString()) {
            QPDFObjectHandle tree = root.getKey("/Names").isDictionary() ? root.getKey("/Names").getKey("/Dests")
                                                                        : QPDFObjectHandle::newNull();
            QPDFObjectHandle found;
            if (tree.isDictionary() && QPDFNameTreeObjectHelper(tree, document, false)
                                           .findObject(destination.getUTF8Value(), found))
                destination = found;
            else
                destination = QPDFObjectHandle::newNull();
            continue;
        }
        break;
    }
    return QPDFObjectHandle::newNull();
}

QPDFObjectHandle DestinationOf(QPDF &document, QPDFObjectHandle item)
{
    if (!item.isDictionary())
        return QPDFObjectHandle::newNull();
    if (item.hasKey("/Dest"))
        return ExplicitDestination(document, item.getKey("/Dest"));
    QPDFObjectHandle action = item.getKey("/A");
    if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo"))
        return ExplicitDestination(document, action.getKey("/D"));
    return QPDFObjectHandle::newNull();
}

void MakeDestinationExplicit(QPDF &document, QPDFObjectHandle annotation)
{
    if (!annotation.isDictionary())
        return;
    QPDFObjectHandle dest = annotation.getKey("/Dest");
    if (dest.isName() || dest.isString() || dest.isDictionary()) {
        QPDFObjectHandle target = ExplicitDestination(document, dest);
        if (target.isArray())
            annotation.replaceKey("/Dest", target);
        else
            annotation.removeKey("/Dest");
    }
    QPDFObjectHandle action = annotation.getKey("/A");
    if (action.isDictionary() && action.getKey("/S").isNameAndEquals("/GoTo")) {
        QPDFObjectHandle d = action.getKey("/D");
        if (d.isName() || d.isString() || d.isDictionary()) {
            QPDFObjectHandle target = ExplicitDestination(document, d);
            if (target.isArray())
                action.replaceKey("/D", target);
            else
                annotation.removeKey("/A");
        }
    }
}

QPDFObjectHandle WholePage(QPDFObjectHandle page)
{
    QPDFObjectHandle dest = QPDFObjectHandle::newArray();
    dest.appendItem(page);
    dest.appendItem(QPDFObjectHandle::newName("/Fit"));
    return dest;
}

} // namespace larkspan::pdf
