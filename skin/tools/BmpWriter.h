#pragma once
// Writes a Canvas as a palette Windows bitmap (8 or 4 bits per pixel, uncompressed, bottom-up).

#include <string>

class Canvas;
struct Rgb;

// The key colour keeps its exact value through the palette reduction and no other pixel is
// allowed to end up equal to it, so masked drawing leaves out exactly the key pixels.
// Returns false when the file cannot be written.
bool WriteBmp(const std::string &path, const Canvas &picture, int bitsPerPixel, Rgb key);
