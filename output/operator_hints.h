#pragma once

#include <QString>

// What an operator can check when a printer or a port fails for a cause that only the operator can put right.
// Every message that names such a cause ends with one of these questions in brackets.
enum class OperatorHint {
    PrinterOnline,    // is the printer switched on and online?
    PrinterOnNetwork, // is the printer switched on and on the network?
    RawPrinterPort,   // is it a printer taking raw jobs on that port?
    PrinterConnected, // is the printer connected and switched on?
    PrinterInUse,     // is another program using the printer?
    PortInUse,        // is another program using the port?
    LpGroup,          // is your user in the lp group?
    DialoutGroup,     // is your user in the dialout group?
};

// The question as a message ends with it, with a blank before it: " (is your user in the lp group?)".
QString operatorHint(OperatorHint hint);
