// The window, the renderer and the streaming texture the frame is shown
// through, presenting and its pace, the mouse hand-over and the clock.
#include "app.h"
#include "sdlplatform.h"

#include <cstdio>

// Presenting waits for the display when the renderer has vsync. Without it
// (a virtual X server), or when presents keep coming back at once although
// vsync was granted, the rest of a 1/60 s frame is slept instead.
constexpr double framelength = 1.0 / 60.0;
constexpr double quickpresent = 0.002;     // seconds: a present that cannot have waited
constexpr int quickpresentlimit = 30;      // in a row, before vsync is no longer trusted

void failstartup(const char *what)
{
    char message[512];
    std::snprintf(message, sizeof message, "%s failed: %s", what, SDL_GetError());
    std::fprintf(stderr, "pelmora: %s\n", message);
    SDL_ShowSimpleMessageBox(SDL_MESSAGEBOX_ERROR, "ERROR", message, sdl.window);
}

double sdlclock()
{
    return double(SDL_GetPerformanceCounter() - sdl.clockstart) / double(sdl.clockfrequency);
}

// Windowed: 800 x 600, centred, not resizable. Full screen: the desktop's
// own mode, the 1024 x 768 frame scaled to fit with black bars. The full
// screen window is made at the screen's size and origin from the start, so
// it covers the screen even where no window manager resizes it.
int openwindow()
{
    SDL_Rect area = {SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, app.width, app.height};
    Uint32 flags = 0;
    if (app.fullscreen) {
        flags = SDL_WINDOW_FULLSCREEN_DESKTOP;
        if (SDL_GetDisplayBounds(0, &area) != 0) {
            failstartup("SDL_GetDisplayBounds");
            return 0;
        }
    }
    sdl.window = SDL_CreateWindow(app.title, area.x, area.y, area.w, area.h, flags);
    if (!sdl.window) {
        failstartup("SDL_CreateWindow");
        return 0;
    }
    return 1;
}

int startmouse()
{
    if (SDL_SetRelativeMouseMode(SDL_TRUE) != 0) {
        failstartup("SDL_SetRelativeMouseMode");
        return 0;
    }
    return 1;
}

int opendisplay()
{
    sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_ACCELERATED | SDL_RENDERER_PRESENTVSYNC);
    if (!sdl.renderer)
        sdl.renderer = SDL_CreateRenderer(sdl.window, -1, SDL_RENDERER_SOFTWARE);
    if (!sdl.renderer) {
        failstartup("SDL_CreateRenderer");
        return 0;
    }
    SDL_RendererInfo info;
    sdl.vsync = SDL_GetRendererInfo(sdl.renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
    if (SDL_RenderSetLogicalSize(sdl.renderer, app.width, app.height) != 0) {
        failstartup("SDL_RenderSetLogicalSize");
        return 0;
    }
    sdl.texture = SDL_CreateTexture(sdl.renderer, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, app.width,
                                    app.height);
    if (!sdl.texture) {
        failstartup("SDL_CreateTexture");
        return 0;
    }
    SDL_SetTextureBlendMode(sdl.texture, SDL_BLENDMODE_NONE);
    sdl.width = app.width;
    sdl.height = app.height;
    sdl.frame.assign(size_t(sdl.width) * size_t(sdl.height), 0);
    return 1;
}

void closeall()
{
    if (sdl.texture)
        SDL_DestroyTexture(sdl.texture);
    if (sdl.renderer)
        SDL_DestroyRenderer(sdl.renderer);
    if (sdl.window)
        SDL_DestroyWindow(sdl.window);
    sdl.texture = nullptr;
    sdl.renderer = nullptr;
    sdl.window = nullptr;
    SDL_Quit();
}

int sdllock(framebuffer *fb)
{
    if (sdl.frame.empty())
        return 0;
    *fb = {sdl.frame.data(), sdl.width * 4, sdl.width, sdl.height};
    return 1;
}

static void pace()
{
    double now = sdlclock();
    if (sdl.vsync) {
        sdl.quickpresents = now - sdl.lastpresent < quickpresent ? sdl.quickpresents + 1 : 0;
        sdl.lastpresent = now;
        if (sdl.quickpresents < quickpresentlimit)
            return;
        sdl.vsync = 0;      // granted, but presents do not wait
    }
    double wait = sdl.lastpresent + framelength - now;
    if (wait > 0.0 && wait <= framelength)
        SDL_Delay(Uint32(wait * 1000.0));
    sdl.lastpresent = sdlclock();
}

void sdlpresent(const framebuffer &fb)
{
    if (!sdl.texture)
        return;
    SDL_UpdateTexture(sdl.texture, nullptr, fb.pixels, fb.pitch);
    SDL_SetRenderDrawColor(sdl.renderer, 0, 0, 0, 255);
    SDL_RenderClear(sdl.renderer);
    SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, nullptr);
    SDL_RenderPresent(sdl.renderer);
    pace();
}

void sdlrepresent()
{
    if (!sdl.texture)
        return;
    SDL_RenderClear(sdl.renderer);
    SDL_RenderCopy(sdl.renderer, sdl.texture, nullptr, nullptr);
    SDL_RenderPresent(sdl.renderer);
}

// Windowed mode only: the system cursor takes over where the designer's
// cursor left the frame; it is taken back when it moves inside again.
void sdlreleasemouse(int x, int y)
{
    SDL_SetRelativeMouseMode(SDL_FALSE);
    SDL_WarpMouseInWindow(sdl.window, x, y);
    sdl.released = 1;
    sdl.warpx = x;
    sdl.warpy = y;
}
