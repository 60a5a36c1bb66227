#pragma once

#include "support/TestEnvironment.h"

#include <QApplication>

// main() of a Qt Test executable with windows: the shared environment, scripted
// dialogs and a widget application object.
#define LARKSPAN_TEST_MAIN(TestObject)                                   \
    int main(int argc, char **argv)                                      \
    {                                                                    \
        larkspan::test::PrepareTestEnvironment();                        \
        QApplication app(argc, argv);                                    \
        app.setApplicationName(QStringLiteral("Larkspan"));              \
        larkspan::test::InstallRecordingDialogs();                       \
        TestObject testObject;                                           \
        return QTest::qExec(&testObject, argc, argv);                    \
    }
