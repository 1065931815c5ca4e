#pragma once

#include "batch/batch_jobs.h"
#include "batch/batch_run.h"
#include "batch/csv_table.h"

#include <QByteArray>
#include <QIODevice>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

// What a recording output is asked to do, and where it fails.
struct Recorder
{
    int opens = 0;
    int closes = 0;
    QList<QByteArray> sent;
    bool failOpen = false;
    bool failClose = false;
    int failAtSend = 0; // 1 for the first send; 0 never
};

// An output that records every job in a Recorder and fails with "it broke" where the recorder says.
class RecordingOutput final : public Destination
{
public:
    explicit RecordingOutput(Recorder& record) : Destination(QStringLiteral("test port")), record_(record) {}
    QString goneMeaning() const override { return QStringLiteral("recorded"); }

protected:
    QString doOpen() override;
    QString doSend(const QByteArray& job) override;
    QString doConfirm() override { return {}; }
    QString doClose() override;

private:
    Recorder& record_;
};

struct BatchRun
{
    int status = -1;
    QByteArray out;
    QString err;
};

// Runs the batch in-process with `input` as standard input and buffers for standard output and error. With
// a recorder the jobs go to a recording output instead of the port. `adjust` changes the environment last.
BatchRun runBatchInProcess(const QStringList& arguments, Recorder* recorder, const QByteArray& input,
                           const std::function<void(BatchEnvironment&)>& adjust = {});

// The jobs a run sends, one by one, with `csv` on standard input: a --csv FILE in `arguments` reads it
// instead of FILE. Empty when the run fails.
QList<QByteArray> batchJobs(const QStringList& arguments, const QByteArray& csv);

// A device that hands out its bytes `step` at a time, as a pipe may, and then fails reading if told to.
class TrickleDevice final : public QIODevice
{
public:
    TrickleDevice(const QByteArray& bytes, qint64 step, bool failAtEnd = false);
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray bytes_;
    qint64 step_;
    bool failAtEnd_;
    qint64 pos_ = 0;
};

// Every record of a CSV text, read `step` bytes at a time, and the error that stopped the reading.
struct CsvText
{
    QList<CsvRecord> records;
    QString error;
    int errorLine = 0;
};
CsvText readCsvText(const QByteArray& text, const CsvLimits& limits = {}, qint64 step = 1 << 20);

// The labels of a CSV text as a run checks them, with the job of each, under `options`.
struct CheckedCsv
{
    QStringList problems;
    QList<CheckedLabel> labels;
    QList<QByteArray> jobs;
};
CheckedCsv checkCsvText(const BatchOptions& options, const QByteArray& text,
                        const QString& source = QStringLiteral("labels.csv"));

// The jobs the labels of `options` make, from the options or from `csv` when they name a CSV input, as a
// run composes them; empty when a check fails.
QList<QByteArray> checkedJobs(const BatchOptions& options, const QByteArray& csv);
// The same for a command line.
QList<QByteArray> jobsOf(const QStringList& arguments, const QByteArray& csv);
