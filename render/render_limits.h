#pragma once

// The largest number of pixels per printer dot a picture is drawn at. Apart from the drawing, so that a
// program can check a scale it is given without QtGui.
inline constexpr int kMaxRenderScale = 16;
