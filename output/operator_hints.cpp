#include "output/operator_hints.h"

#include <iterator>

namespace {

struct HintRow
{
    OperatorHint hint;
    const char* question;
};

constexpr HintRow kHints[] = {
    {OperatorHint::PrinterOnline, "is the printer switched on and online?"},
    {OperatorHint::PrinterOnNetwork, "is the printer switched on and on the network?"},
    {OperatorHint::RawPrinterPort, "is it a printer taking raw jobs on that port?"},
    {OperatorHint::PrinterConnected, "is the printer connected and switched on?"},
    {OperatorHint::PrinterInUse, "is another program using the printer?"},
    {OperatorHint::PortInUse, "is another program using the port?"},
    {OperatorHint::LpGroup, "is your user in the lp group?"},
    {OperatorHint::DialoutGroup, "is your user in the dialout group?"},
};

constexpr bool inEnumOrder()
{
    for (std::size_t i = 0; i < std::size(kHints); ++i) {
        if (kHints[i].hint != OperatorHint(i))
            return false;
    }
    return std::size(kHints) == std::size_t(OperatorHint::DialoutGroup) + 1;
}
static_assert(inEnumOrder(), "one row for each hint, in the order of the enum");

} // namespace

QString operatorHint(OperatorHint hint)
{
    return QStringLiteral(" (%1)").arg(QLatin1String(kHints[std::size_t(hint)].question));
}
