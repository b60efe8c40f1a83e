// The quick-help bar (frame step 20).
#pragma once

void stepquickhelp();
