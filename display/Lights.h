#pragma once

#include "Colour.h"

#include <array>

class TShape;

// The eight lights in beat order: entry i is the light of beat position i.
using TLightTable = std::array<TShape*, 8>;

// Lights beat position p in colour c and clears the previous one; a one-beat bar blinks.
void LightStep(const TLightTable& lights, int p, int beatsPerBar, TColor c);
// All lights white, the first N visible; outlines (accent marks) untouched.
void LightReset(const TLightTable& lights, int beatsPerBar);
