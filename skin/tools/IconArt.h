#pragma once
// The program icon: a glossy blue tile in the banner's colours with a white arrow going out and
// an amber one coming in. One set of shapes on a 256-unit grid is both rasterised for every
// size the desktop's icon theme asks for and written out as SVG, so the sizes cannot drift apart.

#include <string>

#include "Canvas.h"

// The fixed sizes of the hicolor theme's application icons that the program ships.
constexpr int IconSizes[] = {16, 24, 32, 48, 64, 128, 256};

// The icon drawn at size x size pixels, 8 x 8 samples per pixel, with see-through corners.
RgbaPicture MakeIcon(int size);

// The same shapes as a scalable SVG document.
std::string MakeIconSvg();
