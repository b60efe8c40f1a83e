// Idle is idle: between frames the main loop asks when the designer needs
// its next frame and sleeps until then or until an event comes.
//
// Nothing on the screen changes without input but at these times:
//   the cursor's blink      on at the blink deadline, off half a second before
//   a quick-help text       gone when its timer runs out
//   a render to retry       retryat
//   a live compile          compileat
//   a status message        gone at statusuntil
//   the open dialog         its own times (dialogkind::due: the chooser's blink)
// A frame is due at once: before the first one, when input came (input.h's
// inputpending), after any frame that had input (a button's action runs
// after its frame was drawn and shows in the next), while a render or a
// close waits, and when the loaded script changed on disk.
#pragma once

// Seconds from `now` until the designer needs a frame; 0: at once. Looks
// at the loaded script's file when its time has come (pollscript).
double framewait(double now);
