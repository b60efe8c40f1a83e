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

int exportbegin(exportjob &j, const char *path, const surfaceoptions &o)
{
    surfaceend(j.surface);
    std::snprintf(j.path, sizeof j.path, "%s", path);
    if (o.side == previewside)
        return exportpreview(j.writer, path);
    if (!pngbegin(j.writer, path, o.side, o.side))
        return 0;
    if (!surfacebegin(j.surface, o)) {
        std::snprintf(j.writer.message, sizeof j.writer.message, "cannot render %s: %s", path, j.surface.why);
        pngabort(j.writer);
        return 0;
    }
    return 1;
}

int exportstep(exportjob &j)
{
    int more = surfacestep(j.surface, {takepixels, &j.writer});
    if (more < 0) {
        if (j.surface.why[0])
            std::snprintf(j.writer.message, sizeof j.writer.message, "cannot render %s: %s", j.path, j.surface.why);
        else if (!j.writer.message[0])
            std::snprintf(j.writer.message, sizeof j.writer.message, "cannot write the image");
        pngabort(j.writer);
    }
    return more;
}

void exportabort(exportjob &j)
{
    surfaceend(j.surface);
    pngabort(j.writer);
}

double exportprogress(const exportjob &j)
{
    return j.surface.work && j.surface.steps > 0 ? double(j.surface.done) / double(j.surface.steps) : 1.0;
}

int exportsurface(pngwriter &w, const char *path, const surfaceoptions &o)
{
    exportjob j;
    int more = exportbegin(j, path, o) ? 1 : -1;
    while (more > 0)
        more = exportstep(j);
    std::snprintf(w.message, sizeof w.message, "%s", j.writer.message);
    return more == 0;
}
