#include "render/job_fields.h"

QString fieldNameIn(const ComposedJob& job, const RenderedLabel& label, int field)
{
    if (const std::optional<PrintedField> printed = job.fieldOnLine(label.fields.at(field).line))
        return printedFieldName(*printed);
    return describeField(label, field);
}

QString describeFieldOverrun(const ComposedJob& job, const RenderedLabel& label, const EdgeOverrun& overrun)
{
    return QStringLiteral("%1 runs %2 dot%3 past the %4 edge")
        .arg(fieldNameIn(job, label, overrun.field))
        .arg(overrun.dots)
        .arg(QLatin1String(overrun.dots == 1 ? "" : "s"))
        .arg(edgeName(overrun.edge));
}
