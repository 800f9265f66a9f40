// Writes a profile file of COUNT records for the timing benchmark's busy window: names made of
// Czech syllables in a fixed pseudo-random order (so sorting by name has real work to do), every
// record at the same tempo and rhythm, so that applying one by accident changes no beat.
// Usage: make_profiles OUT.mtr COUNT TEMPO RHYTHM
#include "ProfileRecord.h"

#include <QFile>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <random>

int main(int argc, char* argv[])
{
    if (argc != 5) {
        std::fprintf(stderr, "usage: make_profiles OUT.mtr COUNT TEMPO RHYTHM\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const int tempo = std::atoi(argv[3]);
    const int rhythm = std::atoi(argv[4]);
    QFile out(QString::fromLocal8Bit(argv[1]));
    if (count <= 0 || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "make_profiles: cannot write %s\n", argv[1]);
        return 1;
    }
    static const char16_t* const syllables[] = {u"ko", u"lé", u"dr", u"ša", u"ři", u"mo", u"Tý", u"ne", u"Če",
                                                u"vá", u"lu", u"ží", u"pa", u"Án", u"to", u"bě", u"Ho", u"sy",
                                                u"ůr", u"ka", u"Zd", u"ťa", u"ny", u"Mi"};
    std::mt19937 random(20040101);
    std::uniform_int_distribution<int> pick(0, static_cast<int>(std::size(syllables)) - 1);
    std::uniform_int_distribution<int> length(3, 12);
    for (int i = 0; i < count; ++i) {
        QString name;
        const int n = length(random);
        for (int k = 0; k < n; ++k) {
            name += QString::fromUtf16(syllables[pick(random)]);
        }
        TProfileRecord record;
        record.SetNumber(i + 1);
        record.SetName(name);
        record.SetRhythm(rhythm);
        record.SetTempo(tempo);
        const auto& raw = record.Raw();
        if (out.write(reinterpret_cast<const char*>(raw.data()), TProfileRecord::Size) != TProfileRecord::Size) {
            std::fprintf(stderr, "make_profiles: cannot write %s\n", argv[1]);
            return 1;
        }
    }
    return out.flush() ? 0 : 1;
}
