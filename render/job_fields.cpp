#include "render/job_fields.h"

#include "common/safe_text.h"

QString fieldNameIn(const ComposedJob& job, const RenderedLabel& label, int field)
{
    if (const std::optional<PrintedField> printed = job.fieldOnLine(label.fields.at(field).line))
        return printedFieldName(*printed);
    return describeField(label, field);
}

QString describeFieldOverrun(const ComposedJob& job, const RenderedLabel& label, const EdgeOverrun& overrun)
{
    return QStringLiteral("%1 runs %2 past the %3 edge")
        .arg(fieldNameIn(job, label, overrun.field), counted(overrun.dots, "dot"), edgeName(overrun.edge));
}
