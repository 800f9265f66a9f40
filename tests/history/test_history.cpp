// The practice history against real SQLite files: what is stored reads back field for field; a file
// this version must not change stays byte for byte and the session waits in memory; neither another
// program's lock nor a killed writer costs a committed session, and the window never waits.
#include "PracticeHistory.h"
#include "TestFiles.h"

#include <QDir>
#include <QElapsedTimer>
#include <QMetaEnum>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <memory>

using Problem = PracticeHistory::Problem;

namespace {

const double NaN = std::nan("");
const QByteArray ProfileA(16, '\x01');
const QByteArray ProfileB = QByteArray::fromHex("00112233445566778899aabbccddeeff");

PracticeSession Session(const QByteArray& id, const QString& name, int minute)
{
    PracticeSession s;
    s.FProfileId = id;
    s.FProfileName = name;
    s.FStart = QDateTime(QDate(2026, 2, 14), QTime(17, 0), QTimeZone::utc()).addSecs(60 * minute);
    s.FDurationSeconds = 240 + minute;
    s.FTempo = 100 + minute;
    s.FSubdivision = 1 + minute % 4;
    s.FHitCount = 400 + minute;
    s.FMeanOffsetMs = -2.5 - minute;
    s.FSpreadMs = 8.25;
    s.FBeatOffsetsMs = {-4, -1.5, -2, -2.5};
    s.FSilentDriftBpm = minute % 2 ? NaN : 0.75;
    return s;
}

QString Number(double value)
{
    return QString::number(value, 'g', 17);
}

// Every field in one line, NaN spelled out, so that a difference shows in QCOMPARE's message.
QString Describe(const PracticeSession& s)
{
    QStringList beats;
    for (double beat : s.FBeatOffsetsMs)
        beats << Number(beat);
    return QStringList{QString::fromLatin1(s.FProfileId.toHex()),
                       s.FProfileName,
                       QString::number(s.FStart.toMSecsSinceEpoch()),
                       QString::number(s.FDurationSeconds),
                       QString::number(s.FTempo),
                       QString::number(s.FSubdivision),
                       QString::number(s.FHitCount),
                       Number(s.FMeanOffsetMs),
                       Number(s.FSpreadMs),
                       beats.join(u' '),
                       Number(s.FSilentDriftBpm)}
        .join(QStringLiteral(" | "));
}

QStringList Describe(const QList<PracticeSession>& sessions)
{
    QStringList lines;
    for (const PracticeSession& s : sessions)
        lines << Describe(s);
    return lines;
}

QStringList Names(const QList<PracticeSession>& sessions)
{
    QStringList names;
    for (const PracticeSession& s : sessions)
        names << s.FProfileName;
    return names;
}

// The test's own connection, beside whatever the history opens.
class RawDb final
{
public:
    explicit RawDb(const QString& path) : FName(QStringLiteral("raw-%1").arg(++Count))
    {
        FDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FName);
        FDb.setDatabaseName(path);
        FDb.open();
    }
    ~RawDb()
    {
        FDb.close();
        FDb = QSqlDatabase();
        QSqlDatabase::removeDatabase(FName);
    }
    RawDb(const RawDb&) = delete;
    RawDb& operator=(const RawDb&) = delete;

    // The first column of every row; an error comes back as the only row, so a comparison shows it.
    QStringList Column(const QString& sql)
    {
        QSqlQuery query(FDb);
        if (!query.exec(sql))
            return {QStringLiteral("error: ") + query.lastError().text()};
        QStringList rows;
        while (query.next())
            rows << query.value(0).toString();
        return rows;
    }
    QString Value(const QString& sql) { return Column(sql).value(0); }

private:
    static inline int Count = 0;
    QString FName;
    QSqlDatabase FDb;
};

QStringList Listing(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System);
}

// Changes whenever a file is made or removed in the folder, however briefly it lived.
qint64 FolderChanged(const QString& folder)
{
    struct stat st
    {
    };
    ::stat(QFile::encodeName(folder).constData(), &st);
    return qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
}

bool SetMode(const QString& path, mode_t mode)
{
    return ::chmod(QFile::encodeName(path).constData(), mode) == 0;
}

} // namespace

class TestHistory final : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> FDir;
    QTemporaryDir FSamples;
    QByteArray FHistoryBytes; // a history of 200 sessions, several pages long
    QByteArray FForeignBytes; // another program's database
    QByteArray FNoTableBytes; // our version number, but no sessions table

    QString Path() const { return FDir->filePath(QStringLiteral("historie.sqlite")); }

    // Writes the sessions through a history of its own, as an earlier run of the program would.
    static void Prepare(const QString& path, const QList<PracticeSession>& sessions)
    {
        PracticeHistory history(path);
        QSignalSpy stored(&history, &PracticeHistory::Stored);
        for (const PracticeSession& s : sessions)
            history.Store(s);
        QTRY_COMPARE_WITH_TIMEOUT(stored.count(), sessions.size(), 30000);
        QCOMPARE(history.LastProblem(), Problem::None);
    }

    // Stores the session where the history must refuse it; checks the refusal and what it leaves.
    static void ExpectRefusal(PracticeHistory& history, const PracticeSession& session, Problem problem)
    {
        QSignalSpy failed(&history, &PracticeHistory::Failed);
        history.Store(session);
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(failed[0][0].value<Problem>(), problem);
        QCOMPARE(history.LastProblem(), problem);
        QCOMPARE(failed[0][1].toString(), history.LastError());
        QVERIFY(!history.LastError().isEmpty());
        QVERIFY(history.LastErrorDetail().contains(QFileInfo(history.Path()).fileName()));
        QCOMPARE(Describe(history.Pending()), Describe(QList<PracticeSession>{session}));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(FSamples.isValid());
        QList<PracticeSession> many;
        for (int minute = 0; minute < 200; ++minute)
            many << Session(ProfileA, QStringLiteral("sample %1").arg(minute), minute);
        const QString history = FSamples.filePath(QStringLiteral("history.sqlite"));
        Prepare(history, many);
        FHistoryBytes = ReadAll(history);
        QVERIFY(FHistoryBytes.size() > 4 * 4096);

        const QString foreign = FSamples.filePath(QStringLiteral("foreign.sqlite"));
        const QString noTable = FSamples.filePath(QStringLiteral("notable.sqlite"));
        {
            RawDb db(foreign);
            QCOMPARE(db.Column(QStringLiteral("CREATE TABLE notes (text)")), QStringList());
            QCOMPARE(db.Column(QStringLiteral("INSERT INTO notes VALUES ('koupit struny')")), QStringList());
            RawDb other(noTable);
            QCOMPARE(other.Column(QStringLiteral("CREATE TABLE others (x)")), QStringList());
            QCOMPARE(other.Column(QStringLiteral("PRAGMA user_version = 1")), QStringList());
        }
        FForeignBytes = ReadAll(foreign);
        FNoTableBytes = ReadAll(noTable);
        QVERIFY(!FForeignBytes.isEmpty() && !FNoTableBytes.isEmpty());
    }

    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
    }

    void cleanup()
    {
        SetMode(FDir->filePath(QStringLiteral("data")), 0755);
        FDir.reset();
    }

    void storedSessionReadsBackFieldForField_data()
    {
        QTest::addColumn<PracticeSession>("session");

        PracticeSession full = Session(ProfileB, QStringLiteral("Rock 4/4"), 0);
        full.FStart = QDateTime(QDate(2026, 1, 10), QTime(19, 30, 15, 250), QTimeZone::utc());
        QTest::newRow("a profile, every field set") << full;

        PracticeSession none = Session(QByteArray(), QString(), 7);
        none.FSilentDriftBpm = NaN;
        QTest::newRow("no profile, no silent bars") << none;

        PracticeSession czech = Session(ProfileA, QStringLiteral("Polka – žluťoučký kůň"), 3);
        czech.FBeatOffsetsMs = {-12.5, 3, NaN, 0, -0.125, 7.75, -1, 2};
        QTest::newRow("Czech name, eight beats, one never hit") << czech;

        PracticeSession silent = Session(ProfileA, QStringLiteral("ticho"), 4);
        silent.FHitCount = 0;
        silent.FMeanOffsetMs = NaN;
        silent.FSpreadMs = NaN;
        silent.FBeatOffsetsMs.clear();
        QTest::newRow("no hits: no mean, no spread, no beats") << silent;

        PracticeSession exact = Session(ProfileA, QStringLiteral("exact"), 5);
        exact.FMeanOffsetMs = 0.1 + 0.2;
        exact.FSpreadMs = 1e-9;
        exact.FBeatOffsetsMs = {-123.456789012345678, 1.0 / 3, 5e-300};
        exact.FSilentDriftBpm = -2.0 / 3;
        QTest::newRow("numbers to their last bit") << exact;
    }
    void storedSessionReadsBackFieldForField()
    {
        QFETCH(PracticeSession, session);
        {
            PracticeHistory history(Path());
            QSignalSpy stored(&history, &PracticeHistory::Stored);
            history.Store(session);
            QTRY_COMPARE(stored.count(), 1);
            QCOMPARE(Describe(stored[0][0].value<PracticeSession>()), Describe(session));
            QVERIFY(history.Pending().isEmpty());
        }
        PracticeHistory reader(Path()); // a later run reads what the file holds
        const QList<PracticeSession> read = reader.Sessions(session.FProfileId);
        QCOMPARE(Describe(read), Describe(QList<PracticeSession>{session}));
        QCOMPARE(read[0].FStart.timeSpec(), Qt::UTC);
        QCOMPARE(reader.LastProblem(), Problem::None);
        QCOMPARE(reader.LastError(), QString());
    }

    void sessionsOfOneProfileOldestFirst_data()
    {
        QTest::addColumn<QByteArray>("profile");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("profile A") << ProfileA << QStringList{"A5", "A30", "A30 again", "A50"};
        QTest::newRow("profile B") << ProfileB << QStringList{"B10", "B40"};
        QTest::newRow("no profile") << QByteArray() << QStringList{"-1", "-20"};
        QTest::newRow("a profile never played") << QByteArray(16, '\x02') << QStringList();
    }
    void sessionsOfOneProfileOldestFirst()
    {
        QFETCH(QByteArray, profile);
        QFETCH(QStringList, names);
        // Stored out of order; two at the same minute keep the order they were stored in.
        Prepare(Path(), {Session(ProfileA, "A30", 30), Session(ProfileB, "B40", 40), Session({}, "-20", 20),
                         Session(ProfileA, "A5", 5), Session(ProfileA, "A50", 50), Session({}, "-1", 1),
                         Session(ProfileB, "B10", 10), Session(ProfileA, "A30 again", 30)});
        if (QTest::currentTestFailed())
            return;
        PracticeHistory history(Path());
        const QList<PracticeSession> read = history.Sessions(profile);
        QCOMPARE(Names(read), names);
        for (const PracticeSession& s : read)
            QCOMPARE(s.FProfileId, profile);
    }

    void newFileGetsTheSchema_data()
    {
        QTest::addColumn<bool>("emptyFile");
        QTest::newRow("no file") << false;
        QTest::newRow("zero-length file") << true;
    }
    void newFileGetsTheSchema()
    {
        QFETCH(bool, emptyFile);
        if (emptyFile)
            QVERIFY(WriteAll(Path(), {}));
        const PracticeSession session = Session(ProfileA, QStringLiteral("první"), 1);
        Prepare(Path(), {session});
        if (QTest::currentTestFailed())
            return;
        RawDb db(Path());
        QCOMPARE(db.Value(QStringLiteral("PRAGMA user_version")), QStringLiteral("1"));
        QCOMPARE(db.Value(QStringLiteral("PRAGMA journal_mode")), QStringLiteral("delete"));
        QCOMPARE(db.Column(QStringLiteral("SELECT profile_name FROM sessions")),
                 QStringList{session.FProfileName});
        // One file and nothing beside it once the write is over.
        QCOMPARE(Listing(FDir->path()), QStringList{QStringLiteral("historie.sqlite")});
    }

    void newerVersionLeftUntouched_data()
    {
        QTest::addColumn<bool>("writeAheadLog");
        QTest::newRow("rollback journal") << false;
        QTest::newRow("write-ahead log") << true;
    }
    void newerVersionLeftUntouched()
    {
        QFETCH(bool, writeAheadLog);
        Prepare(Path(), {Session(ProfileA, QStringLiteral("staré"), 0)});
        if (QTest::currentTestFailed())
            return;
        {
            RawDb db(Path());
            if (writeAheadLog)
                QCOMPARE(db.Value(QStringLiteral("PRAGMA journal_mode = WAL")), QStringLiteral("wal"));
            QCOMPARE(db.Column(QStringLiteral("PRAGMA user_version = 2")), QStringList());
        }
        const QByteArray bytes = ReadAll(Path());
        const qint64 folderChanged = FolderChanged(FDir->path());

        PracticeHistory history(Path());
        const PracticeSession first = Session(ProfileA, QStringLiteral("nové"), 2);
        ExpectRefusal(history, first, Problem::NewerVersion);
        if (QTest::currentTestFailed())
            return;
        // Kept, and offered again with the next session, oldest first.
        QSignalSpy failed(&history, &PracticeHistory::Failed);
        const PracticeSession second = Session(ProfileA, QStringLiteral("novější"), 3);
        history.Store(second);
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(Describe(history.Pending()), Describe(QList<PracticeSession>{first, second}));

        QVERIFY(history.Sessions(ProfileA).isEmpty());
        QCOMPARE(history.LastProblem(), Problem::NewerVersion);
        QCOMPARE(ReadAll(Path()), bytes);
        QCOMPARE(FolderChanged(FDir->path()), folderChanged);
    }

    void damagedFileLeftUntouched_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QByteArray noise(8192, '\0');
        QRandomGenerator random(20260214);
        for (char& c : noise)
            c = char(random.bounded(256));
        QTest::newRow("random bytes") << noise;
        QTest::newRow("a text file") << QByteArray("[Nastaveni]\nTempo=120\n");
        QTest::newRow("half a history") << FHistoryBytes.left(FHistoryBytes.size() / 2);
        QTest::newRow("a page inside overwritten")
            << QByteArray(FHistoryBytes).replace(3 * 4096, 4096, noise.left(4096));
        QTest::newRow("its first page only") << FHistoryBytes.left(4096);
        QTest::newRow("cut inside the header") << FHistoryBytes.left(50);
        QTest::newRow("another program's database") << FForeignBytes;
        QTest::newRow("our version number, no sessions table") << FNoTableBytes;
    }
    void damagedFileLeftUntouched()
    {
        QFETCH(QByteArray, bytes);
        QVERIFY(WriteAll(Path(), bytes));
        PracticeHistory history(Path());
        ExpectRefusal(history, Session(ProfileA, QStringLiteral("po"), 1), Problem::Damaged);
        QCOMPARE(ReadAll(Path()), bytes);
        QCOMPARE(Listing(FDir->path()), QStringList{QStringLiteral("historie.sqlite")});
        // Reading a damaged file gives nothing rather than a piece of it.
        QVERIFY(history.Sessions(ProfileA).isEmpty());
        QCOMPARE(history.LastProblem(), Problem::Damaged);
        QCOMPARE(ReadAll(Path()), bytes);
    }

    void readOnlyPlaceRefusesWrites_data()
    {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<int>("fileMode"); // 0: no file yet
        QTest::addColumn<bool>("asNobody");
        QTest::addColumn<Problem>("problem");
        // Without any write bit the folder or file is read-only for root as well.
        QTest::newRow("folder without write bits") << 0555 << 0 << false << Problem::NotWritable;
        QTest::newRow("folder without write bits, history in it")
            << 0555 << 0644 << false << Problem::NotWritable;
        QTest::newRow("file without write bits") << 0755 << 0444 << false << Problem::ReadOnly;
        // A real permission failure: another user's folder or file.
        QTest::newRow("another user's folder") << 0755 << 0 << true << Problem::NotWritable;
        QTest::newRow("another user's file") << 0777 << 0644 << true << Problem::ReadOnly;
    }
    void readOnlyPlaceRefusesWrites()
    {
        QFETCH(int, folderMode);
        QFETCH(int, fileMode);
        QFETCH(bool, asNobody);
        QFETCH(Problem, problem);
        if (asNobody && ::geteuid() != 0)
            QSKIP("acting as another user needs root");
        const QString folder = FDir->filePath(QStringLiteral("data"));
        const QString path = folder + QStringLiteral("/historie.sqlite");
        QVERIFY(QDir().mkpath(folder));
        const PracticeSession before = Session(ProfileA, QStringLiteral("dříve"), 0);
        if (fileMode) {
            Prepare(path, {before});
            if (QTest::currentTestFailed())
                return;
            QVERIFY(SetMode(path, mode_t(fileMode)));
        }
        const QByteArray bytes = ReadAll(path);
        QVERIFY(SetMode(FDir->path(), 0755));
        QVERIFY(SetMode(folder, mode_t(folderMode)));

        if (asNobody) {
            QProcess writer;
            writer.start(QStringLiteral("setpriv"),
                         {QStringLiteral("--reuid=65534"), QStringLiteral("--regid=65534"),
                          QStringLiteral("--clear-groups"), QStringLiteral(HISTORY_WRITER),
                          QStringLiteral("store"), path});
            QVERIFY(writer.waitForFinished(30000));
            QCOMPARE(writer.exitCode(), 0);
            const char* key = QMetaEnum::fromType<Problem>().valueToKey(int(problem));
            QCOMPARE(writer.readAllStandardOutput().trimmed(), QByteArray(key));
        } else {
            PracticeHistory history(path);
            ExpectRefusal(history, Session(ProfileA, QStringLiteral("teď"), 1), problem);
            // Reading is still allowed.
            QCOMPARE(Describe(history.Sessions(ProfileA)),
                     fileMode ? Describe(QList<PracticeSession>{before}) : QStringList());
        }
        QCOMPARE(QFileInfo::exists(path), fileMode != 0);
        QCOMPARE(ReadAll(path), bytes);
        QCOMPARE(Listing(folder).size(), fileMode ? 1 : 0);
    }

    void lockedFileFailsWithoutBlockingAndIsRetried_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("readable"); // while held
        QTest::newRow("another write transaction") << QStringLiteral("transaction") << true;
        QTest::newRow("an exclusive lock") << QStringLiteral("exclusive") << false;
    }
    void lockedFileFailsWithoutBlockingAndIsRetried()
    {
        QFETCH(QString, how);
        QFETCH(bool, readable);
        Prepare(Path(), {Session(ProfileA, QStringLiteral("před"), 0)});
        if (QTest::currentTestFailed())
            return;
        QProcess holder;
        holder.start(QStringLiteral(HISTORY_WRITER), {QStringLiteral("hold"), Path(), how});
        QVERIFY(holder.waitForReadyRead(10000));
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

        PracticeHistory history(Path());
        QSignalSpy stored(&history, &PracticeHistory::Stored);
        QSignalSpy failed(&history, &PracticeHistory::Failed);
        QElapsedTimer clock;
        clock.start();
        history.Store(Session(ProfileA, QStringLiteral("zamčeno"), 1));
        const qint64 storeTook = clock.elapsed();
        QVERIFY2(storeTook < 50, qPrintable(QStringLiteral("Store took %1 ms").arg(storeTook)));

        // The window's event loop keeps turning while the writer waits for the lock.
        qint64 last = clock.elapsed();
        qint64 longestGap = 0;
        QTimer tick;
        tick.setInterval(5);
        connect(&tick, &QTimer::timeout, this, [&] {
            longestGap = std::max(longestGap, clock.elapsed() - last);
            last = clock.elapsed();
        });
        tick.start();
        QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 10000);
        const qint64 waited = clock.elapsed();
        tick.stop();
        QVERIFY2(waited >= 1500, qPrintable(QStringLiteral("gave up after %1 ms").arg(waited)));
        QVERIFY2(longestGap < 250,
                 qPrintable(QStringLiteral("the event loop stood for %1 ms").arg(longestGap)));
        QCOMPARE(failed[0][0].value<Problem>(), Problem::Locked);
        QCOMPARE(stored.count(), 0);
        QCOMPARE(Names(history.Pending()), QStringList{QStringLiteral("zamčeno")});

        const QList<PracticeSession> whileHeld = history.Sessions(ProfileA);
        if (readable) {
            QCOMPARE(Names(whileHeld), QStringList{QStringLiteral("před")});
        } else {
            QVERIFY(whileHeld.isEmpty());
            QCOMPARE(history.LastProblem(), Problem::Locked);
        }

        holder.closeWriteChannel();
        QVERIFY(holder.waitForFinished(10000));
        QCOMPARE(holder.exitCode(), 0);
        history.Store(Session(ProfileA, QStringLiteral("potom"), 2));
        QTRY_COMPARE(stored.count(), 2);
        QCOMPARE(stored[0][0].value<PracticeSession>().FProfileName, QStringLiteral("zamčeno"));
        QCOMPARE(stored[1][0].value<PracticeSession>().FProfileName, QStringLiteral("potom"));
        QVERIFY(history.Pending().isEmpty());
        QCOMPARE(history.LastProblem(), Problem::None);
        QCOMPARE(Names(history.Sessions(ProfileA)), (QStringList{"před", "zamčeno", "potom"}));
    }

    void killedWriterLosesNoCommittedSession()
    {
        QStringList committed;
        int journalsLeft = 0;
        for (int round = 0; round < 8; ++round) {
            QProcess writer;
            writer.start(QStringLiteral(HISTORY_WRITER),
                         {QStringLiteral("write"), Path(), QStringLiteral("round %1").arg(round)});
            QVERIFY(writer.waitForReadyRead(10000)); // writing is under way
            QTest::qWait(QRandomGenerator::global()->bounded(150));
            writer.kill();
            QVERIFY(writer.waitForFinished(10000));
            QCOMPARE(writer.exitStatus(), QProcess::CrashExit);
            const QStringList lines =
                QString::fromUtf8(writer.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
            QVERIFY(!lines.isEmpty());
            committed << lines;
            journalsLeft += QFileInfo::exists(Path() + QStringLiteral("-journal"));

            RawDb db(Path()); // opening rolls back what the killed writer left unfinished
            QCOMPARE(db.Value(QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
            QStringList present = db.Column(QStringLiteral("SELECT profile_name FROM sessions"));
            for (const QString& name : std::as_const(committed))
                QVERIFY2(present.contains(name), qPrintable(name + QStringLiteral(" was lost")));
            QCOMPARE(present.removeDuplicates(), 0);
        }
        qInfo("%lld sessions committed, %d kills left a journal to roll back", qlonglong(committed.size()),
              journalsLeft);
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "test_history.moc"
