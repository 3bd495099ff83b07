#pragma once
// The tool bar banner: a blue gradient strip with a light wave pattern, 742 x 34. The image panel
// tiles it along a window wider than that, so every part of it repeats within the width: its
// right edge runs on into its left without a seam.

#include "Canvas.h"

Canvas MakeBanner();
