// Start-up and shut-down of the main window.
#include "app/Form1.h"

#include "mail/ImapClient.h"
#include "messagelist/windows/ListCounters.h"
#include "platform/widgets/Appearance.h"
#include "platform/core/ConnectivityProbe.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/HandCursor.h"
#include "platform/widgets/ListView.h"
#include "platform/web/PdfWriterName.h"
#include "platform/core/SettingsStore.h"
#include "platform/keyring/RememberedPassword.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace larkspan {

void Form1::Form_Load()
{
    ErrorTrap trap("Form1", "Form_Load", __LINE__);
    if (m_loaded)
        return;
    m_loaded = true;

    trap.step(__LINE__, [&] { ProbeConnectivity(); });
    trap.step(__LINE__, [&] { ApplySkin(this); });
    trap.step(__LINE__, [&] {
        setWindowTitle(QStringLiteral("Larkspan"));
        setWindowIcon(QIcon(QStringLiteral(":/larkspan/larkspan.png")));
    });
    trap.step(__LINE__, [&] { SetAppTitle(ShortenedAppTitle(QStringLiteral("Larkspan"))); });
    trap.step(__LINE__, [&] { LoadHandCursor(*m_pointer); });
    trap.step(__LINE__, [&] {
        ListView1->clearColumns();
        ListView1->addColumn(QStringLiteral("From"), 1300);
        ListView1->addColumn(QStringLiteral("From Name"), 1300);
        ListView1->addColumn(QStringLiteral("From Address"), 1600);
        ListView1->addColumn(QStringLiteral("Subject"), 1600);
        ListView1->addColumn(QStringLiteral("Received Date"), 1600);
        ListView1->addColumn(QStringLiteral("RecDate"), 0);
        ListView1->clearItems();
        ListView1->refresh();
    });
    trap.step(__LINE__, [&] {
        m_imapComponent = new ImapClient(this);
        m_context.imapComponent = m_imapComponent;
    });
    trap.step(__LINE__, [&] {
        if (ToInteger(ReadSetting(QStringLiteral("StayConnected"), QStringLiteral("0"))) != 0) {
            setCheckValue(Check1, 1, &Form1::Check1_Click);
            fillRememberedLogin();
        } else {
            // Moved into the keyring even when it is not put back into the fields.
            QString problem;
            if (!MoveRememberedPasswordToKeyring(&problem))
                tellKeyringProblemOnce(problem);
            setCheckValue(Check1, 0, &Form1::Check1_Click);
            setFieldText(Text1, QString());
            setFieldText(Text2, QString());
        }
    });
    trap.step(__LINE__, [&] { m_counters->RefreshCounters(false); });
    trap.step(__LINE__, [&] { m_counters->AccumulateChecks = false; });
    trap.step(__LINE__, [&] {
        for (QLabel *label : {Label1, Label2}) {
            label->setAutoFillBackground(true);
            QPalette palette = label->palette();
            palette.setColor(QPalette::Window, QColor(255, 255, 255));
            label->setPalette(palette);
            // A skin style sheet would otherwise paint over the palette.
            label->setStyleSheet(QStringLiteral("background-color: rgb(255, 255, 255);"));
        }
    });
    trap.step(__LINE__, [&] { Check2->setEnabled(Check1->checkState() == Qt::Checked); });
    trap.step(__LINE__, [&] { Label3->setText(QStringLiteral("No Character Filter set")); });
    trap.step(__LINE__, [&] {
        setCheckValue(Check2, ToInteger(ReadSetting(QStringLiteral("AutoConnect"), QStringLiteral("0"))),
                      &Form1::Check2_Click);
    });
    // Auto-connect goes by the box's value alone, enabled or not.
    trap.step(__LINE__, [&] {
        if (Check2->checkState() == Qt::Checked)
            PushButton1_Click();
    });
    trap.step(__LINE__, [&] { CheckPdfPrinter(); });
    trap.step(__LINE__, [&] { m_savedDefaultPrinter = RememberDefaultPrinter(); });
    trap.step(__LINE__, [&] { SetDefaultPrinter(PdfWriterDeviceName(), false); });
}

void Form1::Form_QueryUnload()
{
    ErrorTrap trap("Form1", "Form_QueryUnload", __LINE__);
    trap.step(__LINE__, [&] { RestoreDefaultPrinter(m_savedDefaultPrinter); });
}

void Form1::Form_Unload()
{
    if (m_ending)
        return;
    m_ending = true;
    if (m_programEnd)
        m_programEnd();
}

void Form1::closeEvent(QCloseEvent *event)
{
    // Closing is never refused.
    event->accept();
    if (m_ending)
        return;
    Form_QueryUnload();
    Form_Unload();
}

} // namespace larkspan
