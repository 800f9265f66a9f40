// A second process on the practice history, for the tests that need one:
//   history_writer write <file> <label>   stores sessions named "<label> <n>" one after another and
//                                          prints each name once it is committed
//   history_writer hold <file> <how>      holds a write transaction ("transaction") or an exclusive
//                                          lock ("exclusive"), prints "held", lets go at end of input
//   history_writer store <file>            stores one session, prints "None" or the refusal's problem
#include "PracticeHistory.h"

#include <QCoreApplication>
#include <QMetaEnum>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTimeZone>

#include <cstdio>

namespace {

PracticeSession Sample(const QString& name, int n)
{
    PracticeSession s;
    s.FProfileId = QByteArray(16, '\x5a');
    s.FProfileName = name;
    s.FStart = QDateTime(QDate(2026, 3, 1), QTime(18, 0), QTimeZone::utc()).addSecs(n);
    s.FDurationSeconds = 300;
    s.FTempo = 96;
    s.FSubdivision = 2;
    s.FHitCount = 480;
    s.FMeanOffsetMs = -4.25;
    s.FSpreadMs = 11.5;
    s.FBeatOffsetsMs = {-6, -3.5, -4, -3.5};
    s.FSilentDriftBpm = 1.5;
    return s;
}

void Say(const QByteArray& line)
{
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout); // the test reads each line as a fact the moment it appears
}

int Write(const QString& path, const QString& label)
{
    PracticeHistory history(path);
    int n = 0;
    QObject::connect(&history, &PracticeHistory::Stored, [&](const PracticeSession& s) {
        Say(s.FProfileName.toUtf8());
        ++n;
        history.Store(Sample(QStringLiteral("%1 %2").arg(label).arg(n), n));
    });
    QObject::connect(&history, &PracticeHistory::Failed, [&] {
        std::fprintf(stderr, "%s\n", qPrintable(history.LastErrorDetail()));
        QCoreApplication::exit(1);
    });
    history.Store(Sample(QStringLiteral("%1 %2").arg(label).arg(n), n));
    return QCoreApplication::exec();
}

int Hold(const QString& path, const QString& how)
{
    int status = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"));
        db.setDatabaseName(path);
        QSqlQuery query(db);
        const QString begin = how == QLatin1String("exclusive") ? QStringLiteral("BEGIN EXCLUSIVE")
                                                                : QStringLiteral("BEGIN IMMEDIATE");
        if (!db.open() || !query.exec(begin) || !query.exec(QStringLiteral("CREATE TABLE held (x)"))) {
            std::fprintf(stderr, "%s\n", qPrintable(query.lastError().text()));
            status = 1;
        } else {
            Say("held");
            while (std::getchar() != EOF) {
            }
            query.exec(QStringLiteral("ROLLBACK"));
        }
    }
    QSqlDatabase::removeDatabase(QLatin1String(QSqlDatabase::defaultConnection));
    return status;
}

int StoreOne(const QString& path)
{
    PracticeHistory history(path);
    const QMetaEnum problems = QMetaEnum::fromType<PracticeHistory::Problem>();
    QObject::connect(&history, &PracticeHistory::Stored, [&] {
        Say(problems.valueToKey(int(PracticeHistory::Problem::None)));
        QCoreApplication::exit(0);
    });
    QObject::connect(&history, &PracticeHistory::Failed, [&](PracticeHistory::Problem problem) {
        Say(problems.valueToKey(int(problem)));
        QCoreApplication::exit(0);
    });
    history.Store(Sample(QStringLiteral("one"), 0));
    return QCoreApplication::exec();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args[1] == QLatin1String("write"))
        return Write(args[2], args[3]);
    if (args.size() == 4 && args[1] == QLatin1String("hold"))
        return Hold(args[2], args[3]);
    if (args.size() == 3 && args[1] == QLatin1String("store"))
        return StoreOne(args[2]);
    std::fprintf(stderr, "usage: history_writer write <file> <label> | hold <file> <how> | store <file>\n");
    return 2;
}
