// The editor's context menu (frame steps 12 and 13).
#pragma once

void stepmenu();
void openmenu();
