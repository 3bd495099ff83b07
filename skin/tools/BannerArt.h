#pragma once
// The tool bar banner: a blue gradient strip with a light wave pattern, 742 x 34.

#include "Canvas.h"

Canvas MakeBanner();
