#include "DataDirectory.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString DataDirectory(const QString& executableDir, const QString& installBinDir)
{
    const QDir exe(executableDir);
    const bool hasFiles = QFileInfo::exists(exe.filePath(QStringLiteral("tiktakon.ini"))) ||
                          QFileInfo::exists(exe.filePath(QStringLiteral("profiles.mtr")));
    const QString installed = QDir(installBinDir).canonicalPath();
    if (hasFiles || installed.isEmpty() || exe.canonicalPath() != installed) {
        return exe.absolutePath();
    }
    const QString perUser = QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
    QDir().mkpath(perUser);
    return perUser;
}
