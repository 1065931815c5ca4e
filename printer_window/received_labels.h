#pragma once

#include "printer/printer_log.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QHash>
#include <QList>
#include <QMap>
#include <QRect>
#include <QSet>
#include <QSize>
#include <QString>
#include <QStringList>

#include <deque>

// One label the printer printed, as its window lists it.
struct ReceivedLabel
{
    quint64 number = 0;
    QSize dots;
    quint64 stream = 0;
    int line = 0;         // the job line of the P that printed it
    QDateTime time;       // when it was printed
    QString file;         // "label-000012.png", in the printer's out folder
    QStringList problems; // "line 7: ...", those logged for it
    QString fieldsInWords;
    QList<QRect> pastEdges; // fields that run past an edge, in dots
};

// What the printer's log tells of its labels, streams and state, gathered between two looks by the window so
// that the printer never waits for the window: every event only adds to lists. Problems of a stream go to
// the next label the stream prints; those after its last label go to that label.
class PrinterActivity
{
public:
    // A label more than this keeps no problems of its own beyond it (a stream logs at most 100 anyway).
    static constexpr int kMaxProblemsPerLabel = 100;

    void event(const QString& kind, const PrinterLog::Fields& fields);
    void labelDrawn(quint64 number, const QString& fieldsInWords, const QList<QRect>& pastEdges);

    // The labels printed since the last call, oldest first.
    QList<ReceivedLabel> takeArrived();
    // Problems logged since the last call for labels already printed, by label number.
    QHash<quint64, QStringList> takeLateProblems();

    // Streams being received: stream number to where from.
    const QMap<quint64, QString>& receiving() const { return m_receiving; }
    quint64 labelsPrinted() const { return m_printed; }
    int labelsHeld() const { return int(m_heldNumbers.size()); }

private:
    QList<ReceivedLabel> m_arrived;
    QHash<quint64, QStringList> m_late;
    QHash<quint64, QStringList> m_streamProblems; // not yet given to a label
    QHash<quint64, quint64> m_lastLabelOfStream;  // of streams still open
    QHash<quint64, QStringList> m_heldProblems;   // of labels held while a fault lasts
    struct Drawn
    {
        QString words;
        QList<QRect> pastEdges;
    };
    QHash<quint64, Drawn> m_drawn; // drawn, not yet logged
    QMap<quint64, QString> m_receiving;
    QSet<quint64> m_heldNumbers; // held while a fault lasts, not yet printed
    quint64 m_printed = 0;
};

// The labels received, newest first: the newest kKept of them (the rest stay on disk). Columns: number, size
// in dots, time, stream.
class ReceivedLabels : public QAbstractTableModel
{
public:
    static constexpr int kKept = 1000;
    enum Column { Number, Size, Time, Stream, ColumnCount };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // `arrived` oldest first; they go on top, and the oldest beyond kKept go.
    void add(const QList<ReceivedLabel>& arrived);
    // Adds problems to the labels listed; true when one of them is at `row`.
    bool addProblems(const QHash<quint64, QStringList>& problems, int row);
    const ReceivedLabel& at(int row) const { return m_labels.at(size_t(row)); }

private:
    std::deque<ReceivedLabel> m_labels; // newest first
};
