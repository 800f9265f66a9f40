// The INI reader on any file: names from the file itself and the settings file's own names.
#include "FuzzCheck.h"
#include "IniFile.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

namespace {

void CheckKey(const IniFile& ini, const QString& section, const QString& key)
{
    // The default comes back exactly when the key is missing, whatever the default is.
    const QString first = ini.ReadString(section, key, QStringLiteral(" missing 1 "));
    const QString second = ini.ReadString(section, key, QStringLiteral(" missing 2 "));
    const bool missing = first == QStringLiteral(" missing 1 ");
    FUZZ_CHECK(missing == (second == QStringLiteral(" missing 2 ")));
    if (!missing) {
        FUZZ_CHECK(first == second);
        FUZZ_CHECK(first.size() <= 2047);
        FUZZ_CHECK(!first.contains(u'\n'));
        FUZZ_CHECK(first == first.trimmed() || first.size() == 2047);
    }
    const int a = ini.ReadInteger(section, key, 17);
    const int b = ini.ReadInteger(section, key, -17);
    const bool number = a == b;
    FUZZ_CHECK(number || (a == 17 && b == -17));
    FUZZ_CHECK(!missing || !number);
    FUZZ_CHECK(ini.ReadBool(section, key, true) == (number ? a != 0 : true));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = FuzzDir() + QStringLiteral("/tiktakon.ini");
    WriteBytes(path, data, size);
    const IniFile ini(path);

    static const QList<std::pair<QString, QString>> known = {
        {"profil", "selected"},
        {"metro", "rytmus"},
        {"metro", "tempo"},
        {"metro", "mute"},
        {"zvuk", "mode"},
        {"zvuk", "wavepath1"},
        {"visual", "kruh"},
        {"barva", "doby"},
        {"grid", "1"},
        {"", ""},
        {" ", "="},
        {"[", "]"},
    };
    for (const auto& [section, key] : known)
        CheckKey(ini, section, key);

    // Names as the file writes them: every "[section]" with each "key=" line below it.
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    QString section;
    bool firstOfName = false;
    QStringList seen;
    int checked = 0;
    for (const QByteArray& line : bytes.split('\n')) {
        if (checked >= 16)
            break;
        const QString text = QString::fromLocal8Bit(line).trimmed();
        if (text.startsWith(u'[')) {
            section = text.mid(1, text.indexOf(u']') - 1).trimmed();
            firstOfName = !seen.contains(section, Qt::CaseInsensitive);
            seen << section;
            CheckKey(ini, section, QStringLiteral("x"));
        } else if (text.contains(u'=')) {
            const QString key = text.left(text.indexOf(u'='));
            CheckKey(ini, section, key);
            // A key line in the first section of its name is always found.
            if (firstOfName && !key.trimmed().isEmpty() && !key.startsWith(u';'))
                FUZZ_CHECK(ini.ReadString(section, key, QStringLiteral(" missing ")) !=
                           QStringLiteral(" missing "));
        }
        ++checked;
    }
    FUZZ_CHECK(ReadBytes(path) == bytes); // reading never writes
    return 0;
}
