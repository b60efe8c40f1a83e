// The designer's PNG export of the preview image.
#pragma once
#include "png.h"
#include "surface.h"

// Writes the 256 x 256 preview image to path through the PNG writer w, row
// by row, each pixel opaque (alpha 255). Returns 1, or 0 with the reason in
// w.message; a failed export leaves no file behind.
int exportpreview(pngwriter &w, const char *path);

// The same image kept in w's memory, byte for byte the file exportpreview
// writes; take it with pngtakememory. Returns 1, or 0 with w.message.
int exportpreviewmemory(pngwriter &w);

// The designer's texture on a surface of o.side (surface.h), written as it
// is rendered: side 256 is the preview image as it stands (exportpreview);
// any other side is rendered anew. Returns 1, or 0 with the reason in
// w.message; a failed export leaves no file behind.
int exportsurface(pngwriter &w, const char *path, const surfaceoptions &o);

// The same in steps, for a caller that shows how far it is: exportbegin,
// then exportstep until it returns 0 (the file is in place) or -1 (failed,
// nothing left behind); exportabort gives up. Side 256 is written whole by
// exportbegin, and its first step returns 0.
struct exportjob {
    pngwriter writer;                   // the message of a failure
    surfacejob surface;
    char path[safepathmax];
};

// Returns 1, or 0 with the reason in j.writer.message.
int exportbegin(exportjob &j, const char *path, const surfaceoptions &o);
int exportstep(exportjob &j);
void exportabort(exportjob &j);
// How far it is, 0 to 1.
double exportprogress(const exportjob &j);
