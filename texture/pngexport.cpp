#include "pngexport.h"
#include "png.h"
#include "preview.h"

#include <cstdio>

// The preview's pixels carry 0 in their top byte, which the writer would
// store as alpha: an image every viewer shows as fully transparent.
constexpr uint32_t opaque = 0xFF000000u;

int exportpreview(const char *path)
{
    if (!pngbegin(path, previewside, previewside))
        return 0;
    for (int n = 0; n < previewsize; n++)
        if (!pngpixel(preview.image[n] | opaque)) {
            // A write failed before the last row: the writer leaves the reason unsaid.
            if (!png.message[0])
                std::snprintf(png.message, sizeof png.message, "cannot write %s: write error", path);
            pngabort();
            return 0;
        }
    return 1;
}
