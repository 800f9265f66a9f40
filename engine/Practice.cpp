#include "Practice.h"

#include <algorithm>

const std::array<PracticeSettings::Field, 14> PracticeSettings::Fields = {{
    {"predtakt", &PracticeSettings::FCountInBars, 0, 2},
    {"vynechat", &PracticeSettings::FSilentMode, 0, 2},
    {"hrat", &PracticeSettings::FPlayBars, 1, 16},
    {"ticho", &PracticeSettings::FSilentBars, 1, 16},
    {"nahodne", &PracticeSettings::FSilentPercent, 0, 90},
    {"hlasitost", &PracticeSettings::FVolume, 0, 100},
    {"zrychlovani", &PracticeSettings::FTrainer, 0, 1},
    {"krok", &PracticeSettings::FTrainerStep, -20, 20},
    {"kazdych", &PracticeSettings::FTrainerBars, 1, 64},
    {"cil", &PracticeSettings::FTrainerTarget, 40, 208},
    {"deleni", &PracticeSettings::FSubdivision, 1, 4},
    {"deleni_uroven", &PracticeSettings::FSubLevel, 0, 100},
    {"deleni_nastroj", &PracticeSettings::FSubNote, 35, 81},
    {"okno", &PracticeSettings::FTrainerWindow, 0, 50},
}};

PracticeSettings PracticeSettings::Clamped() const
{
    PracticeSettings out = *this;
    for (const Field& field : Fields) {
        out.*field.FMember = std::clamp(out.*field.FMember, field.FLow, field.FHigh);
    }
    if (out.FTrainerStep == 0) {
        out.FTrainerStep = PracticeSettings{}.FTrainerStep;
    }
    if (out.FTrainerWindow > 0 && out.FTrainerWindow < 5) {
        out.FTrainerWindow = 5;
    }
    return out;
}
