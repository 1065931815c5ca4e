#include "windows/port_message.h"

#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSpacerItem>

namespace {

PortErrorSink& currentSink()
{
    static PortErrorSink sink;
    return sink;
}

} // namespace

QMessageBox* createPortErrorBox(QWidget* parent, const QString& cause)
{
    auto* box = new QMessageBox(parent);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setIcon(QMessageBox::Critical);
    box->setWindowTitle(QStringLiteral("Quorlex Label"));
    box->setText(QStringLiteral("ComPort 에러 입니다."));
    box->setTextFormat(Qt::PlainText);
    box->setInformativeText(cause);
    // The detail names paths and addresses from the environment or the operator: shown as plain text, so
    // that "<i>" in a device name is not taken for formatting.
    if (auto* detail = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        detail->setTextFormat(Qt::PlainText);
    box->setStandardButtons(QMessageBox::Ok);
    // Wide enough that a cause naming a device or a network printer reads on one or two lines, not as a
    // narrow column.
    if (auto* grid = qobject_cast<QGridLayout*>(box->layout()))
        grid->addItem(new QSpacerItem(420, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                      grid->columnCount());
    return box;
}

void showPortError(QWidget* parent, const QString& cause)
{
    if (const PortErrorSink& sink = currentSink()) {
        sink(parent, cause);
        return;
    }
    createPortErrorBox(parent, cause)->exec();
}

void setPortErrorSink(PortErrorSink sink)
{
    currentSink() = std::move(sink);
}
