// The whole profile file from any bytes: loading, reading each record, and the commands that
// change it, each checked against the bytes that were on disk before.
#include "Error.h"
#include "FuzzCheck.h"
#include "ProfileFile.h"

#include <QByteArray>
#include <QFileInfo>

#include <algorithm>

namespace {

constexpr int Size = TProfileRecord::Size;

QByteArray RecordBytes(const TProfileRecord& record)
{
    return QByteArray(reinterpret_cast<const char*>(record.Raw().data()), Size);
}

template <typename Call> bool Throws(Call call)
{
    try {
        call();
    } catch (const TiktakonError&) {
        return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString path = FuzzDir() + QStringLiteral("/profiles.mtr");
    WriteBytes(path, data, size);
    const QByteArray before(reinterpret_cast<const char*>(data), qsizetype(size));
    const int count = int(size / Size);
    const ProfileFile file(path);

    FUZZ_CHECK(file.RecordCount() == count);

    // Loading hands over every whole record in order, as it stands in the file.
    TProfileRecord buffer;
    int next = 0;
    FUZZ_CHECK(file.LoadAll(buffer, [&](int k) {
        FUZZ_CHECK(k == next++);
        FUZZ_CHECK(RecordBytes(buffer) == before.mid(qsizetype(k) * Size, Size));
    }) == count);
    FUZZ_CHECK(next == count);
    for (int k = 0; k < count; ++k) {
        FUZZ_CHECK(file.ReadAt(k, buffer));
        FUZZ_CHECK(RecordBytes(buffer) == before.mid(qsizetype(k) * Size, Size));
    }
    // A trailing part-record and anything past the end is an error, never a record.
    FUZZ_CHECK(Throws([&] { file.ReadAt(count, buffer); }));
    FUZZ_CHECK(Throws([&] { file.ReadAt(-1, buffer); }));
    FUZZ_CHECK(Throws([&] { file.Delete(count, buffer); }));
    FUZZ_CHECK(Throws([&] { file.Overwrite(count, buffer); }));
    FUZZ_CHECK(ReadBytes(path) == before);

    // Append: a new record after the whole ones; a part-record behind them is replaced.
    TProfileRecord added;
    added.SetNumber(count + 1);
    added.SetName(QString::fromUtf8(before.left(40)));
    added.SetRhythm(4);
    added.SetTempo(120);
    int told = -1;
    FUZZ_CHECK(file.Append(added, [&](int position) { told = position; }) == count && told == count);
    QByteArray expected = before.left(qsizetype(count) * Size) + RecordBytes(added);
    FUZZ_CHECK(ReadBytes(path) == expected);
    FUZZ_CHECK(file.RecordCount() == count + 1);

    // Rename one record: only its name bytes change.
    const int renamed = size > 0 ? data[0] % (count + 1) : 0;
    const QString newName = QString::fromUtf8(before.right(30));
    file.Rename(renamed, newName, buffer);
    TProfileRecord expectedRecord;
    std::copy_n(expected.constData() + qsizetype(renamed) * Size, Size, expectedRecord.Raw().begin());
    expectedRecord.SetName(newName);
    expected.replace(qsizetype(renamed) * Size, Size, RecordBytes(expectedRecord));
    FUZZ_CHECK(ReadBytes(path) == expected);

    // Delete one record: the later ones move down, the file is one record shorter.
    const int deleted = size > 1 ? data[1] % (count + 1) : count;
    file.Delete(deleted, buffer);
    expected.remove(qsizetype(deleted) * Size, Size);
    FUZZ_CHECK(ReadBytes(path) == expected);
    FUZZ_CHECK(QFileInfo(path).size() == qint64(count) * Size);
    FUZZ_CHECK(file.RecordCount() == count);
    return 0;
}
