#pragma once

#include "batch/batch_environment.h"
#include "batch/batch_jobs.h"

#include <QCoreApplication>
#include <QString>

#include <functional>

// --preview draws with QtGui, which the batch loads only then: the drawing lives in a library of its own
// (job_preview.h), loaded when --preview is given, so that every other run stays a QtCore program.

inline constexpr char kPreviewLibraryFile[] = "libquorlex-label-preview.so";
inline constexpr char kPreviewLibraryVariable[] = "QUORLEX_LABEL_PREVIEW_LIBRARY";
inline constexpr char kPreviewLibraryEntryName[] = "quorlex_label_preview_entry";
inline constexpr int kPreviewLibraryVersion = 1;

struct PreviewLibraryEntry
{
    int version;
    // The application the pictures need: a QGuiApplication on the offscreen platform.
    QCoreApplication* (*makeApplication)(int& argc, char* argv[]);
    int (*writePreviews)(const CheckedLabels& labels, const BatchOptions& options, BatchEnvironment& env,
                         const std::function<void(const QString&)>& report);
};

// The library's entry, loaded on first use; null, with `failure` set, when it cannot be loaded.
const PreviewLibraryEntry* previewLibrary(QString* failure);
