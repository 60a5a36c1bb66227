// The previewed message's page.
#include "export/window/Form3.h"

#include "platform/core/ErrorReport.h"

#include <QCheckBox>

namespace larkspan {

void Form3::CreateHTMLFile()
{
    // Until this message's page is written whole there is none: nothing may show or
    // print the previous message in its place.
    HTMLFilePath.clear();
    try {
        const QString path = PageFilePath();
        WriteMessagePage(Records(CurrentIndex), PageOptions{PrintAsHTML, chkShowAttachments->isChecked()}, path);
        HTMLFilePath = path;
        PageFailure.clear();
    } catch (...) {
        PageFailure = DescribeException(std::current_exception());
        throw;
    }
}

} // namespace larkspan
