#include "batch/job_preview.h"

#include "common/file_writing.h"
#include "common/folders.h"
#include "common/safe_text.h"
#include "output/destination.h"

#include "render/job_fields.h"
#include "render/label_render.h"

#include <QDir>
#include <QFile>

namespace {

// Warnings shown at most; a large CSV file with a field off every label is summed up after these.
constexpr int kMaxWarnings = 50;

QString writtenSoFar(qsizetype written, qsizetype total)
{
    return QStringLiteral("%1 of %2 pictures written").arg(written).arg(total);
}

} // namespace

int writePreviews(const CheckedLabels& labels, const BatchOptions& options, BatchEnvironment& env,
                  const std::function<void(const QString&)>& report)
{
    const QString folderProblem = makeFolder(options.previewDir);
    if (!folderProblem.isEmpty()) {
        report(QStringLiteral("--preview: cannot make the folder %1: %2; nothing was written")
                   .arg(visibleForMessage(QDir::toNativeSeparators(options.previewDir)), folderProblem));
        return kExitSendFailed;
    }
    const QDir folder(options.previewDir);
    int warnings = 0;
    const auto warn = [&warnings, &report](const QString& line) {
        if (++warnings <= kMaxWarnings)
            report(line);
    };
    if (env.startingToSend)
        env.startingToSend();

    const LabelSettings base = baseSettings(options);
    CheckedLabels::Cursor cursor(labels);
    CheckedLabel checked;
    const qsizetype total = labels.size();
    for (qsizetype i = 0; cursor.next(checked); ++i) {
        if (env.stopRequested && env.stopRequested()) {
            report(QStringLiteral("%1: %2").arg(stoppedBy(env), writtenSoFar(i, total)));
            return kExitInterrupted;
        }
        const QString name = QStringLiteral("job-%1.png").arg(i + 1, 5, 10, QLatin1Char('0'));
        const QString where = checked.row > 0
                                  ? QStringLiteral("row %1 (line %2), %3").arg(checked.row).arg(checked.line).arg(name)
                                  : name;
        const ComposedJob job = composeLabel(base, checked.values);
        if (!job.ok()) {
            report(QStringLiteral("%1; %2").arg(compositionProblem(checked, *job.fault), writtenSoFar(i, total)));
            return kExitSendFailed;
        }
        const RenderResult result = renderJob(job.bytes, RenderOptions{options.previewScale, 1});
        if (!result.error.isEmpty()) {
            report(QStringLiteral("--preview: %1; %2").arg(result.error, writtenSoFar(i, total)));
            return kExitSendFailed;
        }
        for (const JobNote& note : result.notUnderstood)
            warn(QStringLiteral("%1: job line %2 not understood: %3").arg(where).arg(note.line).arg(note.text));
        if (result.labels.isEmpty()) {
            warn(QStringLiteral("%1: the job prints no label; no picture").arg(where));
            continue;
        }
        const RenderedLabel& label = result.labels.first();
        for (const EdgeOverrun& overrun : label.overruns)
            warn(QStringLiteral("%1: %2").arg(where, describeFieldOverrun(job, label, overrun)));
        const QString cause = writePng(folder.filePath(name), label.image);
        if (!cause.isEmpty()) {
            report(QStringLiteral("%1; %2").arg(cause, writtenSoFar(i, total)));
            return kExitSendFailed;
        }
    }
    if (warnings > kMaxWarnings)
        report(QStringLiteral("... and %1 more warnings").arg(warnings - kMaxWarnings));
    return kExitOk;
}
