#include "Lights.h"

#include "Shape.h"

namespace {

constexpr int LightCount = static_cast<int>(std::tuple_size_v<TLightTable>);

void SetFill(const TLightTable& lights, int index, TColor colour)
{
    if (TShape* light = lights[static_cast<std::size_t>(index)]) {
        light->SetBrushColor(colour);
    }
}

} // namespace

void LightStep(const TLightTable& lights, int p, int beatsPerBar, TColor c)
{
    // A bar the table cannot show, or a position outside the bar, lights nothing.
    if (beatsPerBar < 1 || beatsPerBar > LightCount || p < 0 || p >= beatsPerBar) {
        return;
    }
    if (beatsPerBar >= 2) {
        SetFill(lights, p, c);
        SetFill(lights, (p + beatsPerBar - 1) % beatsPerBar, clWhite);
        return;
    }
    // One beat per bar: the single light blinks, and changes colour instead when the beat's colour differs.
    if (TShape* light = lights[0]) {
        light->SetBrushColor(light->BrushColor() == c ? clWhite : c);
    }
}

void LightReset(const TLightTable& lights, int beatsPerBar)
{
    for (int i = 0; i < LightCount; ++i) {
        if (TShape* light = lights[static_cast<std::size_t>(i)]) {
            light->SetBrushColor(clWhite);
            light->setVisible(i < beatsPerBar);
        }
    }
}
