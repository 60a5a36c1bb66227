// A screen-reader user and a keyboard user: names that say what the windows show,
// Tab in layout order, Enter and Space on buttons, message and input boxes that read
// out their text.
#include "app/Form1.h"
#include "messagelist/windows/ListCounters.h"
#include "platform/widgets/QtDialogs.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/ProgressBar.h"
#include "support/AccessibleNames.h"
#include "support/WidgetTestMain.h"

#include <QAccessible>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QSignalSpy>
#include <QTimer>

using namespace larkspan;
using namespace larkspan::test;

class AccessibilityTest : public QObject {
    Q_OBJECT

    std::unique_ptr<Form1> m_form;

private slots:
    void init()
    {
        ResetSettings();
        m_form = std::make_unique<Form1>();
        m_form->setProgramEnd([] {});
        m_form->show();
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
    }

    void cleanup() { m_form.reset(); }

    void namesAreTheTextsShownAndCountersCarryTheirNumbers()
    {
        QCOMPARE(AccessibleNameMismatches(m_form.get()), QStringList());
        for (int i = 0; i < 3; ++i)
            m_form->ListView1->append(QStringLiteral("row %1").arg(i + 1));
        m_form->ListView1->setChecked(2, true);
        m_form->context().counters->RefreshCounters(false);
        m_form->ProgressBar1->setText(QStringLiteral("Reading mail 12 of 300"));
        QCOMPARE(AccessibleName(m_form->Label1), QStringLiteral("Total Number Of Emails: 3"));
        QCOMPARE(AccessibleName(m_form->Label2), QStringLiteral("Selected Emails: 1"));
        QCOMPARE(AccessibleName(m_form->ProgressBar1), QStringLiteral("Reading mail 12 of 300"));
        // Boxes without text of their own are named by their labels.
        QCOMPARE(AccessibleName(m_form->Text1), QStringLiteral(" Yahoo! ID:"));
        QCOMPARE(AccessibleName(m_form->Text2), QStringLiteral("Password:"));
        QCOMPARE(AccessibleName(m_form->Combo2), QStringLiteral("Folder"));
        QCOMPARE(AccessibleName(m_form->txtServer), QStringLiteral("Server:"));
        QCOMPARE(AccessibleName(m_form->txtPort), QStringLiteral("Port:"));
        // A list box shows its choice and is named by it; its label labels it.
        QCOMPARE(AccessibleName(m_form->cboSecurity), QStringLiteral("TLS"));
        QCOMPARE(m_form->lblSecurity->buddy(), m_form->cboSecurity);
        QCOMPARE(AccessibleNameMismatches(m_form.get()), QStringList());
    }

    void tabWalksTheMainWindowInLayoutOrder()
    {
        m_form->Text1->setFocus();
        QStringList visited{QApplication::focusWidget()->objectName()};
        while (visited.last() != QLatin1String("PushButton4") && visited.size() < 40) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, (QStringList{"Text1", "Text2", "txtServer", "txtPort", "cboSecurity", "Check1", "Check2", "PushButton1", "PushButton12", "PushButton11",
                                       "Combo2", "PushButton18", "PushButton14", "PushButton15", "PushButton17", "PushButton3",
                                       "PushButton2", "PushButton8", "ListView1", "PushButton5", "PushButton6",
                                       "PushButton9", "PushButton10", "PushButton7", "Option1", "PushButton4"}));
    }

    void enterAndSpacePressTheFocusedButton()
    {
        QSignalSpy pressed(m_form->PushButton5, &QPushButton::clicked);
        m_form->PushButton5->setFocus();
        QTest::keyClick(m_form->PushButton5, Qt::Key_Return);
        QTest::keyClick(m_form->PushButton5, Qt::Key_Enter, Qt::KeypadModifier);
        QTest::keyClick(m_form->PushButton5, Qt::Key_Space);
        QCOMPARE(pressed.count(), 3);
    }

    void messageAndInputBoxesReadOutTheirText()
    {
        auto dialogs = CreateQtDialogs();
        int role = -1;
        QString value, boxName;
        QTimer::singleShot(0, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            QAccessibleInterface *face = QAccessible::queryAccessibleInterface(box);
            role = int(face->role());
            value = face->text(QAccessible::Value);
            static_cast<QMessageBox *>(box)->accept();
        });
        dialogs->messageBox(m_form.get(), QStringLiteral("Please select a folder."), QStringLiteral("Larkspan"), MsgButtons::Ok,
                            MsgIcon::None);
        QCOMPARE(role, int(QAccessible::AlertMessage));
        QCOMPARE(value, QStringLiteral("Please select a folder."));

        QTimer::singleShot(0, this, [&] {
            QWidget *box = QApplication::activeModalWidget();
            boxName = AccessibleName(box->findChild<QLineEdit *>());
            box->close();
        });
        dialogs->inputBox(m_form.get(), QStringLiteral("Enter X:"), QStringLiteral("Larkspan"), QString());
        QCOMPARE(boxName, QStringLiteral("Enter X:"));
    }
};

LARKSPAN_TEST_MAIN(AccessibilityTest)
#include "tst_accessibility.moc"
