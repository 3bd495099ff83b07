#pragma once
// Writes a Canvas as a baseline JPEG with three colour components, through libjpeg.

#include <string>

class Canvas;

bool WriteJpeg(const std::string &path, const Canvas &picture, int quality);
