// The system clipboard: UTF-8 there, code page 437 in the designer.
#include "cp437.h"
#include "sdlplatform.h"

#include <cstdlib>
#include <cstring>
#include <string>

// A new text for the core (free() it), or null when the clipboard holds
// none; characters code page 437 lacks are dropped.
char *getclipboardcp437()
{
    char *utf8 = SDL_GetClipboardText();
    if (!utf8)
        return nullptr;
    char *text = static_cast<char *>(std::malloc(std::strlen(utf8) + 1));
    if (text) {
        char *out = text;
        for (const char *p = utf8; *p;) {
            int c = cp437ofcodepoint(nextcodepoint(p));
            if (c > 0)
                *out++ = char(c);
        }
        *out = 0;
    }
    bool empty = !utf8[0];
    SDL_free(utf8);
    if (empty) {
        std::free(text);
        return nullptr;
    }
    return text;
}

void setclipboardcp437(const char *text)
{
    std::string utf8;
    for (const char *p = text; *p; p++)
        appendutf8(utf8, codepointofcp437(static_cast<unsigned char>(*p)));
    SDL_SetClipboardText(utf8.c_str());
}
