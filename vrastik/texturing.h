// Channel values of a voxel from the texture scripts.
#pragma once
#include "generator.h"

void texturedchannels(int x, int y, int z, const nearestrocks &q, const blendweights &w, float rgb[3]);
