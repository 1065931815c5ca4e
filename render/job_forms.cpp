#include "render/job_forms.h"

#include "common/safe_text.h"
#include "render/message_words.h"

#include <algorithm>

namespace {

// What one stored form may take, in bytes of its lines.
constexpr qint64 kMaxFormBytes = 4 * 1024 * 1024;

// What a stored form may hold beside its drawing commands.
bool storableSetting(Epl2Command::Kind kind)
{
    switch (kind) {
    case Epl2Command::Density:
    case Epl2Command::Speed:
    case Epl2Command::Width:
    case Epl2Command::Length:
    case Epl2Command::Variable:
    case Epl2Command::Counter:
    case Epl2Command::Reference:
    case Epl2Command::CodePage:
    case Epl2Command::Direction:
        return true;
    default:
        break;
    }
    return false;
}

QByteArray justified(QByteArray value, int width, Justify justify)
{
    value.truncate(width);
    const int blanks = width - int(value.size());
    if (justify == Justify::Right)
        return QByteArray(blanks, ' ') + value;
    if (justify == Justify::Centre)
        return QByteArray(blanks / 2, ' ') + value + QByteArray(blanks - blanks / 2, ' ');
    return value;
}

} // namespace

void JobForms::startStoring(const QByteArray& name, int line, const QString& shown)
{
    if (m_memory.forms.contains(name)) {
        note(line, QStringLiteral("%1: the form is already stored; FK must delete it first").arg(shown));
        return;
    }
    m_storing = true;
    m_storingName = name;
    m_storingLine = line;
    m_storedBytes = 0;
}

void JobForms::store(const Epl2Command& command, int line, QByteArrayView text)
{
    switch (command.kind) {
    case Epl2Command::FormEnd: {
        m_storing = false;
        const QList<StoredLine> lines = std::exchange(m_storingLines, {});
        if (m_storedBytes + storedFormBytes(m_memory) > kMaxFormsBytes) {
            note(line, QStringLiteral("FE: the forms would take more than %1 bytes; \"%2\" is not stored")
                           .arg(kMaxFormsBytes)
                           .arg(printableExcerpt(m_storingName)));
            return;
        }
        m_memory.forms.insert(m_storingName, lines);
        ++m_memory.generation;
        return;
    }
    case Epl2Command::Blank:
        return;
    default:
        break;
    }
    if (drawsIntoImageBuffer(command.kind) || storableSetting(command.kind)) {
        if (m_storedBytes + text.size() > kMaxFormBytes) {
            note(line, QStringLiteral("%1: the form is longer than %2 bytes; the line is not stored")
                           .arg(printableExcerpt(text))
                           .arg(kMaxFormBytes));
            return;
        }
        m_storedBytes += text.size();
        m_storingLines << StoredLine{text.toByteArray(), line};
        return;
    }
    note(line, QStringLiteral("%1: cannot be stored in a form (FE is missing before it)").arg(printableExcerpt(text)));
}

void JobForms::finish()
{
    if (m_storing) {
        note(m_storingLine, QStringLiteral("the form \"%1\" is not ended by FE").arg(printableExcerpt(m_storingName)));
        m_storing = false;
        m_storingLines.clear();
    }
    if (!m_pending.isEmpty())
        note(m_dataLine,
             QStringLiteral("? expects %1 than the job has").arg(counted(m_pending.size(), "more data line")));
    m_pending.clear();
}

void JobForms::clear()
{
    m_variables.clear();
    m_counters.clear();
    m_recalled = false;
}

void JobForms::startRecall()
{
    m_recalled = true;
    m_variables.clear();
    m_counters.clear();
}

void JobForms::declare(const Epl2Command& command)
{
    if (command.kind == Epl2Command::Variable)
        m_variables.insert(command.number, Variable{command.value, command.justify, QByteArray()});
    else
        m_counters.insert(command.number,
                          Counter{command.value, command.justify, command.step, QByteArray(), false, 0});
}

bool JobForms::declares(TextSource source, int number) const
{
    return source == TextSource::Quoted ||
           (source == TextSource::Variable ? m_variables.contains(number) : m_counters.contains(number));
}

bool JobForms::startData(int line, const QString& shown)
{
    if (!m_recalled) {
        note(line, QStringLiteral("%1: no form was recalled with FR").arg(shown));
        return false;
    }
    m_dataLine = line;
    m_pending.clear();
    for (auto it = m_variables.keyValueBegin(); it != m_variables.keyValueEnd(); ++it)
        m_pending << DataSlot{false, it->first};
    for (auto it = m_counters.keyValueBegin(); it != m_counters.keyValueEnd(); ++it)
        m_pending << DataSlot{true, it->first};
    std::sort(m_pending.begin(), m_pending.end(), [](const DataSlot& a, const DataSlot& b) {
        return a.counter != b.counter ? !a.counter : a.number < b.number;
    });
    return true;
}

void JobForms::fillNext(QByteArrayView text, int line)
{
    fill(m_pending.takeFirst(), text, line);
}

void JobForms::fill(const DataSlot& slot, QByteArrayView text, int line)
{
    if (!slot.counter) {
        Variable& variable = m_variables[slot.number];
        variable.value = text.toByteArray();
        return;
    }
    Counter& counter = m_counters[slot.number];
    counter.text = text.first(std::min<qsizetype>(text.size(), counter.digits)).toByteArray();
    const bool digits = !counter.text.isEmpty() && std::all_of(counter.text.begin(), counter.text.end(),
                                                               [](char c) { return c >= '0' && c <= '9'; });
    counter.steps = digits;
    counter.value = digits ? counter.text.toLongLong() : 0;
    if (!digits)
        note(line, QStringLiteral("%1: counter C%2 steps only from a number; it prints this text on every label")
                       .arg(printableExcerpt(text))
                       .arg(slot.number));
}

QByteArray JobForms::counterText(const Counter& counter, quint64 labelsAhead) const
{
    if (!counter.steps)
        return counter.text;
    const qint64 modulus = modulusOf(counter);
    // The step times the labels ahead stays far inside 64 bits: steps are below 10^6, labels below 2^33.
    qint64 value = (counter.value + qint64(labelsAhead % quint64(modulus)) * counter.step) % modulus;
    if (value < 0)
        value += modulus;
    return QByteArray::number(value).rightJustified(counter.text.size(), '0');
}

// 10 to the power of the counter's digits (1 to 18): where its value wraps around.
qint64 JobForms::modulusOf(const Counter& counter)
{
    qint64 modulus = 1;
    for (int i = 0; i < counter.digits; ++i)
        modulus *= 10;
    return modulus;
}

QByteArray JobForms::dataOf(TextSource source, const QByteArray& text, int number, quint64 labelsAhead) const
{
    if (source == TextSource::Variable) {
        const Variable& variable = m_variables.value(number);
        return justified(variable.value, variable.length, variable.justify);
    }
    if (source == TextSource::Counter) {
        const Counter& counter = m_counters.value(number);
        return justified(counterText(counter, labelsAhead), counter.digits, counter.justify);
    }
    return text;
}

void JobForms::step(int labels)
{
    // Kept within the counter's digits, so that no number of P lines can run it past 64 bits.
    for (auto it = m_counters.begin(); it != m_counters.end(); ++it)
        it->value = it->steps ? (it->value + qint64(labels) * it->step) % modulusOf(*it) : it->value;
}
