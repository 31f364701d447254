// Scaling the mixer's artwork from its high-resolution masters to the pixel
// size of the current zoom and DPI: every target pixel is the area-weighted
// average of the master pixels it covers, computed on premultiplied colour,
// so edges stay smooth at any scale instead of being pixel-doubled or
// aliased. Pure and portable.
#pragma once

#include <cstdint>
#include <vector>

// Pixels are 0xAARRGGBB words, rows top to bottom. `source` holds straight
// (not premultiplied) alpha; the result is premultiplied, as AlphaBlend
// wants it. Sizes of 0 give an empty result.
std::vector<uint32_t> ResampleArea(const uint32_t* source, int sourceWidth, int sourceHeight, int width, int height);
