#pragma once

#include "printing/composed_job.h"
#include "render/label_render.h"

#include <QString>

// The fields of a label drawn from a composed job, named as the operator knows them. The composer records
// which job line prints which field, so the name is exact for stored forms and five-across labels too; a
// line it did not record keeps the drawing's own description ("field 1 "ABC" (job line 6)").

// "Item", "Version", "Data", "Checksum", "Item (copy 3)".
QString fieldNameIn(const ComposedJob& job, const RenderedLabel& label, int field);

// "Item runs 30 dots past the bottom edge".
QString describeFieldOverrun(const ComposedJob& job, const RenderedLabel& label, const EdgeOverrun& overrun);
