#include "support/batch_harness.h"

#include <QBuffer>

#include <cstring>

QString RecordingOutput::doOpen()
{
    ++record_.opens;
    return record_.failOpen ? QStringLiteral("it broke") : QString();
}

QString RecordingOutput::doSend(const QByteArray& job)
{
    if (record_.failAtSend == record_.sent.size() + 1)
        return QStringLiteral("it broke");
    record_.sent << job;
    return {};
}

QString RecordingOutput::doClose()
{
    ++record_.closes;
    return record_.failClose ? QStringLiteral("it broke") : QString();
}

BatchRun runBatchInProcess(const QStringList& arguments, Recorder* recorder, const QByteArray& input,
                           const std::function<void(BatchEnvironment&)>& adjust)
{
    QByteArray inBytes = input;
    QBuffer in(&inBytes);
    QBuffer out;
    QBuffer err;
    in.open(QIODevice::ReadOnly);
    out.open(QIODevice::WriteOnly);
    err.open(QIODevice::WriteOnly);
    BatchEnvironment env;
    env.standardInput = &in;
    env.standardOutput = &out;
    env.standardError = &err;
    if (recorder)
        env.createOutput = [recorder](const BatchOptions&) { return std::make_unique<RecordingOutput>(*recorder); };
    if (adjust)
        adjust(env);
    BatchRun result;
    result.status = runBatch(arguments, env);
    result.out = out.data();
    result.err = QString::fromUtf8(err.data());
    return result;
}

QList<QByteArray> batchJobs(const QStringList& arguments, const QByteArray& csv)
{
    QStringList withCsv = arguments;
    const qsizetype csvAt = withCsv.indexOf(QStringLiteral("--csv"));
    if (csvAt >= 0 && csvAt + 1 < withCsv.size())
        withCsv[csvAt + 1] = QStringLiteral("-");
    Recorder recorder;
    const BatchRun run = runBatchInProcess(withCsv, &recorder, csv);
    return run.status == kExitOk ? recorder.sent : QList<QByteArray>{};
}

TrickleDevice::TrickleDevice(const QByteArray& bytes, qint64 step, bool failAtEnd)
    : bytes_(bytes), step_(step), failAtEnd_(failAtEnd)
{
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 TrickleDevice::readData(char* data, qint64 maxSize)
{
    if (pos_ >= bytes_.size()) {
        if (failAtEnd_) {
            setErrorString(QStringLiteral("the test device broke"));
            return -1;
        }
        return 0;
    }
    const qint64 n = qMin(qMin(maxSize, step_), bytes_.size() - pos_);
    std::memcpy(data, bytes_.constData() + pos_, size_t(n));
    pos_ += n;
    return n;
}

CsvText readCsvText(const QByteArray& text, const CsvLimits& limits, qint64 step)
{
    TrickleDevice device(text, step);
    CsvReader reader(device, limits);
    CsvText result;
    CsvRecord record;
    while (reader.next(record))
        result.records << record;
    result.error = reader.error();
    result.errorLine = reader.errorLine();
    return result;
}

namespace {

void composeAll(const BatchOptions& options, const CheckedLabels& labels, CheckedCsv& into)
{
    const LabelSettings base = baseSettings(options);
    CheckedLabels::Cursor cursor(labels);
    CheckedLabel label;
    while (cursor.next(label)) {
        into.labels << label;
        into.jobs << composeLabel(base, label.values).bytes;
    }
}

} // namespace

CheckedCsv checkCsvText(const BatchOptions& options, const QByteArray& text, const QString& source)
{
    QByteArray bytes = text;
    QBuffer device(&bytes);
    device.open(QIODevice::ReadOnly);
    CsvReader reader(device);
    const CheckedRun run = checkCsv(options, reader, source);
    CheckedCsv result;
    result.problems = run.problems;
    if (run.ok())
        composeAll(options, run.labels, result);
    return result;
}

QList<QByteArray> checkedJobs(const BatchOptions& options, const QByteArray& csv)
{
    if (options.fromCsv())
        return checkCsvText(options, csv).jobs;
    const CheckedRun run = checkLabelFromOptions(options);
    CheckedCsv result;
    if (run.ok())
        composeAll(options, run.labels, result);
    return result.jobs;
}

QList<QByteArray> jobsOf(const QStringList& arguments, const QByteArray& csv)
{
    return checkedJobs(parseCommandLine(arguments).options, csv);
}
