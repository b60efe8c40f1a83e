// The control list and the roles every control shares (frame step 5).
#pragma once

// The control list as built at start-up (ids as in controlid).
void buildcontrols();
// Slider number n (0..15 group sliders 4 c + g, 16 global scale, 17 shape)
// and its control.
int slidercontrol(int n);
// The roles of this frame from the buttons now and in the previous frame.
// While a dialog has the mouse no control has a role: the active one lets
// go of its capture without a release.
void updateroles(bool dialogopen);
// Whether (x, y) lies in the control's box.
bool insidecontrol(int id, int x, int y);
