#pragma once

#include "render/epl2_commands.h"
#include "render/label_types.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>

#include <functional>

// Stored forms as a job stores and fills them: the lines between FS and FE, the variables and counters a
// recalled form declares, the data lines after ? that fill them, and what each prints on which label.
class JobForms
{
public:
    using Note = std::function<void(int line, const QString& text)>;

    JobForms(PrinterMemory& memory, Note note) : m_memory(memory), m_note(std::move(note)) {}

    // FS: stores the lines that follow until FE, unless the form is stored already.
    void startStoring(const QByteArray& name, int line, const QString& shown);
    bool storing() const { return m_storing; }
    // A line between FS and FE (FE itself ends the form).
    void store(const Epl2Command& command, int line, QByteArrayView text);
    // The stream has ended: a form left unfinished and data lines never sent are noted.
    void finish();

    // N: no form is recalled any more.
    void clear();
    // FR: the variables and counters of the form recalled are declared anew.
    void startRecall();
    void declare(const Epl2Command& command);
    // Whether the recalled form declares what a field prints (a quoted text needs nothing).
    bool declares(TextSource source, int number) const;
    // ?: the data lines that follow fill the variables, then the counters, in order of number; false, with a
    // note, when no form was recalled.
    bool startData(int line, const QString& shown);
    bool expectsData() const { return !m_pending.isEmpty(); }
    // The next data line.
    void fillNext(QByteArrayView text, int line);

    // What a field prints on the label `labelsAhead` after the first of its P: its quoted text, or its
    // variable or counter justified in its width.
    QByteArray dataOf(TextSource source, const QByteArray& text, int number, quint64 labelsAhead) const;
    // P printed `labels` labels: the counters step.
    void step(int labels);

private:
    struct Variable
    {
        int length = 0;
        Justify justify = Justify::Left;
        QByteArray value;
    };

    struct Counter
    {
        int digits = 0;
        Justify justify = Justify::Left;
        int step = 0;
        QByteArray text;    // as its data line gave it, cut to its digits
        bool steps = false; // its data line is a number
        qint64 value = 0;   // on the next label
    };

    // A data line after "?" fills a variable or a counter.
    struct DataSlot
    {
        bool counter = false;
        int number = 0;
    };

    void note(int line, const QString& text) { m_note(line, text); }
    void fill(const DataSlot& slot, QByteArrayView text, int line);
    QByteArray counterText(const Counter& counter, quint64 labelsAhead) const;
    // 10 to the power of the counter's digits (1 to 18): where its value wraps around.
    static qint64 modulusOf(const Counter& counter);

    PrinterMemory& m_memory;
    Note m_note;

    bool m_storing = false;
    QByteArray m_storingName;
    int m_storingLine = 0;
    QList<StoredLine> m_storingLines;
    qint64 m_storedBytes = 0;

    bool m_recalled = false;
    QMap<int, Variable> m_variables;
    QMap<int, Counter> m_counters;
    QList<DataSlot> m_pending;
    int m_dataLine = 0;
};
