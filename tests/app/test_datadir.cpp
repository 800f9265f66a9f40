#include "DataDirectory.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class TestDataDirectory final : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(FHome.isValid());
        qputenv("XDG_CONFIG_HOME", FHome.path().toLocal8Bit());
        QCoreApplication::setApplicationName(QStringLiteral("Tiktakon"));
    }

    void portableProgramKeepsFilesBesideItself()
    {
        QTemporaryDir exe, bin;
        QCOMPARE(DataDirectory(exe.path(), bin.path()), QDir(exe.path()).absolutePath());
    }

    void installedProgramUsesThePerUserFolder()
    {
        QTemporaryDir bin;
        const QString dir = DataDirectory(bin.path(), bin.path());
        QCOMPARE(dir, QDir(FHome.path()).filePath(QStringLiteral("Tiktakon")));
        QVERIFY(QDir(dir).exists());
    }

    void installedProgramWithItsFilesBesideItKeepsThem_data()
    {
        QTest::addColumn<QString>("file");
        QTest::newRow("settings") << "tiktakon.ini";
        QTest::newRow("profiles") << "profiles.mtr";
    }
    void installedProgramWithItsFilesBesideItKeepsThem()
    {
        QFETCH(QString, file);
        QTemporaryDir bin;
        QFile f(QDir(bin.path()).filePath(file));
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        QCOMPARE(DataDirectory(bin.path(), bin.path()), QDir(bin.path()).absolutePath());
    }

private:
    QTemporaryDir FHome;
};

QTEST_GUILESS_MAIN(TestDataDirectory)
#include "test_datadir.moc"
