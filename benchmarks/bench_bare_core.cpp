// A bare QtCore program, linked with QtCore alone: it reads its options as the batch program does and writes a
// line. What bench_startup holds quorlex-label-batch's --help and a one-label --dry-run against.
#include <QCommandLineParser>
#include <QCoreApplication>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("size"), QStringLiteral("Label size."), QStringLiteral("size")});
    parser.process(app);
    std::printf("%s\n", qPrintable(parser.value(QStringLiteral("size"))));
    return 0;
}
