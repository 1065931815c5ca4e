#pragma once

#include "printing/label_settings.h"

#include <QRect>

// Outline of the label in the window's preview, in twips relative to the preview panel.
struct OutlineTwips
{
    float width;
    float height;
    float left;
    float top;
};

// The outline each label size draws (the stored-form size's for no size).
const OutlineTwips& labelOutline(LabelSize size);

// Twips to pixels at 15 twips to the pixel, rounded to the nearest pixel.
int twipsToPixels(float twips);
QRect outlinePixels(const OutlineTwips& outline);
