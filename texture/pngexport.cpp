#include "pngexport.h"
#include "png.h"
#include "preview.h"

#include <cstdio>

// The preview's pixels carry 0 in their top byte, which the writer would
// store as alpha: an image every viewer shows as fully transparent.
constexpr uint32_t opaque = 0xFF000000u;

// The pixels of an image pngbegin or pngbeginmemory has opened.
static int writepreview()
{
    for (int n = 0; n < previewsize; n++)
        if (!pngpixel(preview.image[n] | opaque)) {
            if (!png.message[0])
                std::snprintf(png.message, sizeof png.message, "cannot write the image");
            pngabort();
            return 0;
        }
    return 1;
}

int exportpreview(const char *path)
{
    return pngbegin(path, previewside, previewside) && writepreview();
}

int exportpreviewmemory()
{
    return pngbeginmemory(previewside, previewside) && writepreview();
}
