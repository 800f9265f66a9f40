// Damaged and foreign profile files read by the real window: whole records are listed, part-records
// are ignored and replaced by the next append, stored values outside their ranges are listed as
// stored and clamped when applied, and nothing is written that was not asked for.
#include "AppFixture.h"
#include "TestFiles.h"

#include "Clock.h"
#include "ProfileFile.h"
#include "ProfileList.h"
#include "ProfileRecord.h"
#include "Shape.h"
#include "SpinEdit.h"
#include "TrackBar.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QToolButton>
#include <QtTest>

#include <climits>

namespace {

QByteArray Bytes(const TProfileRecord& r)
{
    return QByteArray(reinterpret_cast<const char*>(r.Raw().data()), TProfileRecord::Size);
}

TProfileRecord Record(const QString& name, int rhythm, int tempo)
{
    TProfileRecord r;
    r.SetName(name);
    r.SetRhythm(rhythm);
    r.SetTempo(tempo);
    r.SetAccentFlags({1, 0, 0, 0, 0, 0, 0, 0});
    return r;
}

// Rows of the list that show a stored profile.
int ListedProfiles(const TformMain& m)
{
    int rows = 0;
    for (int gridRow = 1; gridRow < m.Grid->GridRowCount(); ++gridRow) {
        if (!m.Grid->Cell(0, gridRow).isEmpty()) {
            ++rows;
        }
    }
    return rows;
}

// The data directory holds nothing but the two files of the program.
QStringList DirEntries(const QString& dir)
{
    return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden, QDir::Name);
}

} // namespace

class TestCorpusProfiles final : public QObject
{
    Q_OBJECT

private slots:
    void truncatedFileListsWholeRecordsAndAppendReplacesThePart_data()
    {
        QTest::addColumn<int>("size");
        // Three records of 160 bytes, cut at every record boundary and inside every record.
        for (const int size : {0, 1, 4, 30, 80, 159, 160, 161, 200, 319, 320, 321, 479, 480}) {
            QTest::newRow(qPrintable(QStringLiteral("%1 bytes").arg(size))) << size;
        }
    }
    void truncatedFileListsWholeRecordsAndAppendReplacesThePart()
    {
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("profiles.mtr"));
        QByteArray full;
        full += Bytes(Record(QStringLiteral("Valčík"), 3, 90));
        full += Bytes(Record(QStringLiteral("Pochod"), 2, 120));
        full += Bytes(Record(QStringLiteral("Polka"), 2, 160));
        const QByteArray stored = full.left(size);
        QVERIFY(WriteAll(path, stored));
        const int whole = size / TProfileRecord::Size;

        AppFixture f(false, dir.path());
        TformMain& m = *f.FMain;
        QVERIFY2(f.FMessages.isEmpty(), qPrintable(f.FMessages.join(u'|')));
        QCOMPARE(ListedProfiles(m), whole);
        const QStringList names{QStringLiteral("Valčík"), QStringLiteral("Pochod"), QStringLiteral("Polka")};
        for (int k = 0; k < whole; ++k) {
            QCOMPARE(m.Grid->Cell(1, k + 1), names[k]);
        }
        // Reading wrote nothing.
        QCOMPARE(ReadAll(path), stored);

        m.Ed_Nazev->setText(QStringLiteral("Nový"));
        m.But_Save->click();
        QVERIFY2(f.FMessages.isEmpty(), qPrintable(f.FMessages.join(u'|')));
        const QByteArray after = ReadAll(path);
        QCOMPARE(after.size(), (whole + 1) * TProfileRecord::Size);
        QCOMPARE(after.left(whole * TProfileRecord::Size), full.left(whole * TProfileRecord::Size));
        TProfileRecord appended;
        std::copy_n(after.constData() + whole * TProfileRecord::Size, TProfileRecord::Size,
                    appended.Raw().begin());
        QCOMPARE(appended.Name(), QStringLiteral("Nový"));
        QCOMPARE(appended.Tempo(), 100);
        QCOMPARE(m.CurrentProfileIndex(), whole);
        QCOMPARE(ListedProfiles(m), whole + 1);
        QCOMPARE(m.Grid->Cell(1, whole + 1), QStringLiteral("Nový"));
    }

    void nameLengthAbove25ShowsTheStoredCharacters()
    {
        // One record for each length byte 26..255, its 25 stored characters all different.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("profiles.mtr"));
        QByteArray data;
        QStringList expected;
        for (int length = 26; length <= 255; ++length) {
            TProfileRecord r = Record(QString(), 4, 100);
            QString name;
            for (int i = 0; i < 25; ++i) {
                name += QChar(u'A' + (length + i) % 26);
            }
            r.SetName(name);
            r.Raw()[4] = static_cast<std::uint8_t>(length);
            // Bytes beyond the name (the alignment and the rhythm) must not leak into it.
            r.Raw()[30] = 'X';
            r.Raw()[31] = 'Y';
            data += Bytes(r);
            expected << name;
        }
        QVERIFY(WriteAll(path, data));

        AppFixture f(false, dir.path());
        TformMain& m = *f.FMain;
        QCOMPARE(ListedProfiles(m), 230);
        for (int k = 0; k < 230; ++k) {
            QCOMPARE(m.Grid->Cell(1, k + 1), expected[k]);
        }
        for (const int k : {0, 100, 229}) {
            m.Guard([&] { m.FProfiles->ApplyProfile(k); });
            QCOMPARE(m.Ed_Nazev->text(), expected[k]);
            QCOMPARE(m.windowTitle(), QStringLiteral("Tiktakon - ") + expected[k]);
        }
        QVERIFY(f.FMessages.isEmpty());
        QCOMPARE(ReadAll(path), data);
    }

    void rhythmAndTempoOutOfRangeListedAsStoredAndClampedWhenApplied_data()
    {
        QTest::addColumn<int>("rhythm");
        QTest::addColumn<int>("tempo");
        QTest::addColumn<int>("appliedRhythm");
        QTest::addColumn<int>("appliedTempo");
        QTest::newRow("int32 minimum") << INT_MIN << INT_MIN << 1 << 40;
        QTest::newRow("int32 maximum") << INT_MAX << INT_MAX << 8 << 208;
        QTest::newRow("minus one") << -1 << -1 << 1 << 40;
        QTest::newRow("zero") << 0 << 0 << 1 << 40;
        QTest::newRow("just outside") << 9 << 209 << 8 << 208;
        QTest::newRow("just outside below") << 0 << 39 << 1 << 40;
        QTest::newRow("mixed extremes") << INT_MAX << INT_MIN << 8 << 40;
        QTest::newRow("in range") << 5 << 133 << 5 << 133;
    }
    void rhythmAndTempoOutOfRangeListedAsStoredAndClampedWhenApplied()
    {
        QFETCH(int, rhythm);
        QFETCH(int, tempo);
        QFETCH(int, appliedRhythm);
        QFETCH(int, appliedTempo);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("profiles.mtr"));
        const QByteArray data = Bytes(Record(QStringLiteral("Okraj"), rhythm, tempo));
        QVERIFY(WriteAll(path, data));

        AppFixture f(false, dir.path());
        TformMain& m = *f.FMain;
        QCOMPARE(m.Grid->Cell(2, 1), QString::number(rhythm) + QStringLiteral(" / 4"));
        QCOMPARE(m.Grid->Cell(3, 1), QString::number(tempo));

        m.Guard([&] { m.FProfiles->ApplyProfile(0); });
        QVERIFY(f.FMessages.isEmpty());
        QCOMPARE(m.RhythmValue(), appliedRhythm);
        QCOMPARE(m.BeatsPerBar(), appliedRhythm);
        QCOMPARE(m.SliderTempo(), appliedTempo);
        QCOMPARE(m.SpEd_Time->Value(), appliedTempo);
        QCOMPARE(m.FClock->FTempo(), appliedTempo);
        QCOMPARE(m.FClock->FInterval(), 60000 / appliedTempo);
        // The beat runs with the clamped values.
        f.Beat(appliedRhythm + 1);
        QCOMPARE(m.FBeatPosition, 1 % appliedRhythm);
        QCOMPARE(ReadAll(path), data);
    }

    void booleanBytesAboveOneAreTicked()
    {
        // One record for each byte value 2..255 in the mute, accents and accent-flag bytes.
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("profiles.mtr"));
        QByteArray data;
        for (int value = 2; value <= 255; ++value) {
            TProfileRecord r = Record(QStringLiteral("B%1").arg(value), 8, 100);
            const auto b = static_cast<std::uint8_t>(value);
            r.SetSilent(b);
            r.SetAccentsOn(b);
            r.SetAccentFlags({b, 0, b, 0, b, 0, b, 0});
            data += Bytes(r);
        }
        QVERIFY(WriteAll(path, data));

        AppFixture f(false, dir.path());
        TformMain& m = *f.FMain;
        QCOMPARE(ListedProfiles(m), 254);
        for (int k = 0; k < 254; ++k) {
            const auto b = static_cast<std::uint8_t>(k + 2);
            m.SetMuteChecked(false);
            m.SetAccentsChecked(false);
            m.Guard([&] { m.FProfiles->ApplyProfile(k); });
            QVERIFY(m.MuteChecked());
            QVERIFY(m.AccentsChecked());
            const std::array<std::uint8_t, 8> flags{b, 0, b, 0, b, 0, b, 0};
            QCOMPARE(m.FAccentFlags, flags);
            for (int light = 0; light < 8; ++light) {
                QCOMPARE(m.FShapes[light]->PenWidth(), light % 2 == 0 ? 2 : 1);
            }
        }
        // The first beat of the bar is accented.
        f.Beat();
        QCOMPARE(m.FShapes[0]->BrushColor(), m.FAccentColour);
        QVERIFY(f.FMessages.isEmpty());
        QCOMPARE(ReadAll(path), data);
    }

    void randomBytesListWholeRecordsAndApplyInRange_data()
    {
        QTest::addColumn<quint32>("seed");
        QTest::addColumn<int>("size");
        for (const auto& [seed, size] : std::initializer_list<std::pair<quint32, int>>{
                 {1, 7}, {2, 160}, {3, 1000}, {4, 4000}, {5, 16001}, {6, 159}, {7, 3200}}) {
            QTest::newRow(qPrintable(QStringLiteral("seed %1, %2 bytes").arg(seed).arg(size)))
                << seed << size;
        }
    }
    void randomBytesListWholeRecordsAndApplyInRange()
    {
        QFETCH(quint32, seed);
        QFETCH(int, size);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("profiles.mtr"));
        QRandomGenerator random(seed);
        QByteArray data(size, Qt::Uninitialized);
        for (char& c : data) {
            c = static_cast<char>(random.bounded(256));
        }
        QVERIFY(WriteAll(path, data));
        const int whole = size / TProfileRecord::Size;

        AppFixture f(false, dir.path());
        TformMain& m = *f.FMain;
        QCOMPARE(ListedProfiles(m), whole);
        for (int k = 0; k < whole; ++k) {
            QVERIFY(m.Grid->Cell(1, k + 1).size() <= 25);
            QCOMPARE(m.Grid->Cell(0, k + 1), QString::number(k + 1));
            m.Guard([&] { m.FProfiles->ApplyProfile(k); });
            QVERIFY(m.RhythmValue() >= 1 && m.RhythmValue() <= 8);
            QVERIFY(m.SliderTempo() >= 40 && m.SliderTempo() <= 208);
            QCOMPARE(m.FClock->FTempo(), m.SliderTempo());
            QCOMPARE(m.CurrentProfileIndex(), k);
            f.Beat(3);
        }
        // One past the last record: the runtime's message, and nothing changes.
        const int current = m.CurrentProfileIndex();
        m.Guard([&] { m.FProfiles->ApplyProfile(whole); });
        QCOMPARE(f.FMessages, QStringList{QStringLiteral("Read beyond end of file.")});
        QCOMPARE(m.CurrentProfileIndex(), current);
        QCOMPARE(ReadAll(path), data);
        f.FMessages.clear();

        // A close writes the settings file and nothing else.
        f.Close();
        QVERIFY(f.FMessages.isEmpty());
        QCOMPARE(DirEntries(dir.path()),
                 (QStringList{QStringLiteral("profiles.mtr"), QStringLiteral("tiktakon.ini")}));
        QCOMPARE(ReadAll(path), data);
    }
};

QTEST_MAIN(TestCorpusProfiles)
#include "test_corpus_profiles.moc"
