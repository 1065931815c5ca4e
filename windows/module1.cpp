#include "windows/module1.h"

namespace Module1 {

LabelPositions currentPositions()
{
    return LabelPositions{ItemX, ItemY, VerX, VerY, DataX, DataY, ChksumX, ChksumY, LabelLength};
}

void setPositions(const LabelPositions& positions)
{
    ItemX = positions.ItemX;
    ItemY = positions.ItemY;
    VerX = positions.VerX;
    VerY = positions.VerY;
    DataX = positions.DataX;
    DataY = positions.DataY;
    ChksumX = positions.ChksumX;
    ChksumY = positions.ChksumY;
    LabelLength = positions.LabelLength;
}

} // namespace Module1
