// Writes the seed corpus of the fuzz harnesses into <folder>/message and
// <folder>/response: the test messages and the scripted server's replies; and
// <folder>/pdf: PDF documents.

#include "Seeds.h"
#include "support/TestEnvironment.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>

#include <cstdio>

namespace {

bool WriteAll(const QString &folder, const QList<QByteArray> &inputs)
{
    if (!QDir().mkpath(folder))
        return false;
    for (const QByteArray &input : inputs) {
        QFile file(folder + QLatin1Char('/') +
                   QString::fromLatin1(QCryptographicHash::hash(input, QCryptographicHash::Sha1).toHex()));
        if (!file.open(QIODevice::WriteOnly) || file.write(input) != input.size())
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    larkspan::test::PrepareTestEnvironment();
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
        return 64;
    }
    const QString root = QString::fromLocal8Bit(argv[1]);
    const bool ok = WriteAll(root + QStringLiteral("/message"), larkspan::fuzz::MessageSeeds()) &&
                    WriteAll(root + QStringLiteral("/response"), larkspan::fuzz::ServerReplySeeds()) &&
                    WriteAll(root + QStringLiteral("/pdf"), larkspan::fuzz::PdfSeeds());
    return ok ? 0 : 1;
}
