#include "Error.h"
#include "TestFiles.h"
#include "ProfileFile.h"

#include <QtTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Records whose every byte tells which record it is and where it stands.
QByteArray PatternRecords(int count)
{
    QByteArray bytes;
    for (int k = 0; k < count; ++k) {
        for (int i = 0; i < TProfileRecord::Size; ++i) {
            bytes.append(char((k * 37 + i * 11 + 1) & 0xFF));
        }
    }
    return bytes;
}

QByteArray RawBytes(const TProfileRecord& record)
{
    return QByteArray(reinterpret_cast<const char*>(record.Raw().data()), TProfileRecord::Size);
}

QString ErrorText(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const TiktakonError& error) {
        return QString::fromUtf8(error.what());
    }
    return QStringLiteral("(no error)");
}

} // namespace

class TestProfileFile final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FPath = FDir->filePath(QStringLiteral("profiles.mtr"));
    }

    void loadCreatesAMissingFileEmpty()
    {
        ProfileFile file(FPath);
        QVERIFY(!file.Exists());
        TProfileRecord buffer;
        int calls = 0;
        QCOMPARE(file.LoadAll(buffer, [&](int) { ++calls; }), 0);
        QCOMPARE(calls, 0);
        QVERIFY(file.Exists());
        QCOMPARE(QFileInfo(FPath).size(), 0);
    }

    void loadReadsEveryRecordInOrder()
    {
        const QByteArray bytes = PatternRecords(4);
        QVERIFY(WriteAll(FPath, bytes));
        ProfileFile file(FPath);
        TProfileRecord buffer;
        QList<int> seen;
        QCOMPARE(file.LoadAll(buffer,
                              [&](int k) {
                                  seen << k;
                                  QCOMPARE(RawBytes(buffer), bytes.mid(k * 160, 160));
                              }),
                 4);
        QCOMPARE(seen, (QList<int>{0, 1, 2, 3}));
    }

    // 1000 bytes: six whole records and a part-record that the next append replaces.
    void partRecordIsIgnoredAndReplacedByAppend()
    {
        const QByteArray bytes = PatternRecords(6) + QByteArray(40, '\xEE');
        QCOMPARE(bytes.size(), 1000);
        QVERIFY(WriteAll(FPath, bytes));
        ProfileFile file(FPath);
        TProfileRecord buffer;
        QCOMPARE(file.LoadAll(buffer, {}), 6);
        QCOMPARE(file.RecordCount(), 6);

        TProfileRecord added;
        added.SetName(QStringLiteral("Nový"));
        added.SetTempo(99);
        int told = -1;
        QCOMPARE(file.Append(added, [&](int position) { told = position; }), 6);
        QCOMPARE(told, 6);
        const QByteArray after = ReadAll(FPath);
        QCOMPARE(after.size(), 1120);
        QCOMPARE(after.left(960), bytes.left(960));
        QCOMPARE(after.mid(960), RawBytes(added));
    }

    void readAtReadsOneRecordAndFailsPastTheEnd()
    {
        const QByteArray bytes = PatternRecords(3) + QByteArray(100, '\x11');
        QVERIFY(WriteAll(FPath, bytes));
        ProfileFile file(FPath);
        TProfileRecord buffer;
        QVERIFY(file.ReadAt(2, buffer));
        QCOMPARE(RawBytes(buffer), bytes.mid(320, 160));
        // The part-record is no record; a failed read leaves the buffer as it was.
        QCOMPARE(ErrorText([&] { file.ReadAt(3, buffer); }), QStringLiteral("Read beyond end of file"));
        QCOMPARE(ErrorText([&] { file.ReadAt(-1, buffer); }), QStringLiteral("Read beyond end of file"));
        QCOMPARE(RawBytes(buffer), bytes.mid(320, 160));
        QCOMPARE(ReadAll(FPath), bytes);
    }

    void readAtOnAMissingFileDoesNothing()
    {
        ProfileFile file(FPath);
        TProfileRecord buffer;
        buffer.SetTempo(77);
        QVERIFY(!file.ReadAt(0, buffer));
        QCOMPARE(buffer.Tempo(), 77);
        QVERIFY(!QFileInfo::exists(FPath));
    }

    void overwriteReplacesOnlyThatRecord()
    {
        const QByteArray bytes = PatternRecords(3);
        QVERIFY(WriteAll(FPath, bytes));
        ProfileFile file(FPath);
        TProfileRecord record;
        record.SetNumber(2);
        record.SetName(QStringLiteral("Přepsaný"));
        file.Overwrite(1, record);
        QCOMPARE(ReadAll(FPath), bytes.left(160) + RawBytes(record) + bytes.mid(320));
        QCOMPARE(ErrorText([&] { file.Overwrite(3, record); }), QStringLiteral("Read beyond end of file"));
        QCOMPARE(QFileInfo(FPath).size(), 480);
    }

    void deleteMovesLaterRecordsDown_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("trailing"); // bytes of a part-record after the records
        QTest::newRow("first of three") << 3 << 0 << 0;
        QTest::newRow("middle of three") << 3 << 1 << 0;
        QTest::newRow("last of three") << 3 << 2 << 0;
        QTest::newRow("only") << 1 << 0 << 0;
        QTest::newRow("first of five, part-record after") << 5 << 0 << 70;
    }
    void deleteMovesLaterRecordsDown()
    {
        QFETCH(int, count);
        QFETCH(int, index);
        QFETCH(int, trailing);
        const QByteArray bytes = PatternRecords(count);
        QVERIFY(WriteAll(FPath, bytes + QByteArray(trailing, '\x55')));
        ProfileFile file(FPath);
        TProfileRecord buffer;
        file.Delete(index, buffer);
        QByteArray expected = bytes;
        expected.remove(index * 160, 160);
        QCOMPARE(ReadAll(FPath), expected);
        QCOMPARE(QFileInfo(FPath).size(), (count - 1) * 160);
    }

    void deletePastTheEndChangesNothing()
    {
        const QByteArray bytes = PatternRecords(2);
        QVERIFY(WriteAll(FPath, bytes));
        ProfileFile file(FPath);
        TProfileRecord buffer;
        QCOMPARE(ErrorText([&] { file.Delete(2, buffer); }), QStringLiteral("Read beyond end of file"));
        QCOMPARE(ErrorText([&] { file.Delete(-1, buffer); }), QStringLiteral("Read beyond end of file"));
        QCOMPARE(ReadAll(FPath), bytes);
    }

    void renameChangesOnlyTheNameBytes()
    {
        const QByteArray bytes = PatternRecords(3);
        QVERIFY(WriteAll(FPath, bytes));
        ProfileFile file(FPath);
        TProfileRecord buffer;
        file.Rename(1, QStringLiteral("Valčík pro Žofii a další přátele"), buffer);
        QByteArray expected = bytes;
        const QByteArray name =
            QByteArray("\x19") + ToWindows1250(QStringLiteral("Valčík pro Žofii a další "));
        expected.replace(160 + 4, 26, name);
        const QByteArray after = ReadAll(FPath);
        QCOMPARE(after.toHex(' '), expected.toHex(' '));
        QCOMPARE(RawBytes(buffer), after.mid(160, 160));
    }

    // Without any write permission a file is read-only for everybody, root included.
    void readOnlyFileIsDenied_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::newRow("load") << "load";
        QTest::newRow("read") << "read";
        QTest::newRow("append") << "append";
        QTest::newRow("overwrite") << "overwrite";
        QTest::newRow("rename") << "rename";
        QTest::newRow("delete") << "delete";
    }
    void readOnlyFileIsDenied()
    {
        QFETCH(QString, operation);
        const QByteArray bytes = PatternRecords(2) + QByteArray(5, '\x01');
        QVERIFY(WriteAll(FPath, bytes));
        QCOMPARE(::chmod(QFile::encodeName(FPath).constData(), 0444), 0);
        ProfileFile file(FPath);
        TProfileRecord buffer;
        const QByteArray before = RawBytes(buffer);
        const QString text = ErrorText([&] {
            if (operation == "load") {
                file.LoadAll(buffer, {});
            } else if (operation == "read") {
                file.ReadAt(0, buffer);
            } else if (operation == "append") {
                file.Append(buffer);
            } else if (operation == "overwrite") {
                file.Overwrite(0, buffer);
            } else if (operation == "rename") {
                file.Rename(0, QStringLiteral("x"), buffer);
            } else {
                file.Delete(0, buffer);
            }
        });
        QCOMPARE(text, QStringLiteral("File access denied"));
        QCOMPARE(ReadAll(FPath), bytes);
        QCOMPARE(RawBytes(buffer), before);
        QCOMPARE(QFileInfo(FPath).permissions() & QFile::WriteOwner, QFile::Permissions());
    }

    void failuresCarryTheRuntimeTexts_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text");
        QTest::newRow("missing folder") << "missing/profiles.mtr"
                                        << "File not found";
        QTest::newRow("empty name") << QString() << "Invalid filename";
        QTest::newRow("name too long") << QString(300, u'x') << "Invalid filename";
        QTest::newRow("a folder") << "."
                                  << "I/O error 21";
        QTest::newRow("disk full") << "/dev/full"
                                   << "I/O error 28";
    }
    void failuresCarryTheRuntimeTexts()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        const QString fullPath = path.isEmpty() || path.startsWith(u'/') ? path : FDir->filePath(path);
        ProfileFile file(fullPath);
        TProfileRecord buffer;
        QCOMPARE(ErrorText([&] { file.Append(buffer); }), text);
    }

    void tooManyOpenFiles()
    {
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_NOFILE, &saved), 0);
        rlimit lowered = saved;
        lowered.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &lowered), 0);
        QList<int> handles;
        for (;;) {
            const int handle = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
            if (handle < 0) {
                QCOMPARE(errno, EMFILE);
                break;
            }
            handles << handle;
        }
        ProfileFile file(FPath);
        TProfileRecord buffer;
        const QString text = ErrorText([&] { file.LoadAll(buffer, {}); });
        for (const int handle : handles) {
            ::close(handle);
        }
        QCOMPARE(::setrlimit(RLIMIT_NOFILE, &saved), 0);
        QCOMPARE(text, QStringLiteral("Too many open files"));
    }

private:
    std::unique_ptr<QTemporaryDir> FDir;
    QString FPath;
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "test_profilefile.moc"
