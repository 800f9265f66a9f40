#include "Language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

namespace {

// The language part of a locale name such as "cs_CZ.UTF-8" or "en@quot"; empty for C and POSIX.
QString LanguageCode(const QString& locale)
{
    QString code = locale.section(u'.', 0, 0).section(u'@', 0, 0).section(u'_', 0, 0).trimmed().toLower();
    if (code == u"c" || code == u"posix") {
        return QString();
    }
    return code;
}

UiLanguage ForCode(const QString& code)
{
    return code.isEmpty() || code == u"cs" ? UiLanguage::Czech : UiLanguage::English;
}

} // namespace

UiLanguage ChooseLanguage(const std::function<QString(const char* name)>& variable)
{
    // The list names languages in the user's order of preference: the first one we speak wins;
    // a list of only other languages asks for a foreign language, and that is English here.
    const QStringList preferred = variable("LANGUAGE").split(u':', Qt::SkipEmptyParts);
    bool foreign = false;
    for (const QString& entry : preferred) {
        const QString code = LanguageCode(entry);
        if (code == u"cs") {
            return UiLanguage::Czech;
        }
        if (code == u"en") {
            return UiLanguage::English;
        }
        foreign = foreign || !code.isEmpty();
    }
    if (foreign) {
        return UiLanguage::English;
    }
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const QString value = variable(name);
        if (!value.isEmpty()) {
            return ForCode(LanguageCode(value));
        }
    }
    return UiLanguage::Czech;
}

UiLanguage SystemLanguage()
{
    return ChooseLanguage([](const char* name) { return qEnvironmentVariable(name); });
}

bool InstallLanguage(UiLanguage language)
{
    // Kept for the life of the program: the application refers to them.
    static QTranslator program;
    static QTranslator qt;
    // A language chosen again replaces the one before.
    QCoreApplication::removeTranslator(&program);
    QCoreApplication::removeTranslator(&qt);
    bool ok = true;
    if (language == UiLanguage::English) {
        ok = program.load(QStringLiteral(":/i18n/tiktakon_en.qm")) && QCoreApplication::installTranslator(&program);
    } else {
        ok = qt.load(QStringLiteral("qtbase_cs"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
             QCoreApplication::installTranslator(&qt);
    }
    return ok;
}
