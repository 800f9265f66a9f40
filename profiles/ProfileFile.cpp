#include "ProfileFile.h"

#include "Error.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

constexpr off_t RecordSize = TProfileRecord::Size;

[[noreturn]] void Fail(const char* text)
{
    throw TiktakonError(text);
}

// The runtime's texts for a failed file step; any other failure shows the system's error number.
[[noreturn]] void FailWithErrno(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR:
        Fail("File not found");
    case ENAMETOOLONG:
    case EINVAL:
    case EILSEQ:
        Fail("Invalid filename");
    case EMFILE:
    case ENFILE:
        Fail("Too many open files");
    case EACCES:
    case EPERM:
    case EROFS:
    case ETXTBSY:
        Fail("File access denied");
    default:
        throw TiktakonError("I/O error " + std::to_string(error));
    }
}

QByteArray NativePath(const QString& path)
{
    if (path.isEmpty() || path.contains(QChar(0))) {
        Fail("Invalid filename");
    }
    return QFile::encodeName(path);
}

// One open of the profile file for reading and writing, closed again on every way out.
class OpenFile final
{
public:
    enum Mode { ExistingOnly, CreateIfMissing };

    OpenFile(const QString& path, Mode mode)
    {
        const QByteArray native = NativePath(path);
        bool created = false;
        FHandle = Retry([&] { return ::open(native.constData(), O_RDWR | O_CLOEXEC); });
        if (FHandle < 0 && errno == ENOENT && mode == CreateIfMissing) {
            // A folder without any write permission is read-only for everybody, root included.
            struct stat folder
            {
            };
            const QByteArray dir = QFile::encodeName(QFileInfo(path).absolutePath());
            if (::stat(dir.constData(), &folder) == 0 &&
                (folder.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
                Fail("File access denied");
            }
            FHandle = Retry([&] { return ::open(native.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0666); });
            created = FHandle >= 0;
        }
        if (FHandle < 0) {
            FailWithErrno(errno);
        }
        // A file without any write permission is read-only for everybody, root included.
        struct stat info
        {
        };
        if (::fstat(FHandle, &info) != 0) {
            const int error = errno;
            CloseQuietly();
            FailWithErrno(error);
        }
        if (!created && (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
            CloseQuietly();
            Fail("File access denied");
        }
    }
    ~OpenFile() { CloseQuietly(); }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    int RecordCount() const
    {
        struct stat info
        {
        };
        if (::fstat(FHandle, &info) != 0) {
            FailWithErrno(errno);
        }
        return static_cast<int>(info.st_size / RecordSize);
    }

    void Read(int index, TProfileRecord& buffer) const
    {
        if (index < 0) {
            Fail("Read beyond end of file");
        }
        TProfileRecord::Bytes bytes{};
        off_t offset = off_t(index) * RecordSize;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t got = ::pread(FHandle, bytes.data() + done, bytes.size() - done, offset);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                FailWithErrno(errno);
            }
            if (got == 0) {
                Fail("Read beyond end of file"); // no whole record there
            }
            done += std::size_t(got);
            offset += got;
        }
        buffer.Raw() = bytes;
    }

    void Write(int index, const TProfileRecord& buffer) const
    {
        const TProfileRecord::Bytes& bytes = buffer.Raw();
        off_t offset = off_t(index) * RecordSize;
        std::size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t put = ::pwrite(FHandle, bytes.data() + done, bytes.size() - done, offset);
            if (put < 0 && errno == EINTR) {
                continue;
            }
            if (put < 0) {
                FailWithErrno(errno);
            }
            if (put == 0) {
                FailWithErrno(ENOSPC);
            }
            done += std::size_t(put);
            offset += put;
        }
    }

    void Truncate(int records) const
    {
        if (Retry([&] { return ::ftruncate(FHandle, off_t(records) * RecordSize); }) != 0) {
            FailWithErrno(errno);
        }
    }

    off_t Size() const
    {
        struct stat info
        {
        };
        if (::fstat(FHandle, &info) != 0) {
            FailWithErrno(errno);
        }
        return info.st_size;
    }

    // Writes a record past the last whole one. The disk space is claimed first, so a full disk
    // fails before any byte changes; should the write fail all the same, the file is cut back to
    // its old length: no half record is ever left behind.
    void WriteNew(int index, const TProfileRecord& buffer) const
    {
        const off_t oldSize = Size();
        const off_t offset = off_t(index) * RecordSize;
        // Where claiming is not supported (some file systems, devices) the write itself decides.
        if (Retry([&] { return ::fallocate(FHandle, FALLOC_FL_KEEP_SIZE, offset, RecordSize); }) != 0 &&
            errno != EOPNOTSUPP && errno != ENOSYS && errno != ENODEV && errno != EINVAL) {
            FailWithErrno(errno);
        }
        try {
            Write(index, buffer);
        } catch (...) {
            Retry([&] { return ::ftruncate(FHandle, oldSize); });
            throw;
        }
    }

    // Closing can report a delayed write failure: it counts like the write itself.
    void Close()
    {
        const int handle = std::exchange(FHandle, -1);
        if (::close(handle) != 0 && errno != EINTR) {
            FailWithErrno(errno);
        }
    }

private:
    template <typename Call> static int Retry(Call call)
    {
        int result = 0;
        do {
            result = call();
        } while (result < 0 && errno == EINTR);
        return result;
    }

    void CloseQuietly()
    {
        if (FHandle >= 0) {
            ::close(std::exchange(FHandle, -1));
        }
    }

    int FHandle = -1;
};

} // namespace

ProfileFile::ProfileFile(QString path) : FPath(std::move(path)) {}

bool ProfileFile::Exists() const
{
    struct stat info
    {
    };
    return !FPath.isEmpty() && ::stat(QFile::encodeName(FPath).constData(), &info) == 0 &&
           S_ISREG(info.st_mode);
}

void ProfileFile::OpenOrCreate() const
{
    OpenFile file(FPath, OpenFile::CreateIfMissing);
    file.Close();
}

int ProfileFile::LoadAll(TProfileRecord& buffer, const std::function<void(int)>& onRecord) const
{
    OpenFile file(FPath, OpenFile::CreateIfMissing);
    const int count = file.RecordCount();
    for (int k = 0; k < count; ++k) {
        file.Read(k, buffer);
        if (onRecord) {
            onRecord(k);
        }
    }
    file.Close();
    return count;
}

bool ProfileFile::ReadAt(int index, TProfileRecord& buffer) const
{
    if (!Exists()) {
        return false;
    }
    OpenFile file(FPath, OpenFile::ExistingOnly);
    file.Read(index, buffer);
    file.Close();
    return true;
}

int ProfileFile::Append(const TProfileRecord& buffer, const std::function<void(int)>& onPosition) const
{
    OpenFile file(FPath, OpenFile::CreateIfMissing);
    const int position = file.RecordCount();
    if (onPosition) {
        onPosition(position);
    }
    file.WriteNew(position, buffer);
    file.Close();
    return position;
}

void ProfileFile::Overwrite(int index, const TProfileRecord& buffer) const
{
    OpenFile file(FPath, OpenFile::CreateIfMissing);
    // Writing past the last record would leave a gap of garbage records behind.
    if (index < 0 || index >= file.RecordCount()) {
        Fail("Read beyond end of file");
    }
    file.Write(index, buffer);
    file.Close();
}

void ProfileFile::Rename(int index, const QString& name, TProfileRecord& buffer) const
{
    OpenFile file(FPath, OpenFile::CreateIfMissing);
    file.Read(index, buffer);
    // The practice block is sealed with the name: sealed again, it keeps the profile's history.
    const std::optional<TProfileRecord::PracticeBlock> practice = buffer.Practice();
    buffer.SetName(name);
    if (practice) {
        buffer.SetPractice(*practice);
    }
    file.Write(index, buffer);
    file.Close();
}

void ProfileFile::Delete(int index, TProfileRecord& buffer) const
{
    OpenFile file(FPath, OpenFile::CreateIfMissing);
    const int count = file.RecordCount();
    // A position past the end names nothing; truncating there would lengthen the file.
    if (index < 0 || index >= count) {
        Fail("Read beyond end of file");
    }
    for (int k = index + 1; k < count; ++k) {
        file.Read(k, buffer);
        file.Write(k - 1, buffer);
    }
    file.Truncate(count - 1);
    file.Close();
}

int ProfileFile::RecordCount() const
{
    // A question only: neither creates the file nor needs it writable.
    struct stat info
    {
    };
    if (::stat(NativePath(FPath).constData(), &info) != 0) {
        if (errno == ENOENT) {
            return 0;
        }
        FailWithErrno(errno);
    }
    return static_cast<int>(info.st_size / RecordSize);
}
