#pragma once

#include <QString>

#include <functional>

class QWidget;

// The message the window shows with a printer's answer: an information box for "ready" and "unknown", a
// warning for a fault, with the printer's words as plain text.
void showPrinterStatus(QWidget* parent, const QString& text, bool fault);

// Replaces the message box, e.g. in tests that read it themselves; an empty sink restores the box.
using PrinterStatusSink = std::function<void(QWidget* parent, const QString& text, bool fault)>;
void setPrinterStatusSink(PrinterStatusSink sink);
