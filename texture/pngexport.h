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
