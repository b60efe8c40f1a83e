// The five buttons along the top (frame step 19).
#pragma once

// Draws the buttons; returns the action of the one that acts, or null.
void (*stepbuttons())();
