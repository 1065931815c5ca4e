#include "windows/label_outline.h"

#include <cmath>

const OutlineTwips& labelOutline(LabelSize size)
{
    struct SizeOutline
    {
        LabelSize size;
        OutlineTwips outline; // width, height, left, top
    };
    static constexpr SizeOutline kOutlines[] = {
        {LabelSize::M1, {1401, 1061, 1100, 1247}}, {LabelSize::M2, {1701, 1061, 957, 1247}},
        {LabelSize::M3, {1701, 1361, 957, 1247}},  {LabelSize::M6, {2041, 2041, 787, 907}},
        {LabelSize::M9, {3062, 1701, 276, 1077}},
    };
    for (const SizeOutline& each : kOutlines) {
        if (each.size == size)
            return each.outline;
    }
    return kOutlines[2].outline;
}

int twipsToPixels(float twips)
{
    return int(std::lround(double(twips) / 15.0));
}

QRect outlinePixels(const OutlineTwips& outline)
{
    return QRect(twipsToPixels(outline.left), twipsToPixels(outline.top), twipsToPixels(outline.width),
                 twipsToPixels(outline.height));
}
