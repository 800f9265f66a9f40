#include "PracticeHistory.h"

#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <QtEndian>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <utility>

using Problem = PracticeHistory::Problem;

namespace {

constexpr int SchemaVersion = 1;
// Another copy of the program holds the lock for one short commit; longer means it is stuck.
constexpr int WriteBusyMs = 2000;
// The caller's thread is the window's: it gives up sooner.
constexpr int ReadBusyMs = 250;

// What a write or read ran into; thrown inside this file only, turned into a report at its edge.
struct Failure
{
    Problem FProblem;
    QString FDetail;
};

[[noreturn]] void Fail(Problem problem, const QString& path, const QString& what)
{
    throw Failure{problem, QStringLiteral("%1: %2").arg(QFileInfo(path).absoluteFilePath(), what)};
}

[[noreturn]] void Fail(const QSqlError& error, const QString& path)
{
    // Qt passes SQLite's extended result code; its low byte is the primary one.
    Problem problem = Problem::Failed;
    switch (error.nativeErrorCode().toInt() & 0xff) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        problem = Problem::Locked;
        break;
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        problem = Problem::Damaged;
        break;
    case 3: // SQLITE_PERM
    case 8: // SQLITE_READONLY
        problem = Problem::ReadOnly;
        break;
    case 14: // SQLITE_CANTOPEN
        problem = Problem::NotWritable;
        break;
    default:
        break;
    }
    Fail(problem, path, error.text());
}

bool HasWriteBit(mode_t mode)
{
    return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0;
}

// A folder or file without any write bit is read-only for everyone, root included, as the
// settings file is; access() adds what the permissions deny the user running the program.
void CheckWritable(const QString& path)
{
    const QFileInfo info(path);
    const QByteArray folder = QFile::encodeName(info.absolutePath());
    struct stat st
    {
    };
    if (::stat(folder.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || !HasWriteBit(st.st_mode) ||
        ::access(folder.constData(), W_OK | X_OK) != 0)
        Fail(Problem::NotWritable, path, QStringLiteral("the folder is not writable"));
    const QByteArray file = QFile::encodeName(info.absoluteFilePath());
    if (::stat(file.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            Fail(Problem::Damaged, path, QStringLiteral("not a regular file"));
        if (!HasWriteBit(st.st_mode) || ::access(file.constData(), W_OK) != 0)
            Fail(Problem::ReadOnly, path, QStringLiteral("the file is read-only"));
    } else if (errno != ENOENT) {
        Fail(Problem::Failed, path, QString::fromLocal8Bit(std::strerror(errno)));
    }
}

// The header tells a newer version's file, or no database at all, before SQLite opens it: such a
// file is never opened for writing, not even for the journal SQLite would place beside it.
void CheckHeader(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return; // missing: SQLite reports whatever else is wrong
    const QByteArray head = file.read(64);
    if (head.isEmpty())
        return; // a zero-length file is an empty database
    if (head.left(16) != QByteArray("SQLite format 3\0", 16))
        Fail(Problem::Damaged, path, QStringLiteral("not an SQLite database"));
    if (head.size() == 64 && qFromBigEndian<qint32>(head.constData() + 60) > SchemaVersion)
        Fail(Problem::NewerVersion, path, QStringLiteral("written by a newer version"));
}

// One SQLite connection of the calling thread, closed and unregistered when it goes.
class Connection final
{
public:
    Connection(const QString& path, int busyMs) : FName(QStringLiteral("PracticeHistory-%1").arg(++Count))
    {
        FDb = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), FName);
        FDb.setDatabaseName(path);
        FDb.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMs));
        if (!FDb.open()) {
            const QSqlError error = FDb.lastError();
            Close();
            Fail(error, path);
        }
    }
    ~Connection() { Close(); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    QSqlDatabase& Db() { return FDb; }

private:
    void Close()
    {
        FDb.close();
        FDb = QSqlDatabase();
        QSqlDatabase::removeDatabase(FName);
    }

    static inline std::atomic<int> Count{0};
    QString FName;
    QSqlDatabase FDb;
};

// Runs one statement; the first column of its first row, if any.
QVariant Run(QSqlDatabase& db, const QString& sql, const QVariantList& values = {})
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(sql))
        Fail(query.lastError(), db.databaseName());
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec())
        Fail(query.lastError(), db.databaseName());
    QVariant first;
    if (query.next())
        first = query.value(0);
    else if (query.lastError().isValid())
        Fail(query.lastError(), db.databaseName());
    return first;
}

// Inside a transaction: true when the file holds a practice history of this version, false when
// it is an empty database. Anything else throws, and nothing has been written.
bool HasHistory(QSqlDatabase& db)
{
    const QString path = db.databaseName();
    const int version = Run(db, QStringLiteral("PRAGMA user_version")).toInt();
    if (version > SchemaVersion)
        Fail(Problem::NewerVersion, path, QStringLiteral("written by a newer version"));
    const int objects = Run(db, QStringLiteral("SELECT count(*) FROM sqlite_master")).toInt();
    if (version == 0 && objects == 0)
        return false;
    const int tables =
        Run(db,
            QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = 'sessions'"))
            .toInt();
    if (version != SchemaVersion || tables != 1)
        Fail(Problem::Damaged, path, QStringLiteral("not a practice history"));
    const QString check = Run(db, QStringLiteral("PRAGMA quick_check")).toString();
    if (check != QLatin1String("ok"))
        Fail(Problem::Damaged, path, check);
    return true;
}

void CreateSchema(QSqlDatabase& db)
{
    // No NOT NULL: a session that could never be written would hold back every later one.
    // NULL stands for NaN in the real columns and for "no profile" in profile_id.
    Run(db, QStringLiteral("CREATE TABLE sessions ("
                           " id INTEGER PRIMARY KEY,"
                           " profile_id BLOB,"
                           " profile_name TEXT,"
                           " start_ms INTEGER," // UTC, milliseconds since 1970
                           " duration_s INTEGER,"
                           " tempo_bpm INTEGER,"
                           " subdivision INTEGER,"
                           " hit_count INTEGER,"
                           " mean_offset_ms REAL,"
                           " spread_ms REAL,"
                           " beat_offsets_ms TEXT," // one number per beat, blank-separated
                           " silent_drift_bpm REAL)"));
    Run(db, QStringLiteral("CREATE INDEX sessions_by_profile ON sessions (profile_id, start_ms)"));
    Run(db, QStringLiteral("PRAGMA user_version = %1").arg(SchemaVersion));
}

QVariant ProfileKey(const QByteArray& id)
{
    return id.isEmpty() ? QVariant() : QVariant(id);
}

QVariant Real(double value)
{
    return std::isnan(value) ? QVariant() : QVariant(value);
}

double Real(const QVariant& value)
{
    return value.isNull() ? std::nan("") : value.toDouble();
}

QString BeatsText(const QList<double>& beats)
{
    QStringList parts;
    for (double beat : beats)
        parts << QString::number(beat, 'g', QLocale::FloatingPointShortest);
    return parts.join(u' ');
}

QList<double> Beats(const QString& text)
{
    QList<double> beats;
    for (const QString& number : text.split(u' ', Qt::SkipEmptyParts))
        beats << number.toDouble();
    return beats;
}

void Insert(QSqlDatabase& db, const PracticeSession& s)
{
    Run(db,
        QStringLiteral(
            "INSERT INTO sessions (profile_id, profile_name, start_ms, duration_s, tempo_bpm,"
            " subdivision, hit_count, mean_offset_ms, spread_ms, beat_offsets_ms, silent_drift_bpm)"
            " VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
        {ProfileKey(s.FProfileId), s.FProfileName, s.FStart.toMSecsSinceEpoch(), s.FDurationSeconds, s.FTempo,
         s.FSubdivision, s.FHitCount, Real(s.FMeanOffsetMs), Real(s.FSpreadMs), BeatsText(s.FBeatOffsetsMs),
         Real(s.FSilentDriftBpm)});
}

// Each session in a transaction of its own, so that a crash costs at most the one being written.
void Write(QSqlDatabase& db, const PracticeSession& session)
{
    Run(db, QStringLiteral("BEGIN IMMEDIATE"));
    try {
        if (!HasHistory(db))
            CreateSchema(db);
        Insert(db, session);
        Run(db, QStringLiteral("COMMIT"));
    } catch (const Failure&) {
        QSqlQuery(db).exec(QStringLiteral("ROLLBACK")); // its own failure adds nothing to the first
        throw;
    }
}

QList<PracticeSession> Select(QSqlDatabase& db, const QByteArray& profileId)
{
    QSqlQuery query(db);
    query.setForwardOnly(true);
    if (!query.prepare(QStringLiteral("SELECT profile_id, profile_name, start_ms, duration_s, tempo_bpm,"
                                      " subdivision, hit_count, mean_offset_ms, spread_ms, beat_offsets_ms,"
                                      " silent_drift_bpm FROM sessions WHERE profile_id IS ?"
                                      " ORDER BY start_ms, id")))
        Fail(query.lastError(), db.databaseName());
    query.addBindValue(ProfileKey(profileId));
    if (!query.exec())
        Fail(query.lastError(), db.databaseName());
    QList<PracticeSession> sessions;
    while (query.next()) {
        PracticeSession s;
        s.FProfileId = query.value(0).toByteArray();
        s.FProfileName = query.value(1).toString();
        s.FStart = QDateTime::fromMSecsSinceEpoch(query.value(2).toLongLong(), Qt::UTC);
        s.FDurationSeconds = query.value(3).toInt();
        s.FTempo = query.value(4).toInt();
        s.FSubdivision = query.value(5).toInt();
        s.FHitCount = query.value(6).toInt();
        s.FMeanOffsetMs = Real(query.value(7));
        s.FSpreadMs = Real(query.value(8));
        s.FBeatOffsetsMs = Beats(query.value(9).toString());
        s.FSilentDriftBpm = Real(query.value(10));
        sessions << s;
    }
    if (query.lastError().isValid())
        Fail(query.lastError(), db.databaseName());
    return sessions;
}

} // namespace

// The writer thread: takes batches of sessions in order, opens the file for each batch, and posts
// every commit and the first refusal back to the owner. Only the queue is shared, under its mutex.
class PracticeHistory::Writer final
{
public:
    Writer(QString path, PracticeHistory* owner)
        : FPath(std::move(path)), FOwner(owner), FThread([this] { Loop(); })
    {
    }
    // Writes what was handed over, then ends the thread.
    ~Writer()
    {
        {
            std::lock_guard lock(FMutex);
            FClosing = true;
        }
        FWake.notify_one();
        FThread.join();
    }
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    void Hand(QList<PracticeSession> batch)
    {
        {
            std::lock_guard lock(FMutex);
            FBatches.push_back(std::move(batch));
        }
        FWake.notify_one();
    }

private:
    void Loop()
    {
        for (;;) {
            QList<PracticeSession> batch;
            {
                std::unique_lock lock(FMutex);
                FWake.wait(lock, [this] { return FClosing || !FBatches.empty(); });
                if (FBatches.empty())
                    return;
                batch = std::move(FBatches.front());
                FBatches.pop_front();
            }
            WriteBatch(batch);
        }
    }

    void WriteBatch(const QList<PracticeSession>& batch)
    {
        PracticeHistory* owner = FOwner;
        qsizetype done = 0;
        try {
            CheckWritable(FPath);
            CheckHeader(FPath);
            Connection connection(FPath, WriteBusyMs);
            Run(connection.Db(), QStringLiteral("PRAGMA synchronous = FULL"));
            for (; done < batch.size(); ++done) {
                const PracticeSession& session = batch[done];
                Write(connection.Db(), session);
                QMetaObject::invokeMethod(
                    owner, [owner, session] { owner->Committed(session); }, Qt::QueuedConnection);
            }
        } catch (const Failure& failure) {
            // The rest of the batch would run into the same wall: it goes back untried.
            QMetaObject::invokeMethod(
                owner,
                [owner, rest = batch.mid(done), failure] {
                    owner->Refused(rest, failure.FProblem, failure.FDetail);
                },
                Qt::QueuedConnection);
        }
    }

    const QString FPath;
    PracticeHistory* const FOwner;
    std::mutex FMutex;
    std::condition_variable FWake;
    std::deque<QList<PracticeSession>> FBatches; // under FMutex
    bool FClosing = false;                       // under FMutex
    std::thread FThread;                         // last: it starts on the fields above
};

PracticeHistory::PracticeHistory(QString path, QObject* parent)
    : QObject(parent), FPath(std::move(path)), FWriter(std::make_unique<Writer>(FPath, this))
{
}

PracticeHistory::~PracticeHistory()
{
    if (!FPending.isEmpty())
        FWriter->Hand(std::exchange(FPending, {}));
    FWriter.reset(); // its last reports die with this object, unread
}

void PracticeHistory::Store(const PracticeSession& session)
{
    QList<PracticeSession> batch = std::exchange(FPending, {});
    batch << session;
    FWriter->Hand(std::move(batch));
}

QList<PracticeSession> PracticeHistory::Sessions(const QByteArray& profileId)
{
    if (!QFileInfo::exists(FPath))
        return {};
    try {
        CheckHeader(FPath);
        Connection connection(FPath, ReadBusyMs);
        QSqlDatabase& db = connection.Db();
        // One read transaction, so the checks and the rows see the same file.
        Run(db, QStringLiteral("BEGIN"));
        QList<PracticeSession> sessions;
        try {
            if (HasHistory(db))
                sessions = Select(db, profileId);
        } catch (const Failure&) {
            QSqlQuery(db).exec(QStringLiteral("ROLLBACK"));
            throw;
        }
        Run(db, QStringLiteral("COMMIT"));
        return sessions;
    } catch (const Failure& failure) {
        Note(failure.FProblem, failure.FDetail);
        return {};
    }
}

QString PracticeHistory::LastError() const
{
    switch (FProblem) {
    case Problem::None:
        return {};
    case Problem::NotWritable:
        return tr("Do složky s historií cvičení nelze zapisovat.");
    case Problem::ReadOnly:
        return tr("Soubor s historií cvičení je jen pro čtení.");
    case Problem::Locked:
        return tr("Historii cvičení má právě zamčenou jiný program, nejspíš další spuštěný Tiktakon.");
    case Problem::Damaged:
        return tr("Soubor s historií cvičení je poškozený nebo to není historie cvičení; program ho nemění.");
    case Problem::NewerVersion:
        return tr("Historii cvičení zapsala novější verze programu; tato verze do ní nezapisuje.");
    case Problem::Failed:
        break;
    }
    return tr("Historii cvičení nelze uložit.");
}

void PracticeHistory::Committed(const PracticeSession& session)
{
    FProblem = Problem::None;
    FDetail.clear();
    emit Stored(session);
}

void PracticeHistory::Refused(const QList<PracticeSession>& sessions, Problem problem, const QString& detail)
{
    FPending << sessions;
    std::stable_sort(FPending.begin(), FPending.end(),
                     [](const PracticeSession& a, const PracticeSession& b) { return a.FStart < b.FStart; });
    Note(problem, detail);
    emit Failed(problem, LastError());
}

void PracticeHistory::Note(Problem problem, const QString& detail)
{
    FProblem = problem;
    FDetail = detail;
}
