#pragma once

#include "PracticeSession.h"

#include <QList>
#include <QObject>
#include <QString>

#include <memory>

// The timing coach's practice history: every finished session, one row each, in one SQLite file.
// The window never waits for a write: Store() hands the session to a writer thread and returns,
// and the outcome comes back as a signal. A file this version must not change (written by a newer
// version, damaged, read-only, locked by another copy of the program) is left exactly as it is;
// the sessions it refused stay in Pending() and are tried again with the next Store().
// Threads: every member is called, and every signal emitted, on the thread that owns the object;
// the writer thread only runs SQL and posts its results back to it.
class PracticeHistory final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PracticeHistory)

public:
    enum class Problem {
        None,
        NotWritable,  // the folder takes no new file
        ReadOnly,     // the file has no write permission
        Locked,       // another program held its lock past the busy timeout
        Damaged,      // not an SQLite database, damaged, or not a practice history
        NewerVersion, // written by a newer version of the program
        Failed        // anything else the disk or SQLite refused
    };
    Q_ENUM(Problem)

    explicit PracticeHistory(QString path, QObject* parent = nullptr);
    // Waits for the writes already handed over, and gives Pending() one more try.
    ~PracticeHistory() override;

    const QString& Path() const { return FPath; }

    // Queues the session, after those still pending, each to be written in its own transaction.
    void Store(const PracticeSession& session);
    // The sessions of one profile (an empty id: those played without a profile), oldest first.
    // Reads on the calling thread through a connection of its own: the file is small, and another
    // program's lock is waited for at most a quarter of a second. Empty when the file is missing or
    // cannot be read; LastError() then says why.
    QList<PracticeSession> Sessions(const QByteArray& profileId);

    // Sessions a write refused, oldest first.
    const QList<PracticeSession>& Pending() const { return FPending; }
    // The last failure of a write or a read; cleared once a session is written.
    Problem LastProblem() const { return FProblem; }
    // For the user, in the interface's language.
    QString LastError() const;
    // For a bug report: SQLite's or the system's message, with the file's path.
    const QString& LastErrorDetail() const { return FDetail; }

signals:
    // Once for each session written.
    void Stored(const PracticeSession& session);
    // Once for each refused batch; its sessions are in Pending().
    void Failed(PracticeHistory::Problem problem, const QString& text);

private:
    class Writer;

    void Committed(const PracticeSession& session);
    void Refused(const QList<PracticeSession>& sessions, Problem problem, const QString& detail);
    void Note(Problem problem, const QString& detail);

    QString FPath;
    QList<PracticeSession> FPending;
    Problem FProblem = Problem::None;
    QString FDetail;
    std::unique_ptr<Writer> FWriter;
};
