#include "FuzzCheck.h"

#include <QFile>
#include <QTemporaryDir>

QString FuzzDir()
{
    static QTemporaryDir dir;
    FUZZ_CHECK(dir.isValid());
    return dir.path();
}

void WriteBytes(const QString& path, const std::uint8_t* data, std::size_t size)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(file.write(reinterpret_cast<const char*>(data), qint64(size)) == qint64(size));
}

QByteArray ReadBytes(const QString& path)
{
    QFile file(path);
    FUZZ_CHECK(file.open(QIODevice::ReadOnly));
    return file.readAll();
}
