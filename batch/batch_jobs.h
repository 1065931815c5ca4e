#pragma once

#include "batch/batch_options.h"
#include "batch/csv_table.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// One composed job and where it comes from.
struct BatchJob
{
    int row = 0;  // CSV row (the header is row 1); 0 for the label from options
    int line = 0; // CSV line the row starts on; 0 for the label from options
    QByteArray bytes;
    quint32 labels = 0; // its quantity
};

struct JobList
{
    QList<BatchJob> jobs;
    QStringList errors; // one line per bad row (or option); no jobs when there are any
    bool ok() const { return errors.isEmpty(); }
};

// The settings of one label: the size's preset with the nudges, and darkness, gap and five-across from
// the options. The texts and quantity are left for each label.
LabelSettings baseSettings(const BatchOptions& options);

// The one job of the label the options describe.
JobList jobsFromOptions(const BatchOptions& options);

// One job per CSV row after the header. Every row is checked and composed before this returns; a row that
// fails is reported as "<source>: row R (line L), column C: what is wrong" and no job is returned at all.
// Rows with nothing on them are skipped. `source` names the file in the messages.
JobList jobsFromCsv(const BatchOptions& options, const CsvTable& table, const QString& source);
