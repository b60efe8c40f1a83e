#include "pngexport.h"
#include "preview.h"

#include <cstdio>

// The preview's pixels carry 0 in their top byte, which the writer would
// store as alpha: an image every viewer shows as fully transparent.
constexpr uint32_t opaque = 0xFF000000u;

// The pixels of an image pngbegin or pngbeginmemory has opened.
static int writepreview(pngwriter &w)
{
    for (int n = 0; n < previewsize; n++)
        if (!pngpixel(w, preview.image[n] | opaque)) {
            if (!w.message[0])
                std::snprintf(w.message, sizeof w.message, "cannot write the image");
            pngabort(w);
            return 0;
        }
    return 1;
}

int exportpreview(pngwriter &w, const char *path)
{
    return pngbegin(w, path, previewside, previewside) && writepreview(w);
}

int exportpreviewmemory(pngwriter &w)
{
    return pngbeginmemory(w, previewside, previewside) && writepreview(w);
}

// Rendered rows to the writer.
static bool takepixels(void *context, const uint32_t *pixels, int count)
{
    pngwriter &w = *static_cast<pngwriter *>(context);
    for (int i = 0; i < count; i++)
        if (!pngpixel(w, pixels[i] | opaque))
            return false;
    return true;
}

int exportsurface(pngwriter &w, const char *path, const surfaceoptions &o)
{
    if (o.side == previewside)
        return exportpreview(w, path);
    if (!pngbegin(w, path, o.side, o.side))
        return 0;
    char why[128];
    if (!rendersurface(o, {takepixels, &w}, why, sizeof why)) {
        if (why[0])
            std::snprintf(w.message, sizeof w.message, "cannot render %s: %s", path, why);
        else if (!w.message[0])
            std::snprintf(w.message, sizeof w.message, "cannot write the image");
        pngabort(w);
        return 0;
    }
    return 1;
}
