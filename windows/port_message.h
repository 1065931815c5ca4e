#pragma once

#include <QString>

#include <functional>

class QMessageBox;
class QWidget;

// The one message every failed Print shows: "ComPort 에러 입니다." with the cause as its detail.
QMessageBox* createPortErrorBox(QWidget* parent, const QString& cause);

// Shows the message and returns when the operator has closed it (or hands it to the sink set below).
void showPortError(QWidget* parent, const QString& cause);

// Replaces the message box, e.g. in tests that answer it themselves; an empty sink restores the box.
using PortErrorSink = std::function<void(QWidget* parent, const QString& cause)>;
void setPortErrorSink(PortErrorSink sink);
