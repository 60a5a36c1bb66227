#include "messagelist/windows/Form2.h"
#include "messagelist/windows/RetrievalRun.h"

#include "mail/clsChilkatIMAP.h"
#include "messagelist/data/LeadingNumber.h"
#include "messagelist/data/MessageRecord.h"
#include "messagelist/windows/SecondaryWindowLook.h"
#include "platform/core/AppError.h"
#include "platform/core/Dialogs.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ListView.h"
#include "platform/core/SettingsStore.h"
#include "platform/widgets/WindowPointer.h"
#include "platform/core/Yield.h"

#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <climits>

namespace larkspan {

namespace {

int ToRoundedInt(double value)
{
    const double rounded = RoundHalfEven(value);
    if (rounded < double(INT_MIN) || rounded > double(INT_MAX))
        throw AppError(ErrorCode::Overflow);
    return static_cast<int>(rounded);
}

} // namespace

Form2 &Form2Instance()
{
    static Form2 instance;
    return instance;
}

void Form2::Show(QWidget *owner)
{
    Form_Load(owner);
    QPointer<QDialog> dialog = m_window;
    if (dialog)
        dialog->exec();
    Form_Unload();
}

void Form2::Form_Load(QWidget *owner)
{
    auto *dialog = new QDialog(owner);
    m_window = dialog;
    dialog->setAttribute(Qt::WA_DeleteOnClose, false);
    dialog->setWindowTitle(QStringLiteral("Get Some Emails"));
    dialog->setWindowModality(Qt::ApplicationModal);
    m_pointer = new WindowPointer(dialog);

    Label1[0] = new QLabel(QStringLiteral("From:"), dialog);
    Text1[0] = new QLineEdit(QStringLiteral("1"), dialog);
    Label1[1] = new QLabel(QStringLiteral("To (Max of 0):"), dialog);
    Text1[1] = new QLineEdit(QStringLiteral("1"), dialog);
    PushButton1 = new QPushButton(QStringLiteral("Continue"), dialog);
    Command1 = new QPushButton(QStringLiteral("Command1"), dialog);
    PlaceTwips(Label1[0], 120, 120, 1860, 255);
    PlaceTwips(Text1[0], 120, 420, 1860, 375);
    PlaceTwips(Label1[1], 2220, 120, 1860, 255);
    PlaceTwips(Text1[1], 2220, 420, 1860, 375);
    PlaceTwips(PushButton1, 120, 1080, 3960, 735);
    // Just below the visible client area: only the keyboard (Enter) reaches it.
    PlaceTwips(Command1, 120, 2100, 1215, 375);
    Command1->setDefault(true);
    // Enter reaches it as the default button; Tab need not stop at a button nobody sees.
    Command1->setFocusPolicy(Qt::NoFocus);
    PushButton1->setAutoDefault(false);
    // Each box is named after the label above it.
    Label1[0]->setBuddy(Text1[0]);
    Label1[1]->setBuddy(Text1[1]);
    dialog->setFixedSize(TwipsToPixels(4200, dialog), TwipsToPixels(2040, dialog));

    QObject::connect(PushButton1, &QPushButton::clicked, dialog, [this] { PushButton1_Click(); });
    QObject::connect(Command1, &QPushButton::clicked, dialog, [this] { Command1_Click(); });

    ErrorTrap trap("Form2", "Form_Load", __LINE__);
    trap.step(__LINE__, [&] { ApplySecondaryWindowLook(dialog, m_pointer); });
    RangeAccepted = false;
    trap.step(__LINE__, [&] { Text1[1]->setText(QString::number(m_maxMessage)); });
    trap.step(__LINE__, [&] {
        Label1[1]->setText(QStringLiteral("To (Max of ") + QString::number(m_maxMessage) + QStringLiteral(")"));
    });
    trap.step(__LINE__, [&] {
        QWidget::setTabOrder(Text1[1], Text1[0]);
        QWidget::setTabOrder(Text1[0], PushButton1);
        Text1[1]->setFocus();
        Text1[1]->selectAll();
    });
}

void Form2::PushButton1_Click()
{
    ErrorTrap trap("Form2", "PushButton1_Click", __LINE__);
    QPointer<QDialog> dialog = m_window;
    YieldToEventLoop();
    if (!dialog)
        return;
    bool invalid = false;
    double from = 0;
    double to = 0;
    trap.step(__LINE__, [&] {
        from = LeadingNumber(Text1[0]->text());
        if (!(from > 0)) {
            MsgBox(QStringLiteral("Please input a value greater than zero."), dialog);
            invalid = true;
        }
    });
    if (invalid)
        return;
    trap.step(__LINE__, [&] {
        to = LeadingNumber(Text1[1]->text());
        if (to <= 0 || to > m_maxMessage) {
            MsgBox(QStringLiteral("Please input max value greater than 0 and less than or equal to ") +
                       QString::number(m_maxMessage),
                   dialog);
            invalid = true;
        }
    });
    if (invalid)
        return;
    trap.step(__LINE__, [&] {
        if (!m_chilkatIMAP)
            throw AppError(ErrorCode::ObjectNotSet);
        m_chilkatIMAP->CurrentLocation = ToRoundedInt(from);
    });
    trap.step(__LINE__, [&] {
        if (!m_chilkatIMAP)
            throw AppError(ErrorCode::ObjectNotSet);
        m_chilkatIMAP->MaxRecord = ToRoundedInt(to);
    });
    RangeAccepted = true;
    if (dialog)
        dialog->accept();
}

void Form2::Command1_Click()
{
    PushButton1_Click();
}

void Form2::Form_Unload()
{
    SkipDoneMessage = true;
    if (m_window)
        m_window->deleteLater();
    m_window = nullptr;
    m_pointer = nullptr;
    Label1[0] = Label1[1] = nullptr;
    Text1[0] = Text1[1] = nullptr;
    PushButton1 = Command1 = nullptr;
}

} // namespace larkspan
