// The system clipboard: UTF-8 on both sides of the seam (the core turns it
// into code page 437 and back).
#include "sdlplatform.h"

#include <cstdlib>
#include <cstring>

// A new text for the core (free() it), or null when the clipboard holds none.
char *getclipboardutf8()
{
    char *utf8 = SDL_GetClipboardText();
    if (!utf8)
        return nullptr;
    char *text = utf8[0] ? strdup(utf8) : nullptr;
    SDL_free(utf8);
    return text;
}

void setclipboardutf8(const char *text)
{
    SDL_SetClipboardText(text);
}
