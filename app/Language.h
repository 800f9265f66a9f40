#pragma once

#include <QString>

#include <functional>

// The languages of the interface: Czech, the program's own, and English for everyone else.
enum class UiLanguage { Czech, English };

// The language as desktop programs choose it from the environment: the LANGUAGE list walked in
// order, then the first of LC_ALL, LC_MESSAGES and LANG that is set. Czech for Czech and where
// no language is set (the C or POSIX locale), English for any other language.
UiLanguage ChooseLanguage(const std::function<QString(const char* name)>& variable);
UiLanguage SystemLanguage();

// Installs the translations of `language` on the running application: the program's own texts
// for English; Qt's own Czech texts (its buttons and dialogs) for Czech. False when a catalog
// that should be there could not be loaded; the interface then stays as it is.
bool InstallLanguage(UiLanguage language);
