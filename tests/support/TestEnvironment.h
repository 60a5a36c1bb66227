#pragma once

#include <QCoreApplication>
#include <QString>
#include <QTest>

namespace larkspan::test {

// Sets everything a test, benchmark or tool run needs before the application object
// exists: offscreen windows, every outside address kept on loopback (mail host,
// probe host, remote content of mail), WebEngine flags for running as root, and a
// private temporary folder for settings (XDG_CONFIG_HOME), the message store
// (XDG_CACHE_HOME) and TEMP.
// Safe to call more than once.
void PrepareTestEnvironment();

// The private folder made by PrepareTestEnvironment.
QString TestScratchFolder();

// Removes the program's settings file so that a test starts from an empty store.
void ResetSettings();

// Folder of the test messages (.eml) and other test data.
QString TestDataFolder();

// The process's peak resident memory so far (VmHWM), in kilobytes; -1 when unknown.
long PeakResidentKb();

} // namespace larkspan::test

// Calls a helper that asserts; when an assertion in it failed, the calling test stops
// there too instead of going on with what the helper could not set up.
#define LARKSPAN_REQUIRE(call)                  \
    do {                                        \
        call;                                   \
        if (QTest::currentTestFailed())         \
            return;                             \
    } while (false)

// main() of a Qt Test executable without windows: the shared environment, scripted
// dialogs and a core application object.
#define LARKSPAN_GUILESS_TEST_MAIN(TestObject)                           \
    int main(int argc, char **argv)                                      \
    {                                                                    \
        larkspan::test::PrepareTestEnvironment();                        \
        QCoreApplication app(argc, argv);                                \
        app.setApplicationName(QStringLiteral("Larkspan"));              \
        larkspan::test::InstallRecordingDialogs();                       \
        TestObject testObject;                                           \
        return QTest::qExec(&testObject, argc, argv);                    \
    }

#include "support/RecordingDialogs.h"
