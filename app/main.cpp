#include "app/Form1.h"
#include "app/LarkspanApplication.h"
#include "messagelist/data/MessageStore.h"
#include "platform/widgets/QtDialogs.h"
#include "platform/core/TimeZoneRules.h"

#include <QIcon>

int main(int argc, char *argv[])
{
    larkspan::LoadTimeZoneRulesOnce();
    larkspan::LarkspanApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Larkspan"));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/larkspan/larkspan.png")));
    larkspan::InstallDialogs(larkspan::CreateQtDialogs());
    // Mail a run that died left in the cache goes before anything else.
    larkspan::MessageStore::sweepLeftovers();

    larkspan::Form1 form;
    // The load step's messages come before the window appears.
    form.Form_Load();
    form.show();
    return app.exec();
}
