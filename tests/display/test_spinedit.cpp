#include "SpinEdit.h"

#include <QLineEdit>
#include <QSignalSpy>
#include <QtTest>

class TestSpinEdit final : public QObject
{
    Q_OBJECT

private slots:
    void valueIsWhatTheTextSpells_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("in bounds") << "100" << 100;
        QTest::newRow("below bounds while typing") << "2" << 2;
        QTest::newRow("above bounds") << "300" << 300;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("leading zeros") << "0120" << 120;
        QTest::newRow("plus sign") << "+77" << 77;
        QTest::newRow("minus sign") << "-5" << -5;
        QTest::newRow("empty gives the lower bound") << "" << 40;
        QTest::newRow("sign alone") << "-" << 40;
        QTest::newRow("letters") << "abc" << 40;
        QTest::newRow("trailing garbage") << "12a" << 40;
        QTest::newRow("decimal point") << "1.5" << 40;
        QTest::newRow("too large for an int") << "99999999999" << 40;
        QTest::newRow("largest int") << "2147483647" << 2147483647;
        QTest::newRow("smallest int") << "-2147483648" << int(-2147483648LL);
    }
    void valueIsWhatTheTextSpells()
    {
        QFETCH(QString, text);
        QFETCH(int, value);
        TSpinEdit box(40, 208, 100, nullptr);
        box.SetText(text);
        QCOMPARE(box.Text(), text);
        QCOMPARE(box.Value(), value);
    }

    void setValueWritesTheClampedText_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("inside") << 150 << "150";
        QTest::newRow("lower bound") << 40 << "40";
        QTest::newRow("below") << 10 << "40";
        QTest::newRow("negative") << -3 << "40";
        QTest::newRow("above") << 250 << "208";
    }
    void setValueWritesTheClampedText()
    {
        QFETCH(int, value);
        QFETCH(QString, text);
        TSpinEdit box(40, 208, 100, nullptr);
        box.SetValue(value);
        QCOMPARE(box.Text(), text);
        QCOMPARE(box.Value(), text.toInt());
    }

    void initialValueIsClamped()
    {
        TSpinEdit box(1, 8, 12, nullptr);
        QCOMPARE(box.Text(), QStringLiteral("8"));
        QCOMPARE(box.MinValue(), 1);
        QCOMPARE(box.MaxValue(), 8);
    }

    void changeIsRaisedOncePerNewText()
    {
        TSpinEdit box(40, 208, 100, nullptr);
        QSignalSpy spy(&box, &TSpinEdit::Change);
        box.SetValue(100);
        box.SetText(QStringLiteral("100"));
        QCOMPARE(spy.count(), 0);
        box.SetValue(150);
        QCOMPARE(spy.count(), 1);
        box.SetValue(150);
        QCOMPARE(spy.count(), 1);
        box.SetValue(300);
        QCOMPARE(box.Text(), QStringLiteral("208"));
        QCOMPARE(spy.count(), 2);
        box.SetValue(209); // clamps to the text it already holds
        QCOMPARE(spy.count(), 2);
        box.SetText(QString());
        QCOMPARE(spy.count(), 3);
        QCOMPARE(box.Value(), 40);
        // The value 40 written back into the emptied box is a new text.
        box.SetValue(box.Value());
        QCOMPARE(box.Text(), QStringLiteral("40"));
        QCOMPARE(spy.count(), 4);
    }

    void typingPassesThroughOutOfBoundsValues_data()
    {
        QTest::addColumn<int>("minValue");
        QTest::addColumn<int>("maxValue");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QList<int>>("values");
        QTest::newRow("tempo 208") << 40 << 208 << "208" << QList<int>{2, 20, 208};
        QTest::newRow("rhythm 0") << 1 << 8 << "0" << QList<int>{0};
        QTest::newRow("rhythm 9") << 1 << 8 << "9" << QList<int>{9};
        QTest::newRow("letters are taken, no number: the lower bound") << 40 << 208 << "1x2"
                                                                      << QList<int>{1, 40, 40};
        QTest::newRow("a decimal point") << 1 << 8 << "1.5" << QList<int>{1, 1, 1};
    }
    void typingPassesThroughOutOfBoundsValues()
    {
        QFETCH(int, minValue);
        QFETCH(int, maxValue);
        QFETCH(QString, keys);
        QFETCH(QList<int>, values);
        TSpinEdit box(minValue, maxValue, minValue, nullptr);
        box.SetText(QString());
        QList<int> seen;
        connect(&box, &TSpinEdit::Change, this, [&] { seen << box.Value(); });
        QTest::keyClicks(&box, keys);
        QCOMPARE(seen, values);
    }

    void stepsByOneWithinTheBounds_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("changes");
        QTest::newRow("up") << "100" << int(Qt::Key_Up) << "101" << 1;
        QTest::newRow("down") << "100" << int(Qt::Key_Down) << "99" << 1;
        QTest::newRow("up at the top stays") << "208" << int(Qt::Key_Up) << "208" << 0;
        QTest::newRow("down at the bottom stays") << "40" << int(Qt::Key_Down) << "40" << 0;
        QTest::newRow("up from below the bounds") << "2" << int(Qt::Key_Up) << "40" << 1;
        QTest::newRow("down from above the bounds") << "300" << int(Qt::Key_Down) << "208" << 1;
        QTest::newRow("up from empty") << "" << int(Qt::Key_Up) << "41" << 1;
    }
    void stepsByOneWithinTheBounds()
    {
        QFETCH(QString, start);
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(int, changes);
        TSpinEdit box(40, 208, 100, nullptr);
        box.SetText(start);
        QSignalSpy spy(&box, &TSpinEdit::Change);
        QTest::keyClick(&box, Qt::Key(key));
        QCOMPARE(box.Text(), text);
        QCOMPARE(spy.count(), changes);
        // stepBy itself, as the keypad plus and minus of the main window use it, clamps the same way.
        box.SetValue(208);
        box.stepBy(1);
        QCOMPARE(box.Text(), QStringLiteral("208"));
    }

    // Leaving the box brings its text to the value that counts: a number out of bounds is
    // brought into them and raised as a change; text that is no number is shown as the lower
    // bound it already counted as, and a value within the bounds stays as it is.
    void leavingTheBoxBringsTheTextIntoTheBounds_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<int>("changes");
        QTest::newRow("below") << "2" << "40" << 1;
        QTest::newRow("above") << "300" << "208" << 1;
        QTest::newRow("far above") << "99999999999" << "40" << 0;
        QTest::newRow("no number") << "x" << "40" << 0;
        QTest::newRow("empty") << "" << "40" << 0;
        QTest::newRow("within") << "150" << "150" << 0;
    }
    void leavingTheBoxBringsTheTextIntoTheBounds()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(int, changes);
        QWidget window;
        auto* box = new TSpinEdit(40, 208, 100, &window);
        auto* other = new QLineEdit(&window);
        other->move(0, 40);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        box->setFocus();
        QVERIFY(box->hasFocus());
        box->SetText(typed);
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(box->Text(), typed); // Enter is not leaving
        QSignalSpy spy(box, &TSpinEdit::Change);
        other->setFocus();
        QVERIFY(other->hasFocus());
        QCOMPARE(box->Text(), shown);
        QCOMPARE(box->Value(), shown.toInt());
        QCOMPARE(spy.count(), changes);
    }
};

QTEST_MAIN(TestSpinEdit)
#include "test_spinedit.moc"
