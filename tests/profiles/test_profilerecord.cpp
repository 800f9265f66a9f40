#include "ProfileRecord.h"

#include <QtTest>

namespace {

QByteArray RawBytes(const TProfileRecord& record)
{
    return QByteArray(reinterpret_cast<const char*>(record.Raw().data()), TProfileRecord::Size);
}

TProfileRecord FromBytes(const QByteArray& bytes)
{
    TProfileRecord record;
    std::copy(bytes.begin(), bytes.end(), record.Raw().begin());
    return record;
}

} // namespace

class TestProfileRecord final : public QObject
{
    Q_OBJECT

private slots:
    void newRecordIsZero() { QCOMPARE(RawBytes(TProfileRecord()), QByteArray(TProfileRecord::Size, '\0')); }

    // Every field at its offset, little-endian, the name in Windows-1250; then read back.
    void goldenBytesAndReadBack()
    {
        TProfileRecord record;
        record.SetNumber(-2);
        record.SetName(QStringLiteral("Žluťoučký kůň"));
        record.SetRhythm(7);
        record.SetTempo(300);
        record.SetSilent(1);
        record.SetAccentsOn(0);
        record.SetAccentFlags({1, 0, 0, 1, 0, 0, 2, 0});

        QByteArray expected(TProfileRecord::Size, '\0');
        const QByteArray head = QByteArray::fromHex("feffffff"                   // Number
                                                    "0d"                         // name length
                                                    "8e6c759d6f75e86bfd206bf9f2" // name
                                                    "000000000000000000000000"   // rest of the name
                                                    "0000"                       // alignment
                                                    "07000000"                   // Rhythm
                                                    "2c010000"                   // Tempo
                                                    "01"                         // Silent
                                                    "00"                         // AccentsOn
                                                    "0100000100000200");         // AccentFlags
        QCOMPARE(head.size(), 50);
        expected.replace(0, head.size(), head);
        QCOMPARE(RawBytes(record).toHex(' '), expected.toHex(' '));

        const TProfileRecord back = FromBytes(expected);
        QCOMPARE(back.Number(), -2);
        QCOMPARE(back.Name(), QStringLiteral("Žluťoučký kůň"));
        QCOMPARE(back.Rhythm(), 7);
        QCOMPARE(back.Tempo(), 300);
        QCOMPARE(back.Silent(), std::uint8_t(1));
        QCOMPARE(back.AccentsOn(), std::uint8_t(0));
        QCOMPARE(back.AccentFlags(), (std::array<std::uint8_t, 8>{1, 0, 0, 1, 0, 0, 2, 0}));
    }

    void extremeIntegersKeepAllBytes()
    {
        TProfileRecord record;
        record.SetNumber(std::numeric_limits<std::int32_t>::min());
        record.SetRhythm(std::numeric_limits<std::int32_t>::max());
        record.SetTempo(0x01020304);
        QCOMPARE(RawBytes(record).mid(0, 4).toHex(), QByteArray("00000080"));
        QCOMPARE(RawBytes(record).mid(32, 8).toHex(), QByteArray("ffffff7f04030201"));
        const TProfileRecord back = FromBytes(RawBytes(record));
        QCOMPARE(back.Number(), std::numeric_limits<std::int32_t>::min());
        QCOMPARE(back.Rhythm(), std::numeric_limits<std::int32_t>::max());
        QCOMPARE(back.Tempo(), 0x01020304);
    }

    // A length byte the program never writes must not read past the 25 stored characters.
    void overlongLengthByteReadsTwentyFive_data()
    {
        QTest::addColumn<int>("lengthByte");
        QTest::newRow("26") << 26;
        QTest::newRow("30") << 30;
        QTest::newRow("200") << 200;
        QTest::newRow("255") << 255;
    }
    void overlongLengthByteReadsTwentyFive()
    {
        QFETCH(int, lengthByte);
        TProfileRecord record;
        for (int i = 0; i < TProfileRecord::Size; ++i) {
            record.Raw()[i] = std::uint8_t('a' + i % 26); // letters beyond the name too
        }
        record.Raw()[4] = std::uint8_t(lengthByte);
        const QString name = record.Name();
        QCOMPARE(name.size(), 25);
        QCOMPARE(name, FromWindows1250(RawBytes(record).mid(5, 25)));
    }

    void setNameCutsEncodesAndClearsTail_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("stored"); // length byte and the 25 name bytes
        QTest::newRow("empty") << QString() << QByteArray(26, '\0');
        QTest::newRow("30 chars cut to 25") << QStringLiteral("abcdefghijklmnopqrstuvwxyz1234")
                                            << QByteArray("\x19"
                                                          "abcdefghijklmnopqrstuvwxy");
        QTest::newRow("exactly 25") << QStringLiteral("ĚŠČŘŽÝÁÍÉÚŮěščřžýáíéúůťďň")
                                    << QByteArray::fromHex(
                                           "19cc8ac8d88eddc1cdc9dad9ec9ae8f89efde1ede9faf99deff2");
        QTest::newRow("not in the code page")
            << QStringLiteral("Ελλάς ok")
            << (QByteArray("\x08?????") + QByteArray(" ok") + QByteArray(17, '\0'));
        QTest::newRow("outside the BMP is one character") << QStringLiteral("a\U0001F600b")
                                                          << (QByteArray("\x03"
                                                                         "a?b") +
                                                              QByteArray(22, '\0'));
    }
    void setNameCutsEncodesAndClearsTail()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, stored);
        QByteArray expected = stored;
        expected.resize(26, '\0');
        TProfileRecord record;
        record.SetName(QStringLiteral("a previous much longer one")); // its tail must not survive
        record.Raw()[30] = 0xAB;                                      // nor must the neighbours change
        record.Raw()[3] = 0xCD;
        record.SetName(name);
        QCOMPARE(RawBytes(record).mid(4, 26).toHex(' '), expected.toHex(' '));
        QCOMPARE(record.Raw()[30], std::uint8_t(0xAB));
        QCOMPARE(record.Raw()[3], std::uint8_t(0xCD));
    }

    void everyByteSurvivesTheRoundTrip()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b) {
            all.append(char(b));
        }
        const QString text = FromWindows1250(all);
        QCOMPARE(text.size(), 256);
        QCOMPARE(ToWindows1250(text), all);
        // A few points of the code page's table.
        QCOMPARE(text.at(0x80), QChar(0x20AC));
        QCOMPARE(text.at(0x8A), QChar(0x0160));
        QCOMPARE(text.at(0xA5), QChar(0x0104));
        QCOMPARE(text.at(0xD9), QChar(0x016E));
        QCOMPARE(text.at(0xFF), QChar(0x02D9));
        QCOMPARE(ToWindows1250(QStringLiteral("ß€ÿ")), QByteArray("\xdf\x80?"));
    }

    // The practice block counts only as this record's own: sealed for its name, rhythm and
    // tempo. Reserved bytes copied from another record (as the older program does), zeros,
    // noise, a newer version or a damaged byte all read as none.
    void practiceBlockOnlyCountsAsTheRecordsOwn_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<bool>("valid");
        QTest::newRow("ours") << "" << true;
        QTest::newRow("ours, a tempo out of range stored") << "wide" << true;
        QTest::newRow("copied from another record") << "copied" << false;
        QTest::newRow("name changed after sealing") << "rename" << false;
        QTest::newRow("tempo changed after sealing") << "tempo" << false;
        QTest::newRow("zero") << "zero" << false;
        QTest::newRow("noise") << "noise" << false;
        QTest::newRow("a newer version") << "version" << false;
        QTest::newRow("one settings byte damaged") << "damaged" << false;
    }
    void practiceBlockOnlyCountsAsTheRecordsOwn()
    {
        QFETCH(QString, change);
        QFETCH(bool, valid);
        TProfileRecord record;
        record.SetName(QStringLiteral("Etuda č. 3"));
        record.SetRhythm(3);
        record.SetTempo(96);
        PracticeSettings practice{40, 1, 2, 3, 5, 60, 1, -4, 8, 72, 25, 3, 20, 76};
        const TProfileRecord::PracticeId id = TProfileRecord::NewPracticeId();
        record.SetPractice({practice, id});
        QByteArray bytes = RawBytes(record);
        if (change == "wide") {
            practice.FTrainerTarget = 300; // brought into range when written
            record.SetPractice({practice, id});
            bytes = RawBytes(record);
            practice.FTrainerTarget = 208;
        } else if (change == "copied") {
            TProfileRecord other;
            other.SetName(QStringLiteral("Jiná"));
            other.SetRhythm(3);
            other.SetTempo(96);
            bytes = RawBytes(other).left(50) + bytes.mid(50);
        } else if (change == "rename") {
            record.SetName(QStringLiteral("Etuda č. 4"));
            bytes = RawBytes(record);
        } else if (change == "tempo") {
            record.SetTempo(97);
            bytes = RawBytes(record);
        } else if (change == "zero") {
            bytes = bytes.left(50) + QByteArray(110, '\0');
        } else if (change == "noise") {
            QRandomGenerator random(7);
            for (int i = 50; i < TProfileRecord::Size; ++i) {
                bytes[i] = static_cast<char>(random.bounded(256));
            }
        } else if (change == "version") {
            bytes[54] = 2;
        } else if (change == "damaged") {
            bytes[72] = static_cast<char>(bytes[72] ^ 1);
        }
        const std::optional<TProfileRecord::PracticeBlock> block = FromBytes(bytes).Practice();
        QCOMPARE(block.has_value(), valid);
        if (valid) {
            QVERIFY(block->FSettings == practice);
            QVERIFY(block->FId == id);
        }
    }

    // The block lives in the reserved bytes alone: the fields before it stay as they were.
    void practiceBlockLeavesTheFieldsAlone()
    {
        TProfileRecord record;
        record.SetNumber(4);
        record.SetName(QStringLiteral("Swing"));
        record.SetRhythm(4);
        record.SetTempo(144);
        record.SetSilent(1);
        record.SetAccentsOn(1);
        record.SetAccentFlags({1, 0, 1, 0, 0, 0, 0, 0});
        const QByteArray before = RawBytes(record);
        record.SetPractice({PracticeSettings{}, TProfileRecord::NewPracticeId()});
        QCOMPARE(RawBytes(record).left(50), before.left(50));
        QVERIFY(RawBytes(record).mid(50) != before.mid(50));
        QVERIFY(TProfileRecord::NewPracticeId() != TProfileRecord::NewPracticeId());
    }
};

QTEST_GUILESS_MAIN(TestProfileRecord)
#include "test_profilerecord.moc"
