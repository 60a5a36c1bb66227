// Every seed of the fuzz harnesses and every input a fuzzer ever found, through the
// same code the harnesses run: none may crash, hang or trip a sanitizer.

#include "FuzzTargets.h"
#include "Seeds.h"
#include "support/TestEnvironment.h"

#include <QTest>

using namespace larkspan::fuzz;

class FuzzReplayTest : public QObject {
    Q_OBJECT

    static void replay(const QList<QByteArray> &inputs, long long (*target)(const uint8_t *, size_t))
    {
        for (const QByteArray &input : inputs)
            QVERIFY(target(reinterpret_cast<const uint8_t *>(input.constData()), size_t(input.size())) >= 0);
    }

private slots:
    void messages()
    {
        const QList<QByteArray> seeds = MessageSeeds();
        QVERIFY(seeds.size() >= 10);
        replay(seeds + KeptFindings("message"), &ReadMessage);
    }

    void serverReplies()
    {
        const QList<QByteArray> seeds = ServerReplySeeds();
        // The whole conversation holds every message the scripted server served.
        QVERIFY(seeds.last().count("FETCH (INTERNALDATE") >= MessageSeeds().size());
        replay(seeds + KeptFindings("response"), &ReadResponses);
    }

    void pdfDocuments()
    {
        replay(PdfSeeds() + KeptFindings("pdf"), &AppendDocument);
    }
};

LARKSPAN_GUILESS_TEST_MAIN(FuzzReplayTest)
#include "tst_fuzzreplay.moc"
