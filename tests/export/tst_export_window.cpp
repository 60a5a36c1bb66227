// The export window: opening from the main window, the load step and its settings,
// stepping, the field list, the folder picker, "< Back" and the close box.

#include "support/AccessibleNames.h"
#include "support/WidgetTestMain.h"
#include "ExportFixture.h"

#include "app/ExportLauncher.h"
#include "platform/core/DesktopFolder.h"
#include "platform/core/SettingsStore.h"
#include "platform/widgets/WebBrowser.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPushButton>
#include <QWebEnginePage>
#include <QWebEngineView>

using namespace larkspan;
using namespace larkspan::test;
using Kind = RecordingDialogs::Kind;

class ExportWindowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<MainWindowFixture> m_main;

    QString previewText(Form3 &form)
    {
        [&] { QTRY_COMPARE_WITH_TIMEOUT(form.WebBrowser1->readyState(), 4, 30000); }();
        QString text;
        bool done = false;
        form.WebBrowser1->page()->toPlainText([&](const QString &t) {
            text = t;
            done = true;
        });
        [&] { QTRY_VERIFY_WITH_TIMEOUT(done, 30000); }();
        return text;
    }

    QPointer<Form3> open(const QList<MessageRecord> &records, const QList<bool> &ticks)
    {
        m_main->fill(records, ticks);
        m_main->window->show();
        return OpenExportWindow(m_main->ctx);
    }

private slots:
    void init()
    {
        ResetSettings();
        Recorded().clear();
        m_main = std::make_unique<MainWindowFixture>();
    }

    void cleanup()
    {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *form = qobject_cast<Form3 *>(w))
                delete form;
        m_main.reset();
    }

    void emptyListOpensNothing()
    {
        QVERIFY(open({}, {}).isNull());
        QVERIFY(Recorded().calls.isEmpty());
        QVERIFY(m_main->window->isVisible());
    }

    void noTickAsksForOne()
    {
        QVERIFY(open({MakeRecord(QStringLiteral("a")), MakeRecord(QStringLiteral("b"))}, {false, false}).isNull());
        QCOMPARE(Recorded().messages(), QStringList{QStringLiteral("Please select at least 1 email message.")});
        QVERIFY(m_main->window->isVisible());
    }

    void tickedRecordsInListOrderAndTheFirstPreviewed()
    {
        m_main->ctx.Option2->setChecked(true);
        QPointer<Form3> form = open({MakeRecord(QStringLiteral("one")), MakeRecord(QStringLiteral("two")),
                                     MakeRecord(QStringLiteral("three"))},
                                    {false, true, true});
        QVERIFY(form);
        QVERIFY(form->isVisible());
        QVERIFY(!m_main->window->isVisible());
        QCOMPARE(SelectedRecords.upperBound(), 2);
        QCOMPARE(form->RecordCount, 2);
        QCOMPARE(form->Records(1).subject(), QStringLiteral("two"));
        QCOMPARE(form->Records(2).subject(), QStringLiteral("three"));
        QCOMPARE(form->CurrentIndex, 1);
        QVERIFY(!form->PrintAsHTML);
        QVERIFY(!form->GoingBack);
        QCOMPARE(form->windowTitle(), QStringLiteral("Larkspan"));
        QVERIFY(previewText(*form).contains(QStringLiteral("two")));

        // "<Count>" is the place among the ticked messages, not the row.
        form->Now = [] { return QDateTime(QDate(2026, 12, 7), QTime(9, 0)); };
        form->txtBackupPath->setText(QStringLiteral("/o/"));
        form->CurrentIndex = 2;
        QCOMPARE(form->CreatePDF_File(), QStringLiteral("/o/2 - 12-07-2026 three.pdf"));
    }

    void controlsAreNamedAndCaptioned()
    {
        QPointer<Form3> form = open({MakeRecord(QStringLiteral("a"))}, {true});
        const QList<QPair<QString, QString>> buttons = {
            {QStringLiteral("PushButton1"), QStringLiteral("Export To PDF")},
            {QStringLiteral("PushButton2"), QStringLiteral("Export All To PDF")},
            {QStringLiteral("PushButton3"), QStringLiteral("Page Setup")},
            {QStringLiteral("PushButton4"), QStringLiteral("< Prev Email")},
            {QStringLiteral("PushButton5"), QStringLiteral("Next Email >")},
            {QStringLiteral("PushButton6"), QStringLiteral("...")},
            {QStringLiteral("PushButton7"), QStringLiteral("?")},
            {QStringLiteral("PushButton8"), QStringLiteral("< Back")},
            {QStringLiteral("PushButton9"), QStringLiteral("Use Default")},
        };
        for (const auto &[name, caption] : buttons) {
            auto *button = form->findChild<QPushButton *>(name);
            QVERIFY2(button, qPrintable(name));
            QCOMPARE(button->text(), caption);
            QCOMPARE(AccessibleName(button), caption);
        }
        QCOMPARE(form->findChild<QGroupBox *>(QStringLiteral("Frame1"))->title(), QStringLiteral("Output Filename Option"));
        QCOMPARE(form->findChild<QGroupBox *>(QStringLiteral("Frame3"))->title(), QStringLiteral("Save PDF Files To This Folder"));
        QCOMPARE(form->ProgressBar1->text(), QStringLiteral("Progress Bar"));
        QCOMPARE(AccessibleNameMismatches(form), QStringList());
        QCOMPARE(form->ProgressBar1->value(), 0);
        // The printing browser is never on screen, yet its page is as wide as a shown one.
        QVERIFY(!form->WebBrowser2->isVisible());
        QVERIFY(form->Picture1->x() >= form->width());
        QCOMPARE(form->WebBrowser2->view()->size(), QSize(800, 1000));
    }

    void firstStartStoresTheFolderButNotThePattern()
    {
        QPointer<Form3> form = open({MakeRecord(QStringLiteral("a"))}, {true});
        QCOMPARE(form->txtBackupPath->text(), DesktopFolderPath());
        QVERIFY(form->txtBackupPath->text().endsWith(QLatin1Char('/')));
        QCOMPARE(ReadSetting(QStringLiteral("Backup Path"), QStringLiteral("unset")), DesktopFolderPath());
        QCOMPARE(form->Text1->text(), Form3::DefaultPattern());
        QCOMPARE(ReadSetting(QStringLiteral("Text1"), QStringLiteral("unset")), QStringLiteral("unset"));

        // Every edit is stored at once; "Use Default" too.
        form->Text1->setText(QStringLiteral("<Subject>"));
        QCOMPARE(ReadSetting(QStringLiteral("Text1")), QStringLiteral("<Subject>"));
        form->PushButton9->click();
        QCOMPARE(form->Text1->text(), Form3::DefaultPattern());
        QCOMPARE(ReadSetting(QStringLiteral("Text1")), Form3::DefaultPattern());
        form->txtBackupPath->setText(QStringLiteral("/typed/without/separator"));
        QCOMPARE(ReadSetting(QStringLiteral("Backup Path")), QStringLiteral("/typed/without/separator"));
        QVERIFY(!form->chkSkipExported->isChecked()); // off until the user turns it on
        form->chkSkipExported->click();
        QCOMPARE(ReadSetting(QStringLiteral("SkipExported")), QStringLiteral("1"));

        // The next opening starts from what was stored.
        form->PushButton8->click();
        QTRY_VERIFY(form.isNull());
        WriteSetting(QStringLiteral("Text1"), QStringLiteral("<From> <Subject>"));
        form = OpenExportWindow(m_main->ctx);
        QCOMPARE(form->txtBackupPath->text(), QStringLiteral("/typed/without/separator"));
        QCOMPARE(form->Text1->text(), QStringLiteral("<From> <Subject>"));
        QVERIFY(form->chkSkipExported->isChecked());
    }

    void steppingBeepsAtBothEnds()
    {
        QPointer<Form3> form = open({MakeRecord(QStringLiteral("only"))}, {true});
        form->PushButton4->click();
        form->PushButton5->click();
        QCOMPARE(Recorded().count(Kind::Beep), 2);
        QCOMPARE(form->CurrentIndex, 1);
        QVERIFY(Recorded().messages().isEmpty());

        Recorded().clear();
        form->PushButton8->click();
        QTRY_VERIFY(form.isNull());
        form = open({MakeRecord(QStringLiteral("alpha")), MakeRecord(QStringLiteral("beta")), MakeRecord(QStringLiteral("gamma"))},
                    {true, true, true});
        form->PushButton5->click();
        QCOMPARE(form->CurrentIndex, 2);
        QVERIFY(previewText(*form).contains(QStringLiteral("beta")));
        form->PushButton5->click();
        form->PushButton5->click();
        QCOMPARE(form->CurrentIndex, 3);
        QCOMPARE(Recorded().count(Kind::Beep), 1);
        form->PushButton4->click();
        QCOMPARE(form->CurrentIndex, 2);
        QVERIFY(previewText(*form).contains(QStringLiteral("beta")));
    }

    void fieldListAndFolderPicker()
    {
        QPointer<Form3> form = open({MakeRecord(QStringLiteral("a"))}, {true});
        form->PushButton7->click();
        QCOMPARE(Recorded().messages().last(),
                 QStringLiteral("You can create your own filename by using the following fields:\r\n<From>\r\n<From Name>\r\n"
                                "<From Address>\r\n<Subject>\r\n<Received Date>\r\n<Current Date>\r\n<Current Time>\r\n<To>"));

        WriteSetting(QStringLiteral("LastFolderDot"), QStringLiteral("/srv/last"));
        const QString before = form->txtBackupPath->text();
        Recorded().clear();
        Recorded().folderAnswers = {QString(), QStringLiteral("/"), QStringLiteral("/home/pat/PDFs"), QStringLiteral("//server/share")};
        form->PushButton6->click(); // cancelled
        QCOMPARE(form->txtBackupPath->text(), before);
        QCOMPARE(Recorded().calls.first().text, QStringLiteral("Please select folder:"));
        QCOMPARE(Recorded().calls.first().title, QStringLiteral("/srv/last"));
        form->PushButton6->click();
        QCOMPARE(form->txtBackupPath->text(), QStringLiteral("/"));
        form->PushButton6->click();
        QCOMPARE(form->txtBackupPath->text(), QStringLiteral("/home/pat/PDFs/"));
        QCOMPARE(ReadSetting(QStringLiteral("Backup Path")), QStringLiteral("/home/pat/PDFs/"));
        form->PushButton6->click();
        QCOMPARE(form->txtBackupPath->text(), QStringLiteral("//server/share/"));
    }

    void backKeepsTheListAndItsTicks()
    {
        const QList<bool> ticks = {true, false, true};
        QPointer<Form3> form = open({MakeRecord(QStringLiteral("a")), MakeRecord(QStringLiteral("b")), MakeRecord(QStringLiteral("c"))},
                                    ticks);
        QVERIFY(!m_main->window->isVisible());
        form->PushButton8->click();
        QVERIFY(m_main->window->isVisible());
        QTRY_VERIFY(form.isNull());
        QCOMPARE(m_main->quitCalls, 0);
        QCOMPARE(m_main->ctx.ListView1->count(), 3);
        for (int row = 1; row <= 3; ++row)
            QCOMPARE(m_main->ctx.ListView1->checked(row), ticks[row - 1]);
        QCOMPARE(Messages(2).subject(), QStringLiteral("b"));
    }

    void closeBoxEndsTheProgram()
    {
        QPointer<Form3> form = open({MakeRecord(QStringLiteral("a"))}, {true});
        form->close();
        QCOMPARE(m_main->quitCalls, 1);
        QTRY_VERIFY(form.isNull());
    }
};

LARKSPAN_TEST_MAIN(ExportWindowTest)
#include "tst_export_window.moc"
