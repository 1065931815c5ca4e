#pragma once

#include <QByteArray>
#include <QString>

class QProcess;

// The whole file, or "<unreadable>" when it cannot be opened, so that a comparison with expected bytes
// fails and says why.
QByteArray readFile(const QString& path);

// Writes the whole file; false when any of it could not be written.
bool writeFile(const QString& path, const QByteArray& bytes);

// Lets the program that `process` starts end with the test (SIGTERM when the test process goes, however it
// goes), after whatever the process's own child modifier does.
void endsWithTest(QProcess& process);
