#pragma once

#include <QString>

// The Italian tempo word for a tempo in beats per minute; empty outside 40..208.
QString TempoName(int bpm);
