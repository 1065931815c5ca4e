// What the drawing reports about a label in words: its fields and what runs past its edges.
#include "render/label_render.h"

#include "common/safe_text.h"
#include "render/epl2_commands.h"
#include "render/message_words.h"

QString edgeName(LabelEdge edge)
{
    switch (edge) {
    case LabelEdge::Left:
        return QStringLiteral("left");
    case LabelEdge::Top:
        return QStringLiteral("top");
    case LabelEdge::Right:
        return QStringLiteral("right");
    case LabelEdge::Bottom:
        break;
    }
    return QStringLiteral("bottom");
}

QString describeField(const RenderedLabel& label, int field)
{
    const RenderedField& f = label.fields.at(field);
    const QString where =
        f.form.isEmpty() ? QStringLiteral("job line %1").arg(f.line)
                         : QStringLiteral("job line %1, form %2").arg(f.line).arg(printableExcerpt(f.form.toLatin1()));
    return QStringLiteral("field %1 \"%2\" (%3)")
        .arg(field + 1)
        .arg(printableExcerpt(f.text.trimmed().toLatin1(), 24), where);
}

QString describeOverrun(const ShapeOverrun& overrun)
{
    const QString where =
        overrun.form.isEmpty()
            ? QStringLiteral("job line %1").arg(overrun.line)
            : QStringLiteral("job line %1, form %2").arg(overrun.line).arg(printableExcerpt(overrun.form.toLatin1()));
    return QStringLiteral("%1 (%2) runs %3 past the %4 edge")
        .arg(overrun.what, where, counted(overrun.dots, "dot"), edgeName(overrun.edge));
}

QString describeOverrun(const RenderedLabel& label, const EdgeOverrun& overrun)
{
    return QStringLiteral("%1 runs %2 past the %3 edge")
        .arg(describeField(label, overrun.field), counted(overrun.dots, "dot"), edgeName(overrun.edge));
}
