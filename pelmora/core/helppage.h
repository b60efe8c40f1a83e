// The help page (frame step 14).
#pragma once

void drawhelppage();
