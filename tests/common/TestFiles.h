#pragma once

#include <QByteArray>
#include <QString>

// Files the tests write and read back.

// The whole file; empty when it cannot be read.
QByteArray ReadAll(const QString& path);
// Replaces the whole file with `bytes`; false when that failed.
bool WriteAll(const QString& path, const QByteArray& bytes);
// `seconds` of a sine of `frequency` at half scale in every channel, in a libsndfile `format`.
bool WriteSine(const QString& path, int format, int rate, int channels, double seconds, double frequency);
