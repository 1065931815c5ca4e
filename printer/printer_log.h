#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QVariant>

#include <cstdio>
#include <functional>

// One line per event on standard output, as text for a person or as JSON lines for a script. Every text
// that came from a job is made safe first: no raw control character and no unbounded text reaches the
// terminal.
class PrinterLog
{
public:
    explicit PrinterLog(bool json, FILE* out = stdout) : m_json(json), m_out(out) {}

    using Fields = QList<QPair<QString, QVariant>>;

    // `kind` names the event ("label", "problem", "stream", ...); `text` is the line for a person; `fields`
    // are the same facts for a script (numbers stay numbers).
    void write(const QString& kind, const QString& text, const Fields& fields);

    // Also hands every event to `listener` (the window), after its line is written; null stops that.
    using Listener = std::function<void(const QString& kind, const Fields& fields)>;
    void setListener(Listener listener) { m_listener = std::move(listener); }

private:
    bool m_json;
    FILE* m_out;
    Listener m_listener;
};
