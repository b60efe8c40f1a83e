// A key typed into the designer's expression editor, and what follows a
// change: the modified mark, a live compile due, a history step, the status
// line's word about what a paste left out. Used by the frame's key events
// and by the context menu's entries.
#pragma once
#include <cstdint>

// editkey on the designer's editor with all that follows; an editresult.
int typeinto(uint32_t event);
