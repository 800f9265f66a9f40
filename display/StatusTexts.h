#pragma once

#include <QString>

// " Takt:  1": the bar panel's text at Start (with a leading blank).
QString StartBarText();
// "Takt:  n": the bar panel's text at the first beat of bar n (no leading blank).
QString BarCounterText(int bar);
// " Čas:  hh:mm:ss": the run-time panel's text after `seconds` seconds.
QString RunTimeText(int seconds);
