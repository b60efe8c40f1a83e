// The built-in file chooser's keys and mouse (the table in chooser.h).
#pragma once
#include "chooser.h"

#include <cstdint>

// What a key event does.
void chooserkey(uint32_t event);
// What this frame's mouse does (the cursor and modal's button edges).
void choosermouse(const chooserlayout &l);
