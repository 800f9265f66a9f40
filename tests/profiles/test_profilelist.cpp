#include "Error.h"
#include "TestFiles.h"
#include "ProfileHost.h"
#include "ProfileList.h"

#include <QHeaderView>
#include <QLocale>
#include <QMenu>
#include <QtTest>

namespace {

// The main window's side, recording what the profile commands set.
class TestHost final : public ProfileHost
{
public:
    QString FName;
    bool FWarning = false;
    QString FCaption;
    int FRhythm = 4;
    int FSlider = 120;
    int FSpin = 120;
    bool FMute = false;
    bool FAccents = false;
    std::array<std::uint8_t, 8> FFlags{};
    int FCurrent = -1;
    int FBeeps = 0;
    QString FInputReply;
    QStringList FInputCall;
    QStringList FLog; // every setter, in order

    QString NameText() const override { return FName; }
    void SetNameText(const QString& text) override
    {
        FName = text;
        FLog << "name " + text;
    }
    void SetNameWarning() override
    {
        FWarning = true;
        FLog << "warning";
    }
    void SetProfileCaption(const QString& name) override
    {
        FCaption = "Tiktakon - " + name;
        FLog << "caption " + name;
    }
    int RhythmValue() const override { return FRhythm; }
    void SetRhythmValue(int rhythm) override
    {
        FRhythm = rhythm;
        FLog << QStringLiteral("rhythm %1").arg(rhythm);
    }
    int SliderTempo() const override { return FSlider; }
    void SetSliderTempo(int tempo) override
    {
        FSlider = tempo;
        FLog << QStringLiteral("slider %1").arg(tempo);
    }
    void SetSpinTempo(int tempo) override
    {
        FSpin = tempo;
        FLog << QStringLiteral("spin %1").arg(tempo);
    }
    bool MuteChecked() const override { return FMute; }
    void SetMuteChecked(bool checked) override
    {
        FMute = checked;
        FLog << QStringLiteral("mute %1").arg(checked);
    }
    bool AccentsChecked() const override { return FAccents; }
    void SetAccentsChecked(bool checked) override
    {
        FAccents = checked;
        FLog << QStringLiteral("accents %1").arg(checked);
    }
    std::array<std::uint8_t, 8> AccentFlags() const override { return FFlags; }
    void SetAccentFlags(const std::array<std::uint8_t, 8>& flags) override
    {
        FFlags = flags;
        FLog << "flags";
    }
    PracticeSettings FPractice;
    PracticeSettings Practice() const override { return FPractice; }
    void SetPractice(const PracticeSettings& practice) override
    {
        FPractice = practice;
        FLog << QStringLiteral("practice %1").arg(practice.FVolume);
    }
    QByteArray FPracticeId;
    void SetPracticeId(const QByteArray& id) override { FPracticeId = id; }
    int CurrentProfileIndex() const override { return FCurrent; }
    void SetCurrentProfileIndex(int index) override
    {
        FCurrent = index;
        FLog << QStringLiteral("current %1").arg(index);
    }
    void DefaultBeep() override { ++FBeeps; }
    QString InputBox(const QString& caption, const QString& prompt, const QString& text) override
    {
        FInputCall = {caption, prompt, text};
        return FInputReply.isNull() ? text : FInputReply;
    }
};

struct Profile
{
    QString Name;
    int Rhythm = 4;
    int Tempo = 120;
};

QByteArray RawBytes(const TProfileRecord& record)
{
    return QByteArray(reinterpret_cast<const char*>(record.Raw().data()), TProfileRecord::Size);
}

TProfileRecord RecordAt(const QString& path, int index)
{
    TProfileRecord record;
    const QByteArray bytes = ReadAll(path).mid(index * TProfileRecord::Size, TProfileRecord::Size);
    std::copy(bytes.begin(), bytes.end(), record.Raw().begin());
    return record;
}

} // namespace

class TestProfileList final : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        FDir = std::make_unique<QTemporaryDir>();
        QVERIFY(FDir->isValid());
        FPath = FDir->filePath(QStringLiteral("profiles.mtr"));
        FHost = std::make_unique<TestHost>();
        FWindow = std::make_unique<QWidget>();
        FList = std::make_unique<ProfileList>(*FHost, FPath, FWindow.get());
        FList->Grid()->setGeometry(0, 0, 400, 400);
        FErrors.clear();
        FList->FGuard = [this](const std::function<void()>& command) {
            try {
                command();
            } catch (const TiktakonError& error) {
                FErrors << QString::fromUtf8(error.what());
            }
        };
    }
    void cleanup()
    {
        FList.reset();
        FWindow.reset();
    }

    void gridLayout()
    {
        TProfileGrid* grid = FList->Grid();
        QCOMPARE(grid->columnCount(), 5);
        const QStringList headers = {" ", "Název", "Rytmus", "BMP", "Tempo"};
        const QList<int> widths = {19, 82, 53, 52, 48};
        for (int column = 0; column < 5; ++column) {
            QCOMPARE(grid->Cell(column, 0), headers[column]);
            QCOMPARE(grid->columnWidth(column), widths[column]);
        }
        QCOMPARE(grid->horizontalHeader()->height(), 21);
        QCOMPARE(grid->rowHeight(0), 21);
        QCOMPARE(grid->GridRowCount(), 2); // header and one blank row
        QCOMPARE(grid->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(grid->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(grid->font().family(), QStringLiteral("DejaVu Sans"));
        QCOMPARE(grid->font().pointSize(), 8);
        QCOMPARE(grid->toolTip(), QStringLiteral("Seznam uložených profilů, možno přidávat, mazat, řadit"));
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(0), QHeaderView::Fixed);
        QCOMPARE(grid->horizontalHeader()->sectionResizeMode(1), QHeaderView::Interactive);

        const QList<QAction*> actions = FList->PopupMenu1()->actions();
        QCOMPARE(actions.size(), 4);
        QCOMPARE(actions[0]->text(), QStringLiteral("Použít"));
        QCOMPARE(FList->PopupMenu1()->defaultAction(), actions[0]);
        QVERIFY(actions[0]->font().bold());
        QVERIFY(actions[1]->isSeparator());
        QCOMPARE(actions[2]->text(), QStringLiteral("Přejmenovat"));
        QVERIFY(!actions[2]->isVisible());
        QCOMPARE(actions[3]->text(), QStringLiteral("Odstranit"));
        QVERIFY(actions[3]->isVisible());
    }

    void currentColumnStaysTheName()
    {
        Store({{"A"}, {"B"}});
        TProfileGrid* grid = FList->Grid();
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
        QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                          grid->visualItemRect(grid->item(1, 3)).center());
        QCOMPARE(grid->CurrentGridRow(), 2);
        QCOMPARE(grid->currentColumn(), 1);
        QCOMPARE(grid->selectedItems().size(), 5);
    }

    void loadFillsRowsAndDropsOldOnes()
    {
        Store({{"Pomalá", 8, 40}, {"Divná", 12, 300}, {"C", 3, 120}});
        TProfileGrid* grid = FList->Grid();
        QCOMPARE(grid->GridRowCount(), 4);
        QCOMPARE(RowTexts(1), (QStringList{"1", "Pomalá", "8 / 4", "40", "Largo"}));
        QCOMPARE(RowTexts(2), (QStringList{"2", "Divná", "12 / 4", "300", ""}));
        QCOMPARE(RowTexts(3), (QStringList{"3", "C", "3 / 4", "120", "Moderato"}));
        QVERIFY(QFile::resize(FPath, 160 + 20));
        FList->LoadProfileList();
        QCOMPARE(grid->GridRowCount(), 2);
        QCOMPARE(RowTexts(1), (QStringList{"1", "Pomalá", "8 / 4", "40", "Largo"}));
        QVERIFY(QFile::resize(FPath, 0));
        FList->LoadProfileList();
        QCOMPARE(grid->GridRowCount(), 2);
        QCOMPARE(RowTexts(1), (QStringList{"", "", "", "", ""}));
    }

    void saveNewAppendsSelectsAndSetsCaption()
    {
        FList->LoadProfileList();
        FHost->FName = "Rock";
        FHost->FRhythm = 3;
        FHost->FSlider = 126;
        FHost->FMute = true;
        FHost->FAccents = true;
        FHost->FFlags = {1, 0, 1, 0, 0, 0, 0, 1};
        FList->But_SaveClick();
        QCOMPARE(QFileInfo(FPath).size(), 160);
        const TProfileRecord stored = RecordAt(FPath, 0);
        QCOMPARE(stored.Name(), QStringLiteral("Rock"));
        QCOMPARE(stored.Rhythm(), 3);
        QCOMPARE(stored.Tempo(), 126);
        QCOMPARE(stored.Silent(), std::uint8_t(1));
        QCOMPARE(stored.AccentsOn(), std::uint8_t(1));
        QCOMPARE(stored.AccentFlags(), FHost->FFlags);
        QCOMPARE(FHost->FCurrent, 0);
        QCOMPARE(FHost->FCaption, QStringLiteral("Tiktakon - Rock"));
        QCOMPARE(RowTexts(1), (QStringList{"1", "Rock", "3 / 4", "126", "Allegro"}));

        FHost->FName = "Jazz";
        FList->But_SaveClick();
        QCOMPARE(QFileInfo(FPath).size(), 320);
        QCOMPARE(FHost->FCurrent, 1);
        QCOMPARE(FList->Grid()->GridRowCount(), 3);
        QCOMPARE(FList->Grid()->CurrentGridRow(), 2);
        QCOMPARE(RowTexts(2).mid(0, 2), (QStringList{"2", "Jazz"}));
    }

    // Only the very same stored name is overwritten, letter case aside; a name that merely
    // contains it, or is contained in it, is another profile.
    void saveOverwritesOnlyTheSameName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("overwritten"); // 0-based record, or -1 for an append
        QTest::newRow("part of a longer name") << "Rock" << -1;
        QTest::newRow("longer than a stored name") << "Jazz Waltz" << -1;
        QTest::newRow("same letters, other case") << "ROCK BALLAD" << 0;
        QTest::newRow("Czech letters, other case") << "ŽLUŤOUČKÝ" << 2;
        QTest::newRow("same 25 characters, longer text") << "Jazz and then some more words" << 3;
    }
    void saveOverwritesOnlyTheSameName()
    {
        QFETCH(QString, name);
        QFETCH(int, overwritten);
        Store({{"Rock Ballad"}, {"Jazz"}, {"žluťoučký"}, {"Jazz and then some more w"}});
        FHost->FCurrent = 1;
        FHost->FName = name;
        FHost->FSlider = 77;
        const QByteArray before = ReadAll(FPath);
        FList->But_SaveClick();
        const QByteArray after = ReadAll(FPath);
        const QString storedName = name.left(25);
        if (overwritten < 0) {
            QCOMPARE(after.size(), before.size() + 160);
            QCOMPARE(after.left(before.size()), before);
            QCOMPARE(RecordAt(FPath, 4).Name(), storedName);
            QCOMPARE(FHost->FCurrent, 4);
            QCOMPARE(FList->Grid()->CurrentGridRow(), 5);
        } else {
            QCOMPARE(after.size(), before.size());
            for (int k = 0; k < 4; ++k) {
                if (k != overwritten) {
                    QCOMPARE(after.mid(k * 160, 160), before.mid(k * 160, 160));
                }
            }
            const TProfileRecord record = RecordAt(FPath, overwritten);
            QCOMPARE(record.Name(), storedName);
            QCOMPARE(record.Tempo(), 77);
            QCOMPARE(record.Number(), overwritten + 1);
            QCOMPARE(FHost->FCurrent, 1); // an overwrite keeps the current profile
            QCOMPARE(FList->Grid()->CurrentGridRow(), overwritten + 1);
            QCOMPARE(RowTexts(overwritten + 1).mid(0, 4),
                     (QStringList{QString::number(overwritten + 1), storedName, "4 / 4", "77"}));
        }
        QCOMPARE(FHost->FCaption, "Tiktakon - " + storedName);
    }

    // Practice settings travel with the profile: saved with it (with an id), restored when it is
    // applied; an overwrite and a rename keep the id; a profile with the page's defaults and no
    // history is written as before; someone else's block gives the page's defaults.
    void practiceSettingsTravelWithTheProfile()
    {
        Store({{"Plain", 4, 100}});
        const QByteArray plain = ReadAll(FPath);
        PracticeSettings practice;
        practice.FVolume = 45;
        practice.FTrainer = 1;
        practice.FSubdivision = 3;
        FHost->FName = QStringLiteral("Etuda");
        FHost->FPractice = practice;
        FList->But_SaveClick();
        QCOMPARE(ReadAll(FPath).left(160), plain); // the first record untouched
        const std::optional<TProfileRecord::PracticeBlock> saved = RecordAt(FPath, 1).Practice();
        QVERIFY(saved);
        QVERIFY(saved->FSettings == practice);
        const QByteArray savedId(reinterpret_cast<const char*>(saved->FId.data()), 16);
        QCOMPARE(FHost->FPracticeId, savedId);

        FHost->FPractice = PracticeSettings{};
        FList->ApplyProfile(0); // no block: the page's defaults
        QVERIFY(FHost->FPractice == PracticeSettings{});
        QVERIFY(FHost->FPracticeId.isEmpty());
        FList->ApplyProfile(1);
        QVERIFY(FHost->FPractice == practice);
        QCOMPARE(FHost->FPracticeId, savedId);

        // Saved again with other settings, then renamed: the same id throughout.
        FHost->FPractice.FVolume = 80;
        FList->But_SaveClick();
        QVERIFY(RecordAt(FPath, 1).Practice()->FId == saved->FId);
        QCOMPARE(RecordAt(FPath, 1).Practice()->FSettings.FVolume, 80);
        FList->Grid()->SetCurrentGridRow(2);
        FHost->FInputReply = QStringLiteral("Etuda nová");
        FList->Pop_RenameClick();
        const std::optional<TProfileRecord::PracticeBlock> renamed = RecordAt(FPath, 1).Practice();
        QVERIFY(renamed);
        QCOMPARE(RecordAt(FPath, 1).Name(), QStringLiteral("Etuda nová"));
        QVERIFY(renamed->FId == saved->FId);

        // A new profile saved with the defaults right after reading one with a block: its
        // reserved bytes are copied as before, and they are not its own.
        FList->ApplyProfile(1);
        FHost->FPractice = PracticeSettings{};
        FHost->FName = QStringLiteral("Kopie");
        FList->But_SaveClick();
        QCOMPARE(RecordAt(FPath, 2).Raw().back(), RecordAt(FPath, 1).Raw().back());
        QCOMPARE(ReadAll(FPath).mid(2 * 160 + 50), ReadAll(FPath).mid(160 + 50, 110));
        QVERIFY(!RecordAt(FPath, 2).Practice());
        FHost->FPractice = practice;
        FList->ApplyProfile(2);
        QVERIFY(FHost->FPractice == PracticeSettings{});
    }

    void savingThe30CharacterNameTwiceOverwrites()
    {
        FList->LoadProfileList();
        FHost->FName = "abcdefghijklmnopqrstuvwxyz1234";
        FList->But_SaveClick();
        FHost->FSlider = 200;
        FList->But_SaveClick();
        QCOMPARE(QFileInfo(FPath).size(), 160);
        QCOMPARE(RecordAt(FPath, 0).Name(), QStringLiteral("abcdefghijklmnopqrstuvwxy"));
        QCOMPARE(RecordAt(FPath, 0).Tempo(), 200);
        QCOMPARE(RowTexts(1)[1], QStringLiteral("abcdefghijklmnopqrstuvwxy"));
    }

    void saveWithoutANameStoresNothing_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("empty") << "";
        QTest::newRow("blanks") << "    ";
        QTest::newRow("blanks and control characters") << " \t\r\n ";
    }
    void saveWithoutANameStoresNothing()
    {
        QFETCH(QString, name);
        FHost->FName = name;
        FList->But_SaveClick();
        QCOMPARE(FHost->FBeeps, 1);
        QVERIFY(FHost->FWarning);
        QCOMPARE(FHost->FLog, QStringList{"warning"});
        QVERIFY(!QFileInfo::exists(FPath));
        QCOMPARE(FList->Grid()->GridRowCount(), 2);
    }

    void saveInASortedListOverwritesTheRightRecord()
    {
        Store({{"Charlie", 4, 100}, {"alpha", 4, 60}, {"Bravo", 4, 200}});
        TProfileGrid* grid = FList->Grid();
        grid->SortByHeader(1);
        QCOMPARE(Column(1), (QStringList{"alpha", "Bravo", "Charlie"}));
        FHost->FName = "bravo";
        FHost->FSlider = 90;
        FList->But_SaveClick();
        QCOMPARE(QFileInfo(FPath).size(), 480);
        QCOMPARE(RecordAt(FPath, 2).Name(), QStringLiteral("bravo"));
        QCOMPARE(RecordAt(FPath, 2).Tempo(), 90);
        QCOMPARE(RecordAt(FPath, 0).Name(), QStringLiteral("Charlie"));
        QCOMPARE(grid->CurrentGridRow(), 2);
        QCOMPARE(RowTexts(2), (QStringList{"3", "bravo", "4 / 4", "90", "Andante"}));
        QCOMPARE(Column(0), (QStringList{"2", "3", "1"}));
    }

    void applySetsTheControlsInOrder()
    {
        TProfileRecord record;
        record.SetName(QStringLiteral("Šíleně rychlá"));
        record.SetRhythm(6);
        record.SetTempo(180);
        record.SetSilent(2); // any byte but 0 is true
        record.SetAccentsOn(1);
        record.SetAccentFlags({0, 2, 0, 1, 0, 0, 0, 255});
        WriteRecords({TProfileRecord(), record});
        FList->ApplyProfile(1);
        QCOMPARE(FHost->FLog,
                 (QStringList{"name Šíleně rychlá", "caption Šíleně rychlá", "rhythm 6", "slider 180",
                              "spin 180", "mute 1", "accents 1", "flags", "practice 100", "current 1"}));
        QCOMPARE(FHost->FFlags, (std::array<std::uint8_t, 8>{0, 2, 0, 1, 0, 0, 0, 255}));
    }

    void applyBringsStoredValuesIntoRange()
    {
        TProfileRecord record;
        record.SetRhythm(12);
        record.SetTempo(300);
        WriteRecords({record});
        FList->ApplyProfile(0);
        QCOMPARE(FHost->FRhythm, 8);
        QCOMPARE(FHost->FSlider, 208);
        QCOMPARE(FHost->FSpin, 208);
        QCOMPARE(FHost->FMute, false);
    }

    void applyPastTheEndFailsBeforeAnythingChanges()
    {
        Store({{"A"}, {"B"}});
        FHost->FCurrent = 0;
        FHost->FLog.clear();
        QString error;
        try {
            FList->ApplyProfile(2);
        } catch (const TiktakonError& e) {
            error = QString::fromUtf8(e.what());
        }
        QCOMPARE(error, QStringLiteral("Read beyond end of file"));
        QVERIFY(FHost->FLog.isEmpty());
        QCOMPARE(FHost->FCurrent, 0);
    }

    void applyWithoutAFileDoesNothing()
    {
        FList->ApplyProfile(0);
        QVERIFY(FHost->FLog.isEmpty());
        QVERIFY(!QFileInfo::exists(FPath));
    }

    // The keypad digit d picks the profile numbered d, in file order and in a sorted list alike.
    void keypadPicksTheProfileWithThatNumber_data()
    {
        QTest::addColumn<int>("sortColumn"); // -1: file order
        QTest::addColumn<int>("clicks");
        QTest::newRow("file order") << -1 << 0;
        QTest::newRow("sorted by BMP descending") << 3 << 2;
        QTest::newRow("sorted by name") << 1 << 1;
    }
    void keypadPicksTheProfileWithThatNumber()
    {
        QFETCH(int, sortColumn);
        QFETCH(int, clicks);
        QList<Profile> profiles;
        for (int k = 1; k <= 12; ++k) {
            // Names and tempi that hold other digits, so that any text search would go astray.
            profiles << Profile{QStringLiteral("Song %1 of 12").arg(13 - k), 4, 60 + 10 * k};
        }
        Store(profiles);
        TProfileGrid* grid = FList->Grid();
        for (int i = 0; i < clicks; ++i) {
            grid->SortByHeader(sortColumn);
        }
        for (const int digit : {2, 1, 9}) {
            FHost->FLog.clear();
            FList->KeypadDigit(digit);
            QCOMPARE(FHost->FCurrent, digit - 1);
            QCOMPARE(grid->Cell(0, grid->CurrentGridRow()), QString::number(digit));
            QCOMPARE(FHost->FSlider, 60 + 10 * digit);
            QCOMPARE(FHost->FLog.size(), 10);
        }
        // Nothing is numbered 0; a key release in the grid does not pick again.
        FHost->FLog.clear();
        FList->KeypadDigit(0);
        FList->GridKeyUp(Qt::Key_2, Qt::KeypadModifier);
        QVERIFY(FHost->FLog.isEmpty());
    }

    void keypadDigitBeyondTheListDoesNothing()
    {
        Store({{"A 4"}, {"B", 4, 40}, {"C"}});
        FList->Grid()->SetCurrentGridRow(3);
        FList->KeypadDigit(4);
        QVERIFY(FHost->FLog.isEmpty());
        QCOMPARE(FList->Grid()->CurrentGridRow(), 3);
    }

    void deleteRebuildsTheListAndKeepsTheCurrentProfile_data()
    {
        QTest::addColumn<int>("deleteRow");
        QTest::addColumn<int>("current");
        QTest::addColumn<int>("currentAfter");
        QTest::newRow("before the current") << 1 << 2 << 1;
        QTest::newRow("the current") << 2 << 1 << -1;
        QTest::newRow("after the current") << 3 << 0 << 0;
        QTest::newRow("no current profile") << 1 << -1 << -1;
    }
    void deleteRebuildsTheListAndKeepsTheCurrentProfile()
    {
        QFETCH(int, deleteRow);
        QFETCH(int, current);
        QFETCH(int, currentAfter);
        Store({{"A"}, {"B"}, {"C"}});
        FHost->FCurrent = current;
        FHost->FName = "kept";
        FHost->FCaption = "Tiktakon - kept";
        FList->Grid()->SetCurrentGridRow(deleteRow);
        QTest::keyRelease(FList->Grid(), Qt::Key_Delete);
        QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(';')));
        QCOMPARE(QFileInfo(FPath).size(), 320);
        QStringList names = {"A", "B", "C"};
        names.removeAt(deleteRow - 1);
        QCOMPARE(Column(1), names);
        QCOMPARE(Column(0), (QStringList{"1", "2"}));
        QCOMPARE(FHost->FCurrent, currentAfter);
        QCOMPARE(FHost->FName, QStringLiteral("kept"));
        QCOMPARE(FHost->FCaption, QStringLiteral("Tiktakon - kept"));
    }

    void deleteInASortedListRemovesThatProfile()
    {
        Store({{"Charlie"}, {"alpha"}, {"Bravo"}});
        TProfileGrid* grid = FList->Grid();
        grid->SortByHeader(1);
        grid->SetCurrentGridRow(1); // alpha, profile 2
        FList->PopupMenu1()->actions()[3]->trigger();
        QVERIFY(FErrors.isEmpty());
        QCOMPARE(Column(1), (QStringList{"Charlie", "Bravo"}));
        QCOMPARE(grid->SortColumn(), -1);
        QVERIFY(!grid->horizontalHeader()->isSortIndicatorShown());
    }

    void deleteTheOnlyProfileLeavesABlankRow()
    {
        Store({{"Only"}});
        FList->Pop_DeleteClick();
        QCOMPARE(QFileInfo(FPath).size(), 0);
        QCOMPARE(FList->Grid()->GridRowCount(), 2);
        QCOMPARE(RowTexts(1), (QStringList{"", "", "", "", ""}));
    }

    void blankRowCommands()
    {
        FList->LoadProfileList();
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
        TProfileGrid* grid = FList->Grid();
        const QPoint blankRow = grid->visualItemRect(grid->item(0, 1)).center();
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, blankRow);
        QTest::keyRelease(grid, Qt::Key_Return);
        QVERIFY(FHost->FLog.isEmpty());
        QVERIFY(FErrors.isEmpty());

        QTest::keyRelease(grid, Qt::Key_Delete);
        QCOMPARE(FErrors, QStringList{"'' is not a valid integer value"});
        QCOMPARE(QFileInfo(FPath).size(), 0);

        FErrors.clear();
        FHost->FInputReply = "Nový";
        FList->PopupMenu1()->actions()[2]->trigger();
        QCOMPARE(FErrors, QStringList{"'' is not a valid integer value"});
        QCOMPARE(grid->Cell(1, 1), QStringLiteral("Nový"));
        QCOMPARE(QFileInfo(FPath).size(), 0);
    }

    void doubleClickAndEnterApplyTheRow()
    {
        Store({{"A", 2, 50}, {"B", 3, 150}});
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
        TProfileGrid* grid = FList->Grid();
        QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {},
                           grid->visualItemRect(grid->item(1, 2)).center());
        QCOMPARE(FHost->FCurrent, 1);
        QCOMPARE(FHost->FRhythm, 3);
        grid->SetCurrentGridRow(1);
        QTest::keyRelease(grid, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(FHost->FCurrent, 0);
        QCOMPARE(FHost->FRhythm, 2);
        QVERIFY(FErrors.isEmpty());
    }

    void renameChangesOnlyTheName()
    {
        Store({{"A"}, {"Stará"}, {"C"}});
        QByteArray before = ReadAll(FPath);
        FList->Grid()->SetCurrentGridRow(2);
        FHost->FInputReply = "Nová a mnohem delší než dvacet pět";
        FHost->FCurrent = 0;
        FHost->FName = "edit";
        FList->PopupMenu1()->actions()[2]->trigger();
        QVERIFY(FErrors.isEmpty());
        QCOMPARE(FHost->FInputCall, (QStringList{"Tiktakon", "Zadej nový název:", "Stará"}));
        QCOMPARE(FList->Grid()->Cell(1, 2), FHost->FInputReply); // the cell keeps the whole text
        TProfileRecord expected = RecordAt(FPath, 1);
        std::copy_n(before.constData() + 160, 160, expected.Raw().begin());
        expected.SetName(FHost->FInputReply);
        before.replace(160, 160, RawBytes(expected));
        QCOMPARE(ReadAll(FPath), before);
        QCOMPARE(FHost->FCurrent, 0);
        QCOMPARE(FHost->FName, QStringLiteral("edit"));
        QVERIFY(FHost->FCaption.isEmpty());
    }

    void sortingByHeaderClicks_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<int>("clicks");
        QTest::addColumn<QStringList>("numbers"); // column 0 from top to bottom
        // Profiles: 1 "beta" 3/4 100 BPM, 2 "Alfa" 10/4 60 BPM, 3 "gama" 2/4 208 BPM.
        QTest::newRow("name ascending") << 1 << 1 << QStringList{"2", "1", "3"};
        QTest::newRow("name descending") << 1 << 2 << QStringList{"3", "1", "2"};
        QTest::newRow("name ascending again") << 1 << 3 << QStringList{"2", "1", "3"};
        QTest::newRow("rhythm as numbers") << 2 << 1 << QStringList{"3", "1", "2"};
        QTest::newRow("BPM as numbers") << 3 << 1 << QStringList{"2", "1", "3"};
        QTest::newRow("BPM descending") << 3 << 2 << QStringList{"3", "1", "2"};
        QTest::newRow("tempo name") << 4 << 1 << QStringList{"1", "2", "3"};
        QTest::newRow("number column does not sort") << 0 << 1 << QStringList{"1", "2", "3"};
    }
    void sortingByHeaderClicks()
    {
        QFETCH(int, column);
        QFETCH(int, clicks);
        QFETCH(QStringList, numbers);
        Store({{"beta", 3, 100}, {"Alfa", 10, 60}, {"gama", 2, 208}});
        FWindow->show();
        QVERIFY(QTest::qWaitForWindowExposed(FWindow.get()));
        TProfileGrid* grid = FList->Grid();
        QHeaderView* header = grid->horizontalHeader();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, 10);
        for (int i = 0; i < clicks; ++i) {
            QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
        }
        QCOMPARE(Column(0), numbers);
        // Rows moved whole.
        for (int gridRow = 1; gridRow <= 3; ++gridRow) {
            const int number = grid->Cell(0, gridRow).toInt();
            QCOMPARE(grid->Cell(1, gridRow), (QStringList{"beta", "Alfa", "gama"}[number - 1]));
        }
        if (column == 0) {
            QVERIFY(!header->isSortIndicatorShown());
        } else {
            QVERIFY(header->isSortIndicatorShown());
            QCOMPARE(header->sortIndicatorSection(), column);
            QCOMPARE(header->sortIndicatorOrder(), clicks % 2 ? Qt::AscendingOrder : Qt::DescendingOrder);
        }
    }

    // Each sort reads the cells as they are now: a renamed or overwritten profile moves to its
    // new place, and Czech words sort as Czech readers expect (Č after C, Ch after H).
    void sortingFollowsChangedCells()
    {
        struct CzechLocale
        {
            QLocale FBefore;
            CzechLocale() { QLocale::setDefault(QLocale(QLocale::Czech, QLocale::Czechia)); }
            ~CzechLocale() { QLocale::setDefault(FBefore); }
        } czech;
        Store({{"Dudák", 4, 100}, {"Cyril", 4, 60}, {"Chorál", 4, 200}, {"Hora", 4, 80}});
        TProfileGrid* grid = FList->Grid();
        grid->SortByHeader(1);
        QCOMPARE(Column(1), (QStringList{"Cyril", "Dudák", "Hora", "Chorál"}));
        grid->SetCurrentGridRow(2); // Dudák
        FHost->FInputReply = QStringLiteral("Čáp");
        FList->Pop_RenameClick();
        QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(';')));
        grid->SortByHeader(1); // descending
        grid->SortByHeader(1); // ascending again
        QCOMPARE(Column(1), (QStringList{"Cyril", "Čáp", "Hora", "Chorál"}));
        // Overwriting a profile's tempo moves it in the BMP order.
        grid->SortByHeader(3);
        QCOMPARE(Column(3), (QStringList{"60", "80", "100", "200"}));
        FHost->FName = QStringLiteral("Hora");
        FHost->FSlider = 208;
        FList->But_SaveClick();
        QVERIFY2(FErrors.isEmpty(), qPrintable(FErrors.join(';')));
        grid->SortByHeader(3);
        grid->SortByHeader(3);
        QCOMPARE(Column(1), (QStringList{"Cyril", "Čáp", "Chorál", "Hora"}));
    }

    void aSingleRowDoesNotSort()
    {
        Store({{"Only"}});
        FList->Grid()->SortByHeader(1);
        QCOMPARE(FList->Grid()->SortColumn(), -1);
        QVERIFY(!FList->Grid()->horizontalHeader()->isSortIndicatorShown());
    }

    void findInGridMatchesTextInsideCells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("options");
        QTest::addColumn<QPoint>("found");
        QTest::newRow("part of a name, any case")
            << "rock" << int(TProfileGrid::CurrentColumnOnly) << QPoint(1, 2);
        QTest::newRow("Czech letters, any case")
            << "ŽLUŤ" << int(TProfileGrid::CurrentColumnOnly) << QPoint(1, 3);
        QTest::newRow("number column first") << "2" << int(TProfileGrid::IncludeFixedCells) << QPoint(0, 2);
        QTest::newRow("then the rhythm text") << "4" << int(TProfileGrid::IncludeFixedCells) << QPoint(2, 1);
        QTest::newRow("header included") << "BMP" << int(TProfileGrid::IncludeFixedCells) << QPoint(3, 0);
        QTest::newRow("header left out") << "BMP" << 0 << QPoint(-1, -1);
        QTest::newRow("nothing") << "xyz" << int(TProfileGrid::IncludeFixedCells) << QPoint(-1, -1);
    }
    void findInGridMatchesTextInsideCells()
    {
        QFETCH(QString, text);
        QFETCH(int, options);
        QFETCH(QPoint, found);
        Store({{"Jazz", 3, 100}, {"Rock Ballad", 3, 120}, {"žluťoučký", 3, 90}});
        FList->Grid()->SetCurrentGridRow(1);
        QCOMPARE(FList->Grid()->FindInGrid(text, options | TProfileGrid::MoveToFoundCell), found);
        QCOMPARE(FList->Grid()->CurrentGridRow(), found.y() > 0 ? found.y() : 1);
    }

private:
    void WriteRecords(const QList<TProfileRecord>& records)
    {
        QFile file(FPath);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        for (const TProfileRecord& record : records) {
            file.write(RawBytes(record));
        }
    }
    void Store(const QList<Profile>& profiles)
    {
        QList<TProfileRecord> records;
        for (const Profile& profile : profiles) {
            TProfileRecord record;
            record.SetName(profile.Name);
            record.SetRhythm(profile.Rhythm);
            record.SetTempo(profile.Tempo);
            records << record;
        }
        WriteRecords(records);
        FList->LoadProfileList();
        FHost->FLog.clear();
    }
    QStringList RowTexts(int gridRow) const
    {
        QStringList texts;
        for (int column = 0; column < 5; ++column) {
            texts << FList->Grid()->Cell(column, gridRow);
        }
        return texts;
    }
    QStringList Column(int column) const
    {
        QStringList texts;
        for (int gridRow = 1; gridRow < FList->Grid()->GridRowCount(); ++gridRow) {
            texts << FList->Grid()->Cell(column, gridRow);
        }
        return texts;
    }

    std::unique_ptr<QTemporaryDir> FDir;
    QString FPath;
    std::unique_ptr<TestHost> FHost;
    std::unique_ptr<QWidget> FWindow;
    std::unique_ptr<ProfileList> FList;
    QStringList FErrors;
};

QTEST_MAIN(TestProfileList)
#include "test_profilelist.moc"
