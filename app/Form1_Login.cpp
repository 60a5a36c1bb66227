// The login group's handlers: the remembered sign-in follows every change of the
// fields and check boxes, whether the user or the program made it.
#include "app/Form1.h"

#include "messagelist/windows/ListCounters.h"
#include "platform/core/AppError.h"
#include "platform/core/ErrorReport.h"
#include "platform/widgets/ProgressBar.h"
#include "platform/core/SettingsStore.h"
#include "platform/keyring/RememberedPassword.h"

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLineEdit>
#include <QTimer>

namespace larkspan {

void Form1::setCheckValue(QCheckBox *box, int value, void (Form1::*handler)())
{
    switch (value) {
    case 0: box->setCheckState(Qt::Unchecked); break;
    case 1: box->setCheckState(Qt::Checked); break;
    case 2: box->setCheckState(Qt::PartiallyChecked); break;
    default: throw AppError(ErrorCode::InvalidPropertyValue);
    }
    // A check box set by the program is clicked as if by the user.
    (this->*handler)();
}

void Form1::setFieldText(QLineEdit *field, const QString &text)
{
    // Assigning the text a field already holds changes nothing, so nothing is written.
    field->setText(text);
}

void Form1::setStatus(const QString &text)
{
    ProgressBar1->setText(text);
}

void Form1::Check1_Click()
{
    ErrorTrap trap("Form1", "Check1_Click", __LINE__);
    trap.step(__LINE__, [&] {
        WriteSetting(QStringLiteral("StayConnected"),
                     Check1->checkState() == Qt::Checked ? QStringLiteral("1") : QStringLiteral("0"));
    });
    trap.step(__LINE__, [&] { Check2->setEnabled(Check1->checkState() == Qt::Checked); });
}

void Form1::Check2_Click()
{
    ErrorTrap trap("Form1", "Check2_Click", __LINE__);
    trap.step(__LINE__, [&] {
        WriteSetting(QStringLiteral("AutoConnect"),
                     Check2->checkState() == Qt::Checked ? QStringLiteral("1") : QStringLiteral("0"));
    });
}

void Form1::Combo2_Click()
{
    ErrorTrap trap("Form1", "Combo2_Click", __LINE__);
    // The place kept is a server folder's; the folders of mail on the disk are not kept.
    trap.step(__LINE__, [&] {
        if (m_context.localPaths.isEmpty())
            WriteSetting(QStringLiteral("Combo2"), QString::number(Combo2->currentIndex()));
    });
}

void Form1::Text1_Change()
{
    ErrorTrap trap("Form1", "Text1_Change", __LINE__);
    trap.step(__LINE__, [&] { WriteSetting(QStringLiteral("User"), Text1->text()); });
}

void Form1::Text2_Change()
{
    ErrorTrap trap("Form1", "Text2_Change", __LINE__);
    trap.step(__LINE__, [&] {
        // Into the keyring when one answers, else the settings file.
        QString problem;
        if (!WriteRememberedPassword(Text2->text(), &problem))
            tellKeyringProblemOnce(problem);
    });
}

void Form1::Text1_GotFocus()
{
    ErrorTrap trap("Form1", "Text1_GotFocus", __LINE__);
    trap.step(__LINE__, [&] { Text1->setSelection(0, static_cast<int>(Text1->text().size())); });
}

void Form1::Text2_GotFocus()
{
    ErrorTrap trap("Form1", "Text2_GotFocus", __LINE__);
    trap.step(__LINE__, [&] { Text2->setSelection(0, static_cast<int>(Text2->text().size())); });
}

void Form1::ListView1_ItemCheck(int row)
{
    ErrorTrap trap("Form1", "ListView1_ItemCheck", __LINE__);
    trap.step(__LINE__, [&] { m_counters->ItemCheck(row); });
}

bool Form1::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::FocusIn && (watched == Text1 || watched == Text2)) {
        // After the field's own focus handling, which a mouse click would follow by
        // placing the cursor and dropping any selection.
        const bool user = watched == Text1;
        QTimer::singleShot(0, this, [this, user] { user ? Text1_GotFocus() : Text2_GotFocus(); });
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace larkspan
