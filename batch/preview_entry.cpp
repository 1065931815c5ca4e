// What the preview library offers to quorlex-label-batch.
#include "batch/job_preview.h"
#include "batch/preview_library.h"

#include <QGuiApplication>

namespace {

QtMessageHandler qtHandler = nullptr;

// Starting the offscreen platform without a session (cron, a service, su) tells on standard error that
// XDG_RUNTIME_DIR is not set; the pictures do not use it, so that one notice is not passed on.
void quietStartHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (type == QtWarningMsg && message.startsWith(QLatin1String("QStandardPaths: XDG_RUNTIME_DIR not set")))
        return;
    qtHandler(type, context, message);
}

// Pictures need letters from a font, which Qt loads only under a QGuiApplication. The batch never shows a
// window, so it runs on the offscreen platform wherever it is, with or without a display.
QCoreApplication* makeApplication(int& argc, char* argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qtHandler = qInstallMessageHandler(quietStartHandler);
    auto* app = new QGuiApplication(argc, argv);
    qInstallMessageHandler(qtHandler);
    return app;
}

constexpr PreviewLibraryEntry kEntry{kPreviewLibraryVersion, &makeApplication, &writePreviews};

} // namespace

extern "C" __attribute__((visibility("default"))) const PreviewLibraryEntry* quorlex_label_preview_entry()
{
    return &kEntry;
}
