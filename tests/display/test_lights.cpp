#include "Lights.h"
#include "Shape.h"

#include <QSignalSpy>
#include <QWidget>
#include <QtTest>

#include <memory>

namespace {

constexpr TColor Beat = clRed;
constexpr TColor Accent = clFuchsia;

} // namespace

class TestLights final : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> FPanel;
    TLightTable FLights{};

    // The positions whose light is not white.
    QList<int> Lit() const
    {
        QList<int> lit;
        for (int i = 0; i < 8; ++i) {
            if (FLights[i]->BrushColor() != clWhite) {
                lit << i;
            }
        }
        return lit;
    }
    QList<int> Shown() const
    {
        QList<int> shown;
        for (int i = 0; i < 8; ++i) {
            if (!FLights[i]->isHidden()) {
                shown << i;
            }
        }
        return shown;
    }

private slots:
    void init()
    {
        FPanel = std::make_unique<QWidget>();
        FPanel->resize(198, 58);
        const int lefts[8] = {8, 31, 54, 77, 101, 124, 147, 170};
        for (int i = 0; i < 8; ++i) {
            FLights[i] = new TShape(i, FPanel.get());
            FLights[i]->move(lefts[i], 19);
        }
        FPanel->show();
    }
    void cleanup() { FPanel.reset(); }

    void newLightIsOffWithThinOutline()
    {
        QCOMPARE(FLights[3]->Tag(), 3);
        QCOMPARE(FLights[3]->BrushColor(), clWhite);
        QCOMPARE(FLights[3]->PenWidth(), 1);
        QCOMPARE(FLights[3]->size(), QSize(20, 20));
    }

    void fourBeatsLightOneAtATime()
    {
        LightReset(FLights, 4);
        QCOMPARE(Shown(), (QList<int>{0, 1, 2, 3}));
        for (int beat = 0; beat < 10; ++beat) {
            const int p = beat % 4;
            LightStep(FLights, p, 4, Beat);
            QCOMPARE(Lit(), QList<int>{p});
            QCOMPARE(FLights[p]->BrushColor(), Beat);
        }
    }

    void accentedBeatIsClearedByTheNextNormalBeat()
    {
        LightReset(FLights, 4);
        LightStep(FLights, 0, 4, Accent);
        QCOMPARE(Lit(), QList<int>{0});
        QCOMPARE(FLights[0]->BrushColor(), Accent);
        LightStep(FLights, 1, 4, Beat);
        QCOMPARE(Lit(), QList<int>{1});
        QCOMPARE(FLights[1]->BrushColor(), Beat);
    }

    void oneBeatBarBlinks_data()
    {
        QTest::addColumn<QList<TColor>>("beats");
        QTest::addColumn<QList<TColor>>("fills");
        QTest::newRow("accents off") << QList<TColor>{Beat, Beat, Beat, Beat, Beat}
                                     << QList<TColor>{Beat, clWhite, Beat, clWhite, Beat};
        QTest::newRow("accent on position 0") << QList<TColor>{Accent, Accent, Accent, Accent}
                                              << QList<TColor>{Accent, clWhite, Accent, clWhite};
        // A beat whose colour differs from the lit light's changes the colour instead of turning it off.
        QTest::newRow("colour change keeps it lit")
            << QList<TColor>{Beat, Accent, Accent, Beat} << QList<TColor>{Beat, Accent, clWhite, Beat};
    }
    void oneBeatBarBlinks()
    {
        QFETCH(QList<TColor>, beats);
        QFETCH(QList<TColor>, fills);
        LightReset(FLights, 1);
        QCOMPARE(Shown(), QList<int>{0});
        for (int i = 0; i < beats.size(); ++i) {
            LightStep(FLights, 0, 1, beats[i]);
            QCOMPARE(FLights[0]->BrushColor(), fills[i]);
            QVERIFY(Lit().size() <= 1);
        }
    }

    void rhythmChangeKeepsAccentMarks()
    {
        const QList<int> accented{1, 5, 7};
        for (const int i : accented) {
            FLights[i]->SetPenWidth(2);
        }
        LightReset(FLights, 8);
        LightStep(FLights, 6, 8, Beat);
        LightReset(FLights, 3);
        QCOMPARE(Shown(), (QList<int>{0, 1, 2}));
        QVERIFY(Lit().isEmpty());
        LightReset(FLights, 8);
        QCOMPARE(Shown(), (QList<int>{0, 1, 2, 3, 4, 5, 6, 7}));
        for (int i = 0; i < 8; ++i) {
            QCOMPARE(FLights[i]->PenWidth(), accented.contains(i) ? 2 : 1);
        }
    }

    void impossibleRhythmOrPositionChangesNothing_data()
    {
        QTest::addColumn<int>("p");
        QTest::addColumn<int>("N");
        QTest::newRow("N=0") << 0 << 0;
        QTest::newRow("N=9") << 8 << 9;
        QTest::newRow("N=-1") << 0 << -1;
        QTest::newRow("p past the bar") << 4 << 4;
        QTest::newRow("negative p") << -1 << 4;
    }
    void impossibleRhythmOrPositionChangesNothing()
    {
        QFETCH(int, p);
        QFETCH(int, N);
        LightReset(FLights, 8);
        LightStep(FLights, 2, 8, Beat);
        LightStep(FLights, p, N, Accent);
        QCOMPARE(Lit(), QList<int>{2});
        QCOMPARE(FLights[2]->BrushColor(), Beat);
    }

    void resetOutsideTheTableStaysInIt()
    {
        LightReset(FLights, 0);
        QVERIFY(Shown().isEmpty());
        LightReset(FLights, 12);
        QCOMPARE(Shown().size(), 8);
    }

    void releaseOverTheLightRaisesMouseUp_data()
    {
        QTest::addColumn<Qt::MouseButton>("button");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<int>("raised");
        QTest::newRow("left, centre") << Qt::LeftButton << QPoint(10, 10) << 1;
        QTest::newRow("right, centre") << Qt::RightButton << QPoint(10, 10) << 1;
        QTest::newRow("middle, corner") << Qt::MiddleButton << QPoint(19, 0) << 1;
        QTest::newRow("left, released outside") << Qt::LeftButton << QPoint(30, 10) << 0;
    }
    void releaseOverTheLightRaisesMouseUp()
    {
        QFETCH(Qt::MouseButton, button);
        QFETCH(QPoint, at);
        QFETCH(int, raised);
        TShape* light = FLights[5];
        QSignalSpy spy(light, &TShape::MouseUp);
        QTest::mousePress(light, button, {}, QPoint(10, 10));
        QTest::mouseRelease(light, button, {}, at);
        QCOMPARE(spy.count(), raised);
        if (raised) {
            QCOMPARE(spy.at(0).at(0).value<TShape*>(), light);
        }
    }

    void paintShowsFillAndAccentMark()
    {
        TShape* light = FLights[0];
        light->SetBrushColor(Beat);
        QImage thin = light->grab().toImage();
        QCOMPARE(thin.pixelColor(10, 10), QColor(255, 0, 0));
        QVERIFY(qGray(thin.pixel(0, 10)) < 60);
        QVERIFY(qGray(thin.pixel(1, 10)) > 60);
        light->SetPenWidth(2);
        QImage thick = light->grab().toImage();
        QVERIFY(qGray(thick.pixel(1, 10)) < 60);
        QCOMPARE(thick.pixelColor(10, 10), QColor(255, 0, 0));
    }
};

QTEST_MAIN(TestLights)
#include "test_lights.moc"
