#include "TempoName.h"

namespace {

struct TempoRange
{
    int From;    // included
    int ToBelow; // excluded
    const char* Word;
};

// The lower three first: most tempi below 80 are decided within them, the rest within the upper four.
constexpr TempoRange LowerRanges[] = {{40, 60, "Largo"}, {60, 69, "Larghetto"}, {69, 80, "Adagio"}};
constexpr TempoRange UpperRanges[] = {
    {80, 112, "Andante"}, {112, 126, "Moderato"}, {126, 168, "Allegro"}, {168, 209, "Presto"}};

template <typename Ranges> QString FindWord(const Ranges& ranges, int bpm)
{
    for (const TempoRange& range : ranges) {
        if (bpm >= range.From && bpm < range.ToBelow) {
            return QString::fromLatin1(range.Word);
        }
    }
    return QString();
}

} // namespace

QString TempoName(int bpm)
{
    return bpm < 80 ? FindWord(LowerRanges, bpm) : FindWord(UpperRanges, bpm);
}
