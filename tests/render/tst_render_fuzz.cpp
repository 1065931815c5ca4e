// The reader against random bytes and mutations of real jobs (this program's, and hand-written ones with bar
// codes, 2-D codes, graphics and soft fonts), fed in pieces of random size: it must not crash, trip a sanitizer, or
// hold more than its bounds. The seed is fixed unless QUORLEX_FUZZ_SEED says otherwise ("random" or a
// number); it is printed so that a failure can be replayed.
#include "render/epl2_commands.h"
#include "render/label_render.h"
#include "support/label_pictures.h"

#include <QRandomGenerator>
#include <QtTest>

namespace {

constexpr quint64 kDefaultSeed = 20261208;

quint64 fuzzSeed()
{
    const QByteArray wanted = qgetenv("QUORLEX_FUZZ_SEED");
    if (wanted == "random")
        return QRandomGenerator::system()->generate64();
    bool ok = false;
    const quint64 seed = wanted.toULongLong(&ok);
    return ok ? seed : kDefaultSeed;
}

QByteArray pcx8x2()
{
    QByteArray file(128, '\0');
    file[0] = 0x0A;
    file[1] = 5;
    file[2] = 1;
    file[3] = 1;
    file[8] = 7;
    file[10] = 1;
    file[65] = 1;
    file[66] = 2;
    return file + QByteArray("\xC2\x0F\x00\xFF", 4);
}

QList<QByteArray> seedJobs()
{
    const QByteArray pcx = pcx8x2();
    return {
        presetJob(LabelSize::M1, false, {"AB1234", "V1.0"}),
        presetJob(LabelSize::M2, true, {"X", "V2", "0623", "57"}),
        presetJob(LabelSize::M9, false, {"AB1234", "V1", "0623", "57"}),
        "N\r\nq800\r\nQ600,24\r\nI8,A,001\r\nR4,4\r\nB10,10,0,1,2,4,60,B,\"ABC-123\"\r\nB10,100,1,E30,2,4,60,B,"
        "\"590123412345\"\r\nB300,100,2,3C,2,5,40,N,\"CODE39\"\r\nB300,300,3,K,2,5,40,N,\"A123B\"\r\n"
        "b10,300,Q,m2,s3,eH,\"quorlex\"\r\nb600,300,Q,m1,s2,eQ,iM,Dc01d02,\"N0123\"\r\nb200,300,D,h3,\"1234\"\r\nb400,"
        "300,P,300,200,f0,x2,\"pdf\"\r\n"
        "b500,10,M,m2,\"999,840,12345,msg\"\r\nLO1,1,50,2\r\nLW1,1,5,5\r\nLE0,0,9,9\r\nLS0,0,3,90,40\r\n"
        "X5,5,2,100,100\r\nA5,5,0,3,1,1,R,\"\xE9\xFC\"\r\ni3\r\nA600,300,5,8,2,1,N,\"\xB6\xF3\x82\xA0"
        "A\"\r\nA5,500,0,9,1,3,R,\"\xA4\x40\xC2\xB7\"\r\nZB\r\nP1\r\n",
        "N\r\nq64\r\nQ32,24\r\nGW0,0,2,4,\n\r\0\xFF\x0A\x0D\x00\x01\r\nGW8,8,1,1,\x0A\r\nP1,2\r\n" +
            QByteArray("GK\"P\"\r\nGM\"P\"") + QByteArray::number(pcx.size()) + "\r\n" + pcx +
            "\r\nN\r\nGG1,1,\"P\"\r\nP1\r\n",
        "N\r\nFK\"F\"\r\nFS\"F\"\r\nV00,8,L,\"\"\r\nC0,3,R,+1,\"\"\r\nq400\r\nQ200,24\r\nB10,10,0,1,2,4,40,N,V00\r\n"
        "b10,80,Q,s2,C0\r\nGW0,0,1,2,\x0A\x0D\r\nLO0,0,400,2\r\nFE\r\nFR\"F\"\r\n?\r\nITEM\r\n998\r\nP3\r\n",
        "N\r\nq80\r\nQ40,24\r\nI7,2\r\n" + softFontF() + "A1,1,0,f,2,3,R,\"ABC[\"\r\nA40,30,1,f,1,1,N,\"CBA\"\r\n" +
            softFontStore('g', 1, 2, 2, {{'A', 2, 2, 0xC0, 0x00}, {'A', 2, 2, 0x80, 0x80}}) +
            "A9,9,3,g,1,1,N,\"AA\"\r\nEK\"*\"\r\nA1,1,0,1,1,1,N,\"@{|}\"\r\nP1\r\n",
    };
}

QByteArray randomBytes(QRandomGenerator& random, int size)
{
    QByteArray bytes(size, '\0');
    for (char& c : bytes)
        c = char(random.bounded(256));
    return bytes;
}

// One of a few kinds of damage, several times over.
QByteArray mutated(QRandomGenerator& random, QByteArray job, const QList<QByteArray>& others)
{
    static const QList<QByteArray> tokens = {
        "\r\n",       "\n",      ",", "\"", "\\", "GW", "GM\"X\"", "99999", "-1", "8192", "0",    "FS\"A\"",
        "FE",         "FR\"A\"", "?", "P9", "N",  "b",  "B",       "Q",     "ZB", "R9,9", "I8,1", "GW0,0,1024,8192,",
        "GG0,0,\"P\""};
    const int rounds = 1 + int(random.bounded(8));
    for (int r = 0; r < rounds; ++r) {
        const int at = job.isEmpty() ? 0 : int(random.bounded(job.size() + 1));
        switch (random.bounded(6)) {
        case 0:
            if (!job.isEmpty())
                job[std::min(at, int(job.size()) - 1)] = char(random.bounded(256));
            break;
        case 1:
            job.insert(at, randomBytes(random, 1 + int(random.bounded(16))));
            break;
        case 2:
            job.remove(at, int(random.bounded(64)));
            break;
        case 3:
            job.insert(at, tokens.at(int(random.bounded(tokens.size()))));
            break;
        case 4:
            job.insert(at, job.mid(int(random.bounded(job.size() + 1)), int(random.bounded(200))));
            break;
        default: {
            const QByteArray& other = others.at(int(random.bounded(others.size())));
            job = job.left(at) + other.mid(int(random.bounded(other.size() + 1)));
            break;
        }
        }
    }
    return job;
}

struct Checked final : LabelSink
{
    int labels = 0;
    int notes = 0;
    QString fault;
    void label(RenderedLabel&& label) override
    {
        ++labels;
        if (label.dots.width() > kMaxLabelDots || label.dots.height() > kMaxLabelDots || label.image.isNull())
            fault = QStringLiteral("label of %1 by %2 dots").arg(label.dots.width()).arg(label.dots.height());
    }
    void note(const JobNote& note) override
    {
        ++notes;
        if (note.text.size() > 400)
            fault = QStringLiteral("a note of %1 characters").arg(note.text.size());
        for (const QChar c : note.text) {
            if (c.unicode() < 0x20 || c.unicode() >= 0x7F)
                fault = QStringLiteral("a note with a control or non-ASCII character");
        }
    }
};

} // namespace

class RenderFuzzTest : public QObject
{
    Q_OBJECT

private slots:
    void fuzz();
};

void RenderFuzzTest::fuzz()
{
    const quint64 seed = fuzzSeed();
    qInfo("QUORLEX_FUZZ_SEED=%llu", static_cast<unsigned long long>(seed));
    QRandomGenerator random(seed);
    const QList<QByteArray> jobs = seedJobs();
    for (const QByteArray& job : jobs)
        QVERIFY2(renderJob(job).labelsPrinted > 0, job.left(40).constData());

    PrinterMemory memory; // kept across every stream, as a printer keeps it
    constexpr int kRuns = 1500;
    for (int run = 0; run < kRuns; ++run) {
        const QByteArray input = run % 5 == 0 ? randomBytes(random, int(random.bounded(1, 20000)))
                                              : mutated(random, jobs.at(int(random.bounded(jobs.size()))), jobs);
        Checked sink;
        RenderOptions options{1, 2, 1};
        options.asian = AsianLanguage(run % 5); // none, Korean, Japanese, Simplified and Traditional Chinese
        LabelStream stream(memory, options, sink);
        QVERIFY(stream.error().isEmpty());
        QByteArrayView rest(input);
        while (!rest.isEmpty()) {
            const qsizetype piece = std::min<qsizetype>(rest.size(), 1 + random.bounded(300));
            stream.feed(rest.first(piece));
            rest = rest.sliced(piece);
        }
        stream.finish();
        QVERIFY2(sink.fault.isEmpty(), qPrintable(QStringLiteral("run %1: %2").arg(run).arg(sink.fault)));
        QVERIFY(sink.labels <= 2 * std::max<qint64>(1, input.count("P")));
        QVERIFY(storedFormBytes(memory) <= kMaxFormsBytes);
        QVERIFY(storedGraphicDots(memory) <= kMaxStoredGraphicDots);
    }
}

QTEST_MAIN(RenderFuzzTest)
#include "tst_render_fuzz.moc"
