#include "IniFile.h"

#include "Error.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace {

constexpr int MaxStringLength = 2047;

// One line of the file as it stands on disk: its text without the line ending, and the ending
// itself ("\r\n", "\n" or nothing for a last line without one), so untouched lines go back byte
// for byte.
struct Line
{
    QByteArray text;
    QByteArray ending;
};

std::vector<Line> SplitLines(const QByteArray& data)
{
    std::vector<Line> lines;
    qsizetype start = 0;
    while (start < data.size()) {
        const qsizetype lf = data.indexOf('\n', start);
        if (lf < 0) {
            lines.push_back({data.mid(start), QByteArray()});
            break;
        }
        qsizetype end = lf;
        if (end > start && data.at(end - 1) == '\r')
            --end;
        lines.push_back({data.mid(start, end - start), data.mid(end, lf + 1 - end)});
        start = lf + 1;
    }
    return lines;
}

QString Decode(const QByteArray& bytes)
{
    return QString::fromLocal8Bit(bytes);
}

// The section name of a "[name]" line, or nothing for any other line.
std::optional<QString> SectionName(const QByteArray& line)
{
    const QString text = Decode(line).trimmed();
    if (!text.startsWith(u'['))
        return std::nullopt;
    const qsizetype close = text.indexOf(u']');
    const QString name = close < 0 ? text.mid(1) : text.mid(1, close - 1);
    return name.trimmed();
}

bool IsComment(const QString& trimmedText)
{
    return trimmedText.startsWith(u';');
}

// Key and value of a "key=value" line, both trimmed; nothing for a line that holds no entry.
std::optional<std::pair<QString, QString>> Entry(const QByteArray& line)
{
    const QString text = Decode(line);
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || IsComment(trimmed) || trimmed.startsWith(u'['))
        return std::nullopt;
    const qsizetype eq = text.indexOf(u'=');
    if (eq < 0)
        return std::nullopt;
    return std::make_pair(text.left(eq).trimmed(), text.mid(eq + 1).trimmed());
}

// A value read as hand-edited files write it: one pair of matching double or single quotes
// around it is not part of it.
QString Unquoted(const QString& value)
{
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        return value.mid(1, value.size() - 2);
    return value;
}

bool SameName(const QString& a, const QString& b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

// Where a section stands in the file: the index of its header line and one past its last line.
struct SectionRange
{
    std::size_t header;
    std::size_t end;
};

// The first section of that name wins, as with the platform's profile functions.
std::optional<SectionRange> FindSection(const std::vector<Line>& lines, const QString& section)
{
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const auto name = SectionName(lines[i].text);
        if (!name || !SameName(*name, section.trimmed()))
            continue;
        std::size_t end = i + 1;
        while (end < lines.size() && !SectionName(lines[end].text))
            ++end;
        return SectionRange{i, end};
    }
    return std::nullopt;
}

std::optional<std::size_t> FindKey(const std::vector<Line>& lines, const SectionRange& range,
                                   const QString& key)
{
    for (std::size_t i = range.header + 1; i < range.end; ++i) {
        const auto entry = Entry(lines[i].text);
        if (entry && SameName(entry->first, key.trimmed()))
            return i;
    }
    return std::nullopt;
}

std::optional<QByteArray> ReadWholeFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.readAll();
}

std::optional<int> ParseHex(QStringView digits)
{
    if (digits.isEmpty() || digits.size() > 8)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const QChar c : digits) {
        const int digit = c.isDigit()                ? c.digitValue()
                          : (c >= u'a' && c <= u'f') ? c.unicode() - u'a' + 10
                          : (c >= u'A' && c <= u'F') ? c.unicode() - u'A' + 10
                                                     : -1;
        if (digit < 0 || c.unicode() > 127)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(digit);
    }
    // Eight hex digits fill the 32 bits, so "$FFFFFFFF" is -1 as a signed integer.
    return static_cast<int>(value);
}

std::optional<int> ParseDecimal(QStringView text)
{
    const bool negative = text.startsWith(u'-');
    const QStringView digits = negative ? text.mid(1) : text;
    if (digits.isEmpty())
        return std::nullopt;
    long long value = 0;
    for (const QChar c : digits) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
        if (value > static_cast<long long>(INT_MAX) + 1)
            return std::nullopt;
    }
    if (negative)
        value = -value;
    if (value < INT_MIN || value > INT_MAX)
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> ParseInteger(const QString& text)
{
    if (text.size() > 2 && (text.startsWith(u"0x") || text.startsWith(u"0X")))
        return ParseHex(QStringView(text).mid(2));
    if (text.startsWith(u'$'))
        return ParseHex(QStringView(text).mid(1));
    return ParseDecimal(text);
}

[[noreturn]] void FailWrite(const QString& path)
{
    throw TiktakonError(("Unable to write to " + QFileInfo(path).absoluteFilePath()).toStdString());
}

bool HasWriteBit(mode_t mode)
{
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// Closes a descriptor on every way out.
class FileDescriptor final
{
public:
    explicit FileDescriptor(int fd) : FFd(fd) {}
    ~FileDescriptor()
    {
        if (FFd >= 0)
            ::close(FFd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int Get() const { return FFd; }
    int Release() { return std::exchange(FFd, -1); }

private:
    int FFd;
};

bool WriteAll(int fd, const QByteArray& data)
{
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
}

bool SyncPath(const QByteArray& path, int flags)
{
    FileDescriptor fd(::open(path.constData(), flags | O_CLOEXEC));
    return fd.Get() >= 0 && ::fsync(fd.Get()) == 0;
}

// Replaces the file by `data` so that a crash leaves either the old or the new version:
// a temporary file beside it, synced, renamed over it, and the directory synced.
// Returns false on any failure; the old file is then untouched.
bool ReplaceFile(const QString& target, const QByteArray& data, std::optional<struct stat> old)
{
    const QByteArray dir = QFile::encodeName(QFileInfo(target).absolutePath());
    QByteArray pattern = QFile::encodeName(target) + ".XXXXXX";
    FileDescriptor fd(::mkostemp(pattern.data(), O_CLOEXEC));
    if (fd.Get() < 0)
        return false;
    bool ok = WriteAll(fd.Get(), data);
    if (ok) {
        mode_t mode = 0;
        if (old) {
            mode = old->st_mode & 07777;
            // Keep the owner too where we may (root rewriting a user's file); otherwise it is ours.
            if (::fchown(fd.Get(), old->st_uid, old->st_gid) != 0) {
                // Not permitted for an ordinary user on someone else's file: the new file stays ours.
            }
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        ok = ::fchmod(fd.Get(), mode) == 0 && ::fsync(fd.Get()) == 0;
    }
    ok = ::close(fd.Release()) == 0 && ok;
    if (ok)
        ok = ::rename(pattern.constData(), QFile::encodeName(target).constData()) == 0;
    if (!ok) {
        ::unlink(pattern.constData());
        return false;
    }
    // The rename is durable only once the directory is synced.
    return SyncPath(dir, O_RDONLY | O_DIRECTORY);
}

QByteArray FileLineEnding(const std::vector<Line>& lines)
{
    for (const Line& line : lines)
        if (!line.ending.isEmpty())
            return line.ending;
    return "\n";
}

// The file a write goes to: the target of a symbolic link, so that the link stays a link.
QString WriteTarget(const QString& path)
{
    const QFileInfo info(path);
    if (info.isSymLink()) {
        const QString target = info.canonicalFilePath();
        if (!target.isEmpty())
            return target;
    }
    return info.absoluteFilePath();
}

} // namespace

IniFile::IniFile(QString path) : FPath(std::move(path)) {}

QString IniFile::ReadString(const QString& section, const QString& key, const QString& def) const
{
    const auto data = ReadWholeFile(FPath);
    if (!data)
        return def;
    const std::vector<Line> lines = SplitLines(*data);
    const auto range = FindSection(lines, section);
    if (!range)
        return def;
    const auto index = FindKey(lines, *range, key);
    if (!index)
        return def;
    return Unquoted(Entry(lines[*index].text)->second).left(MaxStringLength);
}

int IniFile::ReadInteger(const QString& section, const QString& key, int def) const
{
    return ParseInteger(ReadString(section, key, QString())).value_or(def);
}

bool IniFile::ReadBool(const QString& section, const QString& key, bool def) const
{
    return ReadInteger(section, key, def ? 1 : 0) != 0;
}

void IniFile::WriteString(const QString& section, const QString& key, const QString& value) const
{
    // A line break in a name or value would add lines of its own to the file.
    for (const QString* text : {&section, &key, &value})
        if (text->contains(u'\n') || text->contains(u'\r'))
            FailWrite(FPath);
    if (section.trimmed().isEmpty() || key.trimmed().isEmpty() || key.contains(u'='))
        FailWrite(FPath);

    const QString target = WriteTarget(FPath);
    const QByteArray nativeTarget = QFile::encodeName(target);
    const QByteArray nativeDir = QFile::encodeName(QFileInfo(target).absolutePath());

    // A file or folder without any write bit is read-only for everyone, root included.
    struct stat dirStat
    {
    };
    if (::stat(nativeDir.constData(), &dirStat) != 0 || !S_ISDIR(dirStat.st_mode) ||
        !HasWriteBit(dirStat.st_mode) || ::access(nativeDir.constData(), W_OK | X_OK) != 0)
        FailWrite(FPath);
    std::optional<struct stat> fileStat;
    struct stat st
    {
    };
    if (::stat(nativeTarget.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode) || !HasWriteBit(st.st_mode) || ::access(nativeTarget.constData(), W_OK) != 0)
            FailWrite(FPath);
        fileStat = st;
    } else if (errno != ENOENT) {
        FailWrite(FPath);
    }

    QByteArray data;
    if (fileStat) {
        const auto read = ReadWholeFile(target);
        if (!read)
            FailWrite(FPath);
        data = *read;
    }

    std::vector<Line> lines = SplitLines(data);
    const QByteArray eol = FileLineEnding(lines);
    const QByteArray entry = (key.trimmed() + u'=' + value).toLocal8Bit();

    // An inserted line must not run on from a last line that has no ending.
    const auto terminateLine = [&](std::size_t index) {
        if (index < lines.size() && lines[index].ending.isEmpty())
            lines[index].ending = eol;
    };

    if (const auto range = FindSection(lines, section)) {
        if (const auto index = FindKey(lines, *range, key)) {
            lines[*index].text = entry;
        } else {
            // After the section's last line that is not blank, so a blank line before the next
            // section stays where it is.
            std::size_t after = range->header;
            for (std::size_t i = range->header + 1; i < range->end; ++i)
                if (!lines[i].text.trimmed().isEmpty())
                    after = i;
            terminateLine(after);
            lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(after + 1), Line{entry, eol});
        }
    } else {
        if (!lines.empty())
            terminateLine(lines.size() - 1);
        lines.push_back({('[' + section.trimmed() + u']').toLocal8Bit(), eol});
        lines.push_back({entry, eol});
    }

    QByteArray result;
    result.reserve(data.size() + entry.size() + 64);
    for (const Line& line : lines)
        result += line.text + line.ending;

    if (!ReplaceFile(target, result, fileStat))
        FailWrite(FPath);
}

void IniFile::WriteInteger(const QString& section, const QString& key, int value) const
{
    WriteString(section, key, QString::number(value));
}

void IniFile::WriteBool(const QString& section, const QString& key, bool value) const
{
    WriteString(section, key, value ? QStringLiteral("1") : QStringLiteral("0"));
}

void IniFile::Flush() const
{
    // Every write already synced its new version; this makes sure of the file and its folder
    // once more, for a file that another program may have touched in between.
    const QString target = WriteTarget(FPath);
    if (!QFileInfo::exists(target))
        return;
    if (!SyncPath(QFile::encodeName(target), O_RDONLY) ||
        !SyncPath(QFile::encodeName(QFileInfo(target).absolutePath()), O_RDONLY | O_DIRECTORY))
        FailWrite(FPath);
}
