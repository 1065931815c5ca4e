#include "printing/mscomm.h"

MSComm::MSComm(QObject* parent) : QObject(parent) {}

MSComm::MSComm(std::unique_ptr<SerialLine> line, QObject* parent) : QObject(parent), port_(std::move(line)) {}

MSComm::~MSComm() = default;

bool MSComm::setPortOpen(bool open)
{
    if (!open) {
        port_.close();
        return true;
    }
    return port_.open();
}
