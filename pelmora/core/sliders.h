// The eighteen sliders (frame step 15).
#pragma once

void stepsliders();
