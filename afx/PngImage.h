// A bitmap loaded from a "PNG" resource with the system's imaging codecs.
#pragma once

#include <windows.h>

#include "afx/Gdi.h"

class CPngImage : public CBitmap {
public:
    // Loads resource `id` of type "PNG" from `module` (the resource handle
    // when null) into a 32-bit top-down DIB section. FALSE when anything
    // fails; the image is then empty.
    BOOL Load(UINT id, HINSTANCE module = nullptr);
};
