#pragma once

#include <exception>
#include <functional>

class IniFile;
class SettingsHost;

// Reads "tiktakon.ini" into the controls, once at start-up. Never fails: whatever is missing
// or unreadable takes its default. A stored profile that cannot be applied is reported once
// through `reportError` and then forgotten (the free rhythm and tempo are read instead).
void ReadSettings(const IniFile& ini, SettingsHost& host, const std::function<void(const std::exception&)>& reportError);
// Writes every key in order, once at close; throws TiktakonError at the first key that cannot be written.
void WriteSettings(const IniFile& ini, const SettingsHost& host);
