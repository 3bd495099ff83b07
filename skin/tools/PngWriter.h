#pragma once
// Writes an RgbaPicture as an 8-bit RGBA PNG, through libpng.

#include <string>

struct RgbaPicture;

bool WritePng(const std::string &path, const RgbaPicture &picture);
