// The profile list on the real window: saving, applying, deleting and picking profiles with
// the keys a musician uses.
#include "AppFixture.h"
#include "TestFiles.h"

#include "Clock.h"
#include "ProfileFile.h"
#include "ProfileList.h"
#include "Shape.h"
#include "SpinEdit.h"
#include "TrackBar.h"

#include <QCheckBox>
#include <QFile>
#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

namespace {

// Saves the window's present settings under `name` with Ctrl+S, as the user does.
void SaveAs(AppFixture& f, const QString& name, int rhythm, int tempo)
{
    f.FMain->SpB_Beat->SetValue(rhythm);
    f.FMain->trbTime->setValue(tempo);
    f.FMain->Ed_Nazev->setText(name);
    f.FMain->activateWindow();
    f.FMain->Ed_Nazev->setFocus();
    QTest::keyClick(f.FMain->Ed_Nazev, Qt::Key_S, Qt::ControlModifier);
}

void FocusGrid(AppFixture& f)
{
    f.FMain->activateWindow();
    f.FMain->Grid->setFocus();
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(f.FMain->Grid));
}

} // namespace

class TestProfilesWindow final : public QObject
{
    Q_OBJECT

private slots:
    void savedRecordHoldsTheControlsByteForByte()
    {
        AppFixture f;
        f.FMain->SpB_Beat->SetValue(3);
        f.FMain->trbTime->setValue(120);
        f.FMain->chkMute->setChecked(true);
        f.FMain->ChB_Accents->setChecked(true);
        QTest::mouseClick(f.FMain->FShapes[0], Qt::LeftButton);
        QTest::mouseClick(f.FMain->FShapes[2], Qt::LeftButton);
        f.FMain->Ed_Nazev->setText(QStringLiteral("Žluťoučký kůň"));
        f.FMain->But_SaveClick();

        QByteArray expected(160, '\0');
        expected[4] = 13;
        expected.replace(5, 13, QByteArray::fromHex("8e6c759d6f75e86bfd206bf9f2"));
        expected[32] = 3;
        expected[36] = 120;
        expected[40] = 1;
        expected[41] = 1;
        expected[42] = 1;
        expected[44] = 1;
        QCOMPARE(ReadAll(f.FDir + "/profiles.mtr").toHex(), expected.toHex());
        QCOMPARE(f.FMain->windowTitle(), QStringLiteral("Tiktakon - Žluťoučký kůň"));
        QCOMPARE(f.FMain->FCurrentProfile, 0);
        QCOMPARE(f.FMain->Grid->Cell(2, 1), QStringLiteral("3 / 4"));
        QCOMPARE(f.FMain->Grid->Cell(4, 1), QStringLiteral("Moderato"));
    }

    void saveOverwritesOnlyTheSameName()
    {
        AppFixture f;
        SaveAs(f, QStringLiteral("Rock Ballad"), 4, 70);
        SaveAs(f, QStringLiteral("Rock"), 4, 130);
        QCOMPARE(QFile(f.FDir + "/profiles.mtr").size(), 320); // "Rock" is a new profile
        QCOMPARE(f.FMain->FCurrentProfile, 1);
        SaveAs(f, QStringLiteral("ROCK BALLAD"), 6, 80);
        QCOMPARE(QFile(f.FDir + "/profiles.mtr").size(), 320);
        QCOMPARE(f.FMain->Grid->Cell(1, 1), QStringLiteral("ROCK BALLAD"));
        QCOMPARE(f.FMain->Grid->Cell(3, 1), QStringLiteral("80"));
        QCOMPARE(f.FMain->Grid->CurrentGridRow(), 1);
        QCOMPARE(f.FMain->FCurrentProfile, 1); // an overwrite leaves the current profile
    }

    void emptyNameIsRefused()
    {
        AppFixture f;
        f.FMain->btnSetup->setFocus();
        f.FMain->Ed_Nazev->setText(QStringLiteral("   "));
        f.FMain->But_SaveClick();
        QCOMPARE(QFile(f.FDir + "/profiles.mtr").size(), 0);
        QCOMPARE(f.FMain->Ed_Nazev->palette().color(QPalette::Base), QColor(Qt::yellow));
        QCOMPARE(f.FMain->windowTitle(), QStringLiteral("Tiktakon"));
        f.FMain->activateWindow();
        f.FMain->Ed_Nazev->setFocus();
        QTRY_VERIFY(f.FMain->Ed_Nazev->palette().color(QPalette::Base) != QColor(Qt::yellow));
    }

    void keypadDigitsPickProfilesByTheirNumber()
    {
        AppFixture f;
        SaveAs(f, QStringLiteral("One"), 2, 60);
        SaveAs(f, QStringLiteral("Two"), 3, 90);
        SaveAs(f, QStringLiteral("Four four"), 4, 140);
        FocusGrid(f);
        QTest::keyClick(f.FMain->Grid, Qt::Key_2, Qt::KeypadModifier);
        QCOMPARE(f.FMain->FCurrentProfile, 1);
        QCOMPARE(f.FMain->trbTime->value(), 90);
        QCOMPARE(f.FMain->Grid->CurrentGridRow(), 2);
        // No profile 4: nothing, although "4 / 4" holds a 4.
        QTest::keyClick(f.FMain->Grid, Qt::Key_4, Qt::KeypadModifier);
        QCOMPARE(f.FMain->FCurrentProfile, 1);
        QCOMPARE(f.FMain->trbTime->value(), 90);
        // Sorted by tempo, descending: profile 1 stands last and is still profile 1.
        f.FMain->Grid->SortByHeader(3);
        f.FMain->Grid->SortByHeader(3);
        QTest::keyClick(f.FMain->Grid, Qt::Key_1, Qt::KeypadModifier);
        QCOMPARE(f.FMain->FCurrentProfile, 0);
        QCOMPARE(f.FMain->trbTime->value(), 60);
        QCOMPARE(f.FMain->Grid->CurrentGridRow(), 3);
        // In the tempo box a keypad digit is typed, not taken.
        f.FMain->SpEd_Time->setFocus();
        f.FMain->SpEd_Time->selectAll();
        QTest::keyClick(f.FMain->SpEd_Time, Qt::Key_1, Qt::KeypadModifier);
        QCOMPARE(f.FMain->SpEd_Time->Text(), QStringLiteral("1"));
    }

    void enterInTheListStartsThenAppliesOnRelease()
    {
        AppFixture f;
        SaveAs(f, QStringLiteral("Slow"), 3, 50);
        SaveAs(f, QStringLiteral("Fast"), 4, 200);
        FocusGrid(f);
        f.FMain->Grid->SetCurrentGridRow(1);
        QTest::keyPress(f.FMain->Grid, Qt::Key_Return);
        QVERIFY(!f.FMain->FClock->Suspended()); // the press is Start/Stop
        QCOMPARE(f.FMain->trbTime->value(), 200);
        QTest::keyRelease(f.FMain->Grid, Qt::Key_Return);
        QCOMPARE(f.FMain->trbTime->value(), 50); // the release applies the row
        QCOMPARE(f.FMain->FClock->FTempo(), 50);
        QVERIFY(!f.FMain->FClock->Suspended()); // applying never stops the beat
    }

    void deleteInTheListRebuildsItInFileOrder()
    {
        AppFixture f;
        SaveAs(f, QStringLiteral("A"), 2, 60);
        SaveAs(f, QStringLiteral("B"), 3, 90);
        SaveAs(f, QStringLiteral("C"), 4, 140);
        QCOMPARE(f.FMain->FCurrentProfile, 2);
        FocusGrid(f);
        f.FMain->Grid->SetCurrentGridRow(2);
        QTest::keyClick(f.FMain->Grid, Qt::Key_Delete);
        QCOMPARE(QFile(f.FDir + "/profiles.mtr").size(), 320);
        QCOMPARE(f.FMain->Grid->GridRowCount(), 3);
        QCOMPARE(f.FMain->Grid->Cell(0, 2), QStringLiteral("2"));
        QCOMPARE(f.FMain->Grid->Cell(1, 2), QStringLiteral("C"));
        QCOMPARE(f.FMain->FCurrentProfile, 1); // "C" moved down one place
        QVERIFY(f.FMessages.isEmpty());
    }

    void deletingTheBlankRowShowsTheError()
    {
        AppFixture f;
        FocusGrid(f);
        QTest::keyClick(f.FMain->Grid, Qt::Key_Delete);
        QCOMPARE(f.FMessages, QStringList{"'' is not a valid integer value."});
        QCOMPARE(QFile(f.FDir + "/profiles.mtr").size(), 0);
    }

    void readOnlyProfileFileIsNotChanged()
    {
        AppFixture f;
        SaveAs(f, QStringLiteral("Keep"), 3, 77);
        const QString path = f.FDir + "/profiles.mtr";
        const QByteArray before = ReadAll(path);
        QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        SaveAs(f, QStringLiteral("New"), 4, 100);
        QCOMPARE(f.FMessages, QStringList{"File access denied."});
        QCOMPARE(ReadAll(path), before);
    }
};

QTEST_MAIN(TestProfilesWindow)
#include "test_profiles_window.moc"
