#include "output/serial_line.h"

int LineSettings::bitsPerByte() const
{
    const int parityBits = parity == QSerialPort::NoParity ? 0 : 1;
    const int stop = stopBits == QSerialPort::OneStop ? 1 : 2; // one and a half counts as two
    return 1 + int(dataBits) + parityBits + stop;
}
