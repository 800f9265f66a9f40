#pragma once

#include "Colour.h"

// What the settings dialog changes on the main window at the moment the user clicks.
class ConfigHost
{
public:
    virtual ~ConfigHost() = default;
    virtual void ShowLights(bool shown) = 0;   // pnlShapes
    virtual void ShowNumbers(bool shown) = 0;  // pnlCisla
    virtual void ShowCircle(bool shown) = 0;   // Pnl_Image
    virtual void SetBeatColour(TColor colour) = 0;
    virtual void SetAccentColour(TColor colour) = 0;
    // Ends an upward drift of the real drummer: clock tempo - 10, flag cleared, smile hidden.
    // Does nothing but hide the smile when no drift is up.
    virtual void EndDrift() = 0;
};
