// Takes the README's two pictures from the demo mailbox: the main window with a
// listed folder, and the export window with its preview. Run under a display
// (xvfb-run) with the loopback environment; writes into the folder given.

#include "app/Form1.h"
#include "export/window/Form3.h"
#include "messagelist/windows/ListCounters.h"
#include "platform/widgets/ListView.h"
#include "platform/widgets/WebBrowser.h"
#include "support/DovecotFixture.h"
#include "support/TestEnvironment.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QLineEdit>
#include <QPushButton>

#include <cstdio>

using namespace larkspan;

namespace {

bool waitUntil(const std::function<bool()> &done, int ms)
{
    QDeadlineTimer deadline(ms);
    while (!done() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    return done();
}

bool save(QWidget *widget, const QString &path)
{
    QCoreApplication::processEvents();
    const bool ok = widget->grab().save(path);
    std::printf("%s %s\n", ok ? "wrote" : "could not write", qPrintable(path));
    return ok;
}

} // namespace

int main(int argc, char **argv)
{
    test::PrepareTestEnvironment();
    QApplication app(argc, argv);
    app.setApplicationName(QStringLiteral("Larkspan"));
    test::InstallRecordingDialogs();
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: %s <demo mailbox folder> <output folder>\n", argv[0]);
        return 2;
    }
    const QDir mailbox(args.at(1));
    const QString outFolder = args.at(2);
    QDir().mkpath(outFolder);

    test::DovecotFixture server;
    for (const char *folder : {"INBOX", "Newsletters", "Travel"}) {
        QStringList files;
        const QDir dir(mailbox.filePath(QString::fromLatin1(folder)));
        for (const QString &name : dir.entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name))
            files.append(dir.filePath(name));
        server.addFolder(QString::fromLatin1(folder), files);
    }
    if (!server.start()) {
        std::fprintf(stderr, "%s\n", qPrintable(server.errorText()));
        return 1;
    }
    qputenv("LARKSPAN_IMAP_PORT", QByteArray::number(server.port()));
    qputenv("LARKSPAN_IMAP_CA_FILE", server.caFile().toLocal8Bit());

    Form1 form;
    form.setProgramEnd([] {});
    form.Form_Load();
    form.resize(980, 820);
    form.show();
    form.Text1->setText(server.user());
    form.Text2->setText(server.password());
    form.PushButton1->click();
    form.Combo2->setCurrentIndex(0);
    form.PushButton3->click(); // runs the listing to its end
    auto &ctx = form.context();
    for (int row : {1, 3, 4, 7})
        if (row <= ctx.ListView1->count())
            ctx.ListView1->setChecked(row, true);
    ctx.counters->RefreshCounters(false);
    bool ok = save(&form, outFolder + QStringLiteral("/main-window.png"));

    form.PushButton4->click();
    Form3 *exportWindow = nullptr;
    waitUntil([&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *f = qobject_cast<Form3 *>(w); f && f->isVisible())
                exportWindow = f;
        return exportWindow != nullptr;
    }, 10000);
    if (!exportWindow) {
        std::fprintf(stderr, "the export window did not open\n");
        return 1;
    }
    exportWindow->resize(980, 820);
    waitUntil([&] { return exportWindow->WebBrowser1->readyState() == 4; }, 20000);
    // Let the page paint after it reports complete.
    QDeadlineTimer settle(1500);
    while (!settle.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    ok = save(exportWindow, outFolder + QStringLiteral("/export-window.png")) && ok;
    return ok ? 0 : 1;
}
