// The INI writer's read-modify-write on any existing file with any section, key and value.
// Input: a byte each for the section and key lengths, two for the value's, then those three
// texts (UTF-8), then the existing file.
#include "Error.h"
#include "FuzzCheck.h"
#include "IniFile.h"

#include <QByteArray>
#include <QFile>
#include <QString>

#include <algorithm>

namespace {

class Input final
{
public:
    Input(const std::uint8_t* data, std::size_t size) : FData(data), FLeft(size) {}
    std::size_t Length(int bytes)
    {
        std::size_t value = 0;
        for (int i = 0; i < bytes && FLeft > 0; ++i, ++FData, --FLeft)
            value |= std::size_t(*FData) << (8 * i);
        return value;
    }
    QByteArray Take(std::size_t count)
    {
        count = std::min(count, FLeft);
        QByteArray bytes(reinterpret_cast<const char*>(FData), qsizetype(count));
        FData += count;
        FLeft -= count;
        return bytes;
    }
    QByteArray Rest() { return Take(FLeft); }

private:
    const std::uint8_t* FData;
    std::size_t FLeft;
};

bool HasLineBreak(const QString& text)
{
    return text.contains(u'\n') || text.contains(u'\r');
}

// Names the file can hold: a section that a "[...]" line gives back, a key that a "key=" line does.
bool ValidNames(const QString& section, const QString& key)
{
    const QString k = key.trimmed();
    return !section.trimmed().isEmpty() && !section.contains(u']') && !k.isEmpty() && !key.contains(u'=') &&
           !k.startsWith(u';') && !k.startsWith(u'[');
}

bool IsLineOfKey(const QByteArray& line, const QString& key)
{
    const QString text = QString::fromLocal8Bit(line);
    const qsizetype eq = text.indexOf(u'=');
    return eq >= 0 && text.left(eq).trimmed().compare(key.trimmed(), Qt::CaseInsensitive) == 0;
}

// Every line of the old file survives byte for byte, except the key's own line; the new lines
// (the entry, maybe its section, maybe a line ending after an unterminated last line) are
// all in one place.
void CheckOtherLinesKept(const QByteArray& before, const QByteArray& after, const QString& key)
{
    qsizetype prefix = 0;
    while (prefix < before.size() && prefix < after.size() && before[prefix] == after[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < before.size() - prefix && suffix < after.size() - prefix &&
           before[before.size() - 1 - suffix] == after[after.size() - 1 - suffix])
        ++suffix;
    const QByteArray removed = before.mid(prefix, before.size() - prefix - suffix);
    const QByteArray inserted = after.mid(prefix, after.size() - prefix - suffix);
    FUZZ_CHECK(inserted.count('\n') <= 3);
    if (removed.isEmpty() && inserted.contains('\n'))
        return; // whole lines added
    // What changed lies inside one old line, and that line is the key's.
    FUZZ_CHECK(!removed.contains('\n'));
    const qsizetype start = prefix == 0 ? 0 : before.lastIndexOf('\n', prefix - 1) + 1;
    qsizetype end = before.indexOf('\n', prefix);
    if (end < 0)
        end = before.size();
    FUZZ_CHECK(IsLineOfKey(before.mid(start, end - start), key));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    Input input(data, size);
    const std::size_t sectionLength = input.Length(1);
    const std::size_t keyLength = input.Length(1);
    const std::size_t valueLength = input.Length(2);
    const QString section = QString::fromUtf8(input.Take(sectionLength));
    const QString key = QString::fromUtf8(input.Take(keyLength));
    const QString value = QString::fromUtf8(input.Take(valueLength));
    const QByteArray before = input.Rest();

    const QString path = FuzzDir() + QStringLiteral("/tiktakon.ini");
    WriteBytes(path, reinterpret_cast<const std::uint8_t*>(before.constData()), std::size_t(before.size()));
    const IniFile ini(path);

    const bool mustWrite =
        ValidNames(section, key) && !HasLineBreak(section) && !HasLineBreak(key) && !HasLineBreak(value);
    bool written = true;
    try {
        ini.WriteString(section, key, value);
    } catch (const TiktakonError&) {
        written = false;
    }
    const QByteArray after = ReadBytes(path);
    if (!written) {
        FUZZ_CHECK(!mustWrite);
        FUZZ_CHECK(after == before); // a refused write leaves the file alone
        return 0;
    }
    FUZZ_CHECK(!HasLineBreak(section) && !HasLineBreak(key) && !HasLineBreak(value));
    CheckOtherLinesKept(before, after, key);
    if (mustWrite) {
        FUZZ_CHECK(ini.ReadString(section, key, QStringLiteral(" missing ")) == value.trimmed().left(2047));
        // Writing the same again finds the key and changes nothing.
        ini.WriteString(section, key, value);
        FUZZ_CHECK(ReadBytes(path) == after);
    }
    return 0;
}
