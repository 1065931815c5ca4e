#pragma once

#include "batch/batch_jobs.h"
#include "batch/batch_run.h"

#include <QList>
#include <QString>

#include <functional>

// --preview: instead of sending the jobs, composes each one in turn and draws its first label into `options.previewDir`
// as job-00001.png, job-00002.png, ... at `options.previewScale` pixels per printer dot. Every field that runs past an
// edge of its label, and every job line the drawing does not understand, is reported through `report`, naming the job
// (or CSV row), the picture, the field ("Item") and by how many dots; they do not change the exit status. Returns
// kExitOk, kExitSendFailed when the folder or a picture cannot be written (or there is no font), or kExitInterrupted
// when `env.stopRequested` says so between pictures. Needs a QGuiApplication.
int writePreviews(const CheckedLabels& labels, const BatchOptions& options, BatchEnvironment& env,
                  const std::function<void(const QString&)>& report);
