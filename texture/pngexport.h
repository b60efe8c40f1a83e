// The designer's PNG export of the preview image.
#pragma once

// Writes the 256 x 256 preview image to path through the PNG writer, row by
// row, each pixel opaque (alpha 255). Returns 1, or 0 with the reason in
// png.message; a failed export leaves no file behind.
int exportpreview(const char *path);

// The same image kept in memory, byte for byte the file exportpreview
// writes; take it with pngtakememory. Returns 1, or 0 with png.message.
int exportpreviewmemory();
