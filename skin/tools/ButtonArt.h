#pragma once
// The button pictures of the five themes, each in its normal, mouse-on and mouse-down state.

#include <string>
#include <vector>

#include "Canvas.h"

struct ButtonPicture {
    std::string Name; // resource name, e.g. "WINXP_BUTTON_NORMAL"
    Canvas Picture;
    int BitsPerPixel; // 8 (256 colours) or 4 (16 colours)
    Rgb Key;          // the top-left pixel: drawn transparent when a button draws masked
};

std::vector<ButtonPicture> MakeButtonPictures();
