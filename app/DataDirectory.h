#pragma once

#include <QString>

// Where "tiktakon.ini" and "profiles.mtr" live: beside the executable for a program run from its
// build tree or a folder the user copied it to, or wherever that folder already holds either file;
// the per-user application folder for a program installed into the system's program directory.
QString DataDirectory(const QString& executableDir, const QString& installBinDir);
