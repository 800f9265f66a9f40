// Faults of the disk under the real window: the profile file or its folder made read-only
// between operations, the disk full while saving (a small tmpfs of its own), and the settings
// file changed by another program while the window runs.
#include "AppFixture.h"
#include "TestFiles.h"

#include "ProfileList.h"
#include "ProfileRecord.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QToolButton>
#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QByteArray Records(int count)
{
    QByteArray data;
    for (int k = 0; k < count; ++k) {
        TProfileRecord r;
        r.SetName(QStringLiteral("Profil %1").arg(k + 1));
        r.SetRhythm(1 + k % 8);
        r.SetTempo(40 + k % 169);
        data += QByteArray(reinterpret_cast<const char*>(r.Raw().data()), TProfileRecord::Size);
    }
    return data;
}

void SetMode(const QString& path, mode_t mode)
{
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), mode), 0);
}

// Fills a file system until it has no room left; returns the filler's path.
QString FillUp(const QString& dir)
{
    const QString path = dir + QStringLiteral("/filler");
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return QString();
    }
    const QByteArray block(4096, 'f');
    for (int size : {4096, 512, 1}) {
        while (::write(fd, block.constData(), std::size_t(size)) == size) {
        }
    }
    ::close(fd);
    return path;
}

} // namespace

class TestFaultsFiles final : public QObject
{
    Q_OBJECT

public:
    explicit TestFaultsFiles(bool privateMounts) : FPrivateMounts(privateMounts) {}

private:
    bool FPrivateMounts;

private slots:
    void readOnlyProfileFileRefusesEveryWrite_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("save a new profile") << QStringLiteral("append");
        QTest::newRow("save over a stored profile") << QStringLiteral("overwrite");
        QTest::newRow("rename") << QStringLiteral("rename");
        QTest::newRow("delete") << QStringLiteral("delete");
    }
    void readOnlyProfileFileRefusesEveryWrite()
    {
        QFETCH(QString, operation);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("profiles.mtr"));
        const QByteArray stored = Records(3);
        QVERIFY(WriteAll(path, stored));
        AppFixture f(false, dir.path());
        TformMain& m = *f.FMain;
        QVERIFY(f.FMessages.isEmpty());
        m.Guard([&] { m.FProfiles->ApplyProfile(1); });

        // Made read-only by another hand between two operations.
        SetMode(path, 0444);
        m.FInputBox = [](const QString&, const QString&, const QString&) {
            return QStringLiteral("Jiné jméno");
        };
        m.Grid->SetCurrentGridRow(2);
        if (operation == u"append") {
            m.Ed_Nazev->setText(QStringLiteral("Nový"));
            m.But_Save->click();
        } else if (operation == u"overwrite") {
            m.Ed_Nazev->setText(QStringLiteral("Profil 2"));
            m.SetSliderTempo(77);
            m.But_Save->click();
        } else if (operation == u"rename") {
            m.Guard([&] { m.FProfiles->Pop_RenameClick(); });
        } else {
            m.Guard([&] { m.FProfiles->Pop_DeleteClick(); });
        }
        QCOMPARE(f.FMessages, QStringList{QStringLiteral("File access denied.")});
        QCOMPARE(ReadAll(path), stored);
        QCOMPARE(QFileInfo(path).size(), 480);
        QCOMPARE(m.CurrentProfileIndex(), 1);

        // Writable again: the next operation works.
        SetMode(path, 0644);
        f.FMessages.clear();
        m.Ed_Nazev->setText(QStringLiteral("Nový"));
        m.But_Save->click();
        QVERIFY(f.FMessages.isEmpty());
        QCOMPARE(QFileInfo(path).size(), 640);
        QCOMPARE(ReadAll(path).left(480), stored);
    }

    void readOnlyFolderKeepsTheFileWritableButCreatesNothing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("profiles.mtr"));
        const QByteArray stored = Records(2);
        QVERIFY(WriteAll(path, stored));
        AppFixture f(false, dir.path());
        TformMain& m = *f.FMain;

        // The file itself is writable: in place, records are saved as ever.
        SetMode(dir.path(), 0555);
        m.Ed_Nazev->setText(QStringLiteral("Třetí"));
        m.But_Save->click();
        QVERIFY(f.FMessages.isEmpty());
        QCOMPARE(QFileInfo(path).size(), 480);
        QCOMPARE(ReadAll(path).left(320), stored);

        // Gone, in a folder that may not be written: no new file, whoever runs the program.
        SetMode(dir.path(), 0755);
        QVERIFY(QFile::remove(path));
        SetMode(dir.path(), 0555);
        m.Ed_Nazev->setText(QStringLiteral("Čtvrtý"));
        m.But_Save->click();
        QCOMPARE(f.FMessages, QStringList{QStringLiteral("File access denied.")});
        QVERIFY(!QFileInfo::exists(path));
        QCOMPARE(m.CurrentProfileIndex(), 2);

        // The close cannot write the settings file there either, and says so.
        f.FMessages.clear();
        f.Close();
        QCOMPARE(f.FMessages, QStringList{QStringLiteral("Unable to write to ") +
                                          dir.filePath(QStringLiteral("tiktakon.ini")) + u'.'});
        SetMode(dir.path(), 0755);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{});
    }

    void diskFullWhileSaving_data()
    {
        QTest::addColumn<int>("records");
        QTest::addColumn<bool>("fits");
        // tmpfs hands out 4 KiB pages: a record that still fits in the file's last page is saved.
        QTest::newRow("room left in the last page") << 3 << true;
        QTest::newRow("record across a page boundary") << 25 << false;
        QTest::newRow("record on a new page") << 128 << false;
        QTest::newRow("empty file") << 0 << false;
    }
    void diskFullWhileSaving()
    {
        QFETCH(int, records);
        QFETCH(bool, fits);
        if (!FPrivateMounts) {
            QSKIP("no private mount namespace here (not root?): the disk-full case needs its own tmpfs");
        }
        QTemporaryDir base;
        const QString mountPoint = base.filePath(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(mountPoint));
        QVERIFY2(::mount("tiktakon", QFile::encodeName(mountPoint).constData(), "tmpfs", 0,
                         "size=256k,mode=0755") == 0,
                 strerror(errno));
        const auto unmount =
            qScopeGuard([&] { ::umount2(QFile::encodeName(mountPoint).constData(), MNT_DETACH); });

        const QString path = mountPoint + QStringLiteral("/profiles.mtr");
        const QString ini = mountPoint + QStringLiteral("/tiktakon.ini");
        const QByteArray stored = Records(records);
        const QByteArray settings("[cizi]\nklic=hodnota\n[profil]\nselected=-1\n");
        QVERIFY(WriteAll(path, stored));
        QVERIFY(WriteAll(ini, settings));
        AppFixture f(false, mountPoint);
        TformMain& m = *f.FMain;
        QVERIFY(f.FMessages.isEmpty());

        const QString filler = FillUp(mountPoint);
        QVERIFY(!filler.isEmpty());
        m.Ed_Nazev->setText(QStringLiteral("Plný disk"));
        m.But_Save->click();
        if (fits) {
            QVERIFY(f.FMessages.isEmpty());
            QCOMPARE(ReadAll(path).size(), stored.size() + TProfileRecord::Size);
            QCOMPARE(m.CurrentProfileIndex(), records);
        } else {
            QCOMPARE(f.FMessages, QStringList{QStringLiteral("I/O error 28.")});
            // Nothing half-written: the file holds exactly what it held.
            QCOMPARE(ReadAll(path), stored);
            QCOMPARE(m.CurrentProfileIndex(), -1);
            QCOMPARE(m.Grid->Cell(1, records + 1), QString());
        }
        QCOMPARE(ReadAll(path).left(stored.size()), stored);

        // Closing on the full disk: the settings file cannot be written, stays whole, and no
        // temporary file is left behind.
        f.FMessages.clear();
        f.Close();
        QCOMPARE(f.FMessages, QStringList{QStringLiteral("Unable to write to ") + ini + u'.'});
        QCOMPARE(ReadAll(ini), settings);
        QStringList expected{QStringLiteral("filler"), QStringLiteral("profiles.mtr"),
                             QStringLiteral("tiktakon.ini")};
        QCOMPARE(QDir(mountPoint).entryList(QDir::Files | QDir::Hidden), expected);

        // With room again, everything saves.
        QVERIFY(QFile::remove(filler));
        AppFixture again(false, mountPoint);
        again.FMain->Ed_Nazev->setText(QStringLiteral("Místo je"));
        again.FMain->But_Save->click();
        again.Close();
        QVERIFY(again.FMessages.isEmpty());
        QCOMPARE(ReadAll(path).left(stored.size()), stored);
        QVERIFY(ReadAll(ini).startsWith("[cizi]\nklic=hodnota\n[profil]\n"));
    }

    void settingsFileChangedByAnotherProgramWhileRunning_data()
    {
        QTest::addColumn<QByteArray>("changed");
        QTest::addColumn<QList<QByteArray>>("kept");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("lines added")
            << QByteArray("[metro]\ntempo=150\n[jiny]\nprogram=ano\n[zvuk]\nmode=1\nnovy=1\n")
            << QList<QByteArray>{"[jiny]\nprogram=ano\n", "novy=1\n"} << false;
        QTest::newRow("rewritten with CRLF and our keys changed")
            << QByteArray("[zvuk]\r\nmode=4\r\nwavepath1=/jinde.wav\r\n[jiny]\r\nx=1\r\n")
            << QList<QByteArray>{"[jiny]\r\nx=1\r\n"} << false;
        QTest::newRow("deleted") << QByteArray() << QList<QByteArray>{} << false;
        QTest::newRow("replaced by a read-only file")
            << QByteArray("[jiny]\nzamceno=1\n") << QList<QByteArray>{"[jiny]\nzamceno=1\n"} << true;
    }
    void settingsFileChangedByAnotherProgramWhileRunning()
    {
        QFETCH(QByteArray, changed);
        QFETCH(QList<QByteArray>, kept);
        QFETCH(bool, readOnly);
        QTemporaryDir dir;
        const QString ini = dir.filePath(QStringLiteral("tiktakon.ini"));
        QVERIFY(WriteAll(ini, "[metro]\ntempo=150\n[zvuk]\nmode=1\n"));
        AppFixture f(false, dir.path());
        TformMain& m = *f.FMain;
        QCOMPARE(m.SliderTempo(), 150);
        m.SetSliderTempo(180);

        // The other program, while the window runs.
        QVERIFY(QFile::remove(ini));
        if (!changed.isEmpty() || readOnly) {
            QVERIFY(WriteAll(ini, changed));
        }
        if (readOnly) {
            SetMode(ini, 0444);
        }
        f.Close();
        const QByteArray closed = ReadAll(ini);
        if (readOnly) {
            QCOMPARE(f.FMessages, QStringList{QStringLiteral("Unable to write to ") + ini + u'.'});
            QCOMPARE(closed, changed);
            return;
        }
        QVERIFY2(f.FMessages.isEmpty(), qPrintable(f.FMessages.join(u'|')));
        for (const QByteArray& piece : kept) {
            QVERIFY2(closed.contains(piece), piece.constData());
        }
        // Our keys hold our values, each once.
        QVERIFY(closed.contains("tempo=180"));
        QCOMPARE(closed.count("tempo="), 1);
        QCOMPARE(closed.count("mode="), 1);
        QVERIFY(closed.contains("mode=1"));
        QCOMPARE(closed.count("[zvuk]"), 1);
    }
};

int main(int argc, char* argv[])
{
    // A mount namespace of our own: the small tmpfs is seen by this process only and goes with it.
    const bool privateMounts =
        ::unshare(CLONE_NEWNS) == 0 && ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    QApplication app(argc, argv);
    TestFaultsFiles test(privateMounts);
    return QTest::qExec(&test, argc, argv);
}

#include "test_faults_files.moc"
