#include "printer_window/received_labels.h"

namespace {

QVariant fieldOf(const PrinterLog::Fields& fields, const char* name)
{
    for (const auto& [key, value] : fields) {
        if (key == QLatin1String(name))
            return value;
    }
    return QVariant();
}

void addBounded(QStringList& to, const QStringList& more)
{
    for (const QString& each : more) {
        if (to.size() >= PrinterActivity::kMaxProblemsPerLabel)
            return;
        to << each;
    }
}

// Labels drawn but never logged (lost to a full disk) must not pile up what was said of them.
constexpr int kMaxDrawnKept = 4096;

} // namespace

void PrinterActivity::event(const QString& kind, const PrinterLog::Fields& fields)
{
    const quint64 stream = fieldOf(fields, "stream").toULongLong();
    if (kind == QLatin1String("label")) {
        ReceivedLabel label;
        label.number = fieldOf(fields, "label").toULongLong();
        label.dots = QSize(fieldOf(fields, "width").toInt(), fieldOf(fields, "length").toInt());
        label.stream = stream;
        label.line = fieldOf(fields, "line").toInt();
        label.time = QDateTime::currentDateTime(); // only for labels: the local time costs a look at the zone
        label.file = fieldOf(fields, "file").toString();
        label.problems = m_heldProblems.take(label.number);
        addBounded(label.problems, m_streamProblems.take(stream));
        const Drawn drawn = m_drawn.take(label.number);
        label.fieldsInWords = drawn.words;
        label.pastEdges = drawn.pastEdges;
        if (m_receiving.contains(stream))
            m_lastLabelOfStream.insert(stream, label.number);
        m_heldNumbers.remove(label.number);
        m_arrived << label;
        ++m_printed;
    } else if (kind == QLatin1String("held")) {
        const quint64 number = fieldOf(fields, "label").toULongLong();
        if (number == 0) // the summary at the end
            return;
        m_heldNumbers.insert(number);
        QStringList problems = m_streamProblems.take(stream);
        if (!problems.isEmpty())
            m_heldProblems.insert(number, problems);
        if (m_receiving.contains(stream))
            m_lastLabelOfStream.insert(stream, number);
    } else if (kind == QLatin1String("problem")) {
        if (stream == 0)
            return;
        const int line = fieldOf(fields, "line").toInt();
        const QString text = fieldOf(fields, "text").toString();
        QStringList& problems = m_streamProblems[stream];
        if (problems.size() < kMaxProblemsPerLabel)
            problems << (line > 0 ? QStringLiteral("line %1: %2").arg(line).arg(text) : text);
    } else if (kind == QLatin1String("stream")) {
        m_receiving.insert(stream, fieldOf(fields, "from").toString());
    } else if (kind == QLatin1String("end")) {
        m_receiving.remove(stream);
        const QStringList left = m_streamProblems.take(stream);
        const auto last = m_lastLabelOfStream.constFind(stream);
        if (last != m_lastLabelOfStream.constEnd() && !left.isEmpty()) {
            if (m_heldNumbers.contains(last.value()))
                addBounded(m_heldProblems[last.value()], left);
            else
                addBounded(m_late[last.value()], left);
        }
        m_lastLabelOfStream.remove(stream);
    }
}

void PrinterActivity::labelDrawn(quint64 number, const QString& fieldsInWords, const QList<QRect>& pastEdges)
{
    if (m_drawn.size() >= kMaxDrawnKept)
        m_drawn.clear();
    m_drawn.insert(number, {fieldsInWords, pastEdges});
}

QList<ReceivedLabel> PrinterActivity::takeArrived()
{
    return std::exchange(m_arrived, {});
}

QHash<quint64, QStringList> PrinterActivity::takeLateProblems()
{
    return std::exchange(m_late, {});
}

int ReceivedLabels::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_labels.size());
}

int ReceivedLabels::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant ReceivedLabels::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const ReceivedLabel& label = at(index.row());
    if (role == Qt::TextAlignmentRole)
        return index.column() == Time ? QVariant() : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role != Qt::DisplayRole && role != Qt::AccessibleTextRole)
        return QVariant();
    const bool spoken = role == Qt::AccessibleTextRole;
    switch (index.column()) {
    case Number:
        return spoken ? QStringLiteral("label %1").arg(label.number) : QString::number(label.number);
    case Size:
        return spoken ? QStringLiteral("%1 by %2 dots").arg(label.dots.width()).arg(label.dots.height())
                      : QStringLiteral("%1 × %2").arg(label.dots.width()).arg(label.dots.height());
    case Time:
        return label.time.toString(QStringLiteral("HH:mm:ss"));
    case Stream:
        return spoken ? QStringLiteral("stream %1").arg(label.stream) : QString::number(label.stream);
    default:
        return QVariant();
    }
}

QVariant ReceivedLabels::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case Number:
        return QStringLiteral("Label");
    case Size:
        return QStringLiteral("Dots");
    case Time:
        return QStringLiteral("Time");
    case Stream:
        return QStringLiteral("Stream");
    default:
        return QVariant();
    }
}

void ReceivedLabels::add(const QList<ReceivedLabel>& arrived)
{
    if (arrived.isEmpty())
        return;
    // Only the newest kKept of those that arrived can stay.
    const qsizetype taken = std::min<qsizetype>(arrived.size(), kKept);
    const int existing = rowCount();
    const int keep = std::min(existing, int(kKept - taken));
    if (keep < existing) {
        beginRemoveRows(QModelIndex(), keep, existing - 1);
        m_labels.resize(size_t(keep));
        endRemoveRows();
    }
    beginInsertRows(QModelIndex(), 0, int(taken) - 1);
    for (qsizetype i = arrived.size() - taken; i < arrived.size(); ++i)
        m_labels.push_front(arrived.at(i));
    endInsertRows();
}

bool ReceivedLabels::addProblems(const QHash<quint64, QStringList>& problems, int row)
{
    bool atRow = false;
    for (auto each = problems.constBegin(); each != problems.constEnd(); ++each) {
        // Numbers fall with the rows, so the row is found by halving.
        const auto found =
            std::lower_bound(m_labels.begin(), m_labels.end(), each.key(),
                             [](const ReceivedLabel& label, quint64 number) { return label.number > number; });
        if (found == m_labels.end() || found->number != each.key())
            continue;
        addBounded(found->problems, each.value());
        atRow = atRow || int(found - m_labels.begin()) == row;
    }
    return atRow;
}
