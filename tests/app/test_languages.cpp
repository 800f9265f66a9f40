// The interface in each language: chosen from the environment as desktop programs choose it,
// every text of the windows in that language (Qt's own buttons too, Italian tempo words
// always), and nothing clipped or overlapping in the fixed layout.
#include "AppFixture.h"

#include "Language.h"
#include "SpinEdit.h"
#include "TrackBar.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QCheckBox>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolButton>
#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QTabWidget>
#include <QtTest>

#include <algorithm>

namespace {

bool IsControl(const QWidget* w)
{
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLabel*>(w) ||
           qobject_cast<const QLineEdit*>(w) || qobject_cast<const QAbstractSpinBox*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSlider*>(w);
}

QString Describe(const QWidget* w)
{
    const QVariant text = w->property("text");
    return QStringLiteral("%1 \"%2\" %3,%4 %5x%6")
        .arg(QString::fromLatin1(w->metaObject()->className()), text.toString())
        .arg(w->x())
        .arg(w->y())
        .arg(w->width())
        .arg(w->height());
}

// The caption's text as drawn: without the mnemonic marks.
QString Drawn(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QLatin1Char('\x01'), QLatin1Char('&'));
    return text;
}

// How much wider than the room its control gives it the caption is; 0 or less when it fits.
int Overflow(QWidget* w)
{
    const QFontMetrics fm = w->fontMetrics();
    QStyleOptionButton option;
    option.initFrom(w);
    if (auto* label = qobject_cast<QLabel*>(w)) {
        if (label->wordWrap() || !label->pixmap().isNull()) {
            return 0;
        }
        int widest = 0;
        for (const QString& line : Drawn(label->text()).split(QLatin1Char('\n'))) {
            widest = std::max(widest, fm.horizontalAdvance(line));
        }
        return widest - label->contentsRect().width();
    }
    auto* button = qobject_cast<QAbstractButton*>(w);
    if (!button) {
        return 0;
    }
    const int text = fm.horizontalAdvance(Drawn(button->text()));
    if (qobject_cast<QCheckBox*>(w)) {
        return text - w->style()->subElementRect(QStyle::SE_CheckBoxContents, &option, w).width();
    }
    if (qobject_cast<QRadioButton*>(w)) {
        return text - w->style()->subElementRect(QStyle::SE_RadioButtonContents, &option, w).width();
    }
    if (auto* tool = qobject_cast<QToolButton*>(w);
        tool && tool->toolButtonStyle() == Qt::ToolButtonTextUnderIcon) {
        return text - (w->width() - 4);
    }
    const int icon = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
    return text + icon - w->style()->subElementRect(QStyle::SE_PushButtonContents, &option, w).width();
}

// Captions wider than their control, controls cut by their parent's edge, and controls that
// overlap a sibling, among the visible controls of `root`.
QStringList LayoutFaults(QWidget* root)
{
    QStringList faults;
    QList<QWidget*> all = root->findChildren<QWidget*>();
    all.prepend(root);
    for (QWidget* parent : all) {
        if (!parent->isVisibleTo(root) || qobject_cast<QAbstractSpinBox*>(parent) ||
            qobject_cast<QComboBox*>(parent) || qobject_cast<QAbstractButton*>(parent)) {
            continue;
        }
        QList<QWidget*> controls;
        for (QWidget* w : parent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (w->isVisibleTo(root) && IsControl(w) && !w->isWindow()) {
                controls << w;
            }
        }
        for (QWidget* w : controls) {
            if (const int over = Overflow(w); over > 0) {
                faults << QStringLiteral("clipped: %1 by %2 px").arg(Describe(w)).arg(over);
            }
            if (!parent->rect().contains(w->geometry())) {
                faults << QStringLiteral("cut by its parent: %1").arg(Describe(w));
            }
        }
        for (int i = 0; i < controls.size(); ++i) {
            for (int j = i + 1; j < controls.size(); ++j) {
                if (controls[i]->geometry().intersects(controls[j]->geometry())) {
                    faults << QStringLiteral("overlap: %1 and %2").arg(Describe(controls[i]), Describe(controls[j]));
                }
            }
        }
    }
    return faults;
}

} // namespace

class TestLanguages final : public QObject
{
    Q_OBJECT

private slots:
    void languageFromTheEnvironment_data()
    {
        QTest::addColumn<QString>("language");
        QTest::addColumn<QString>("lcAll");
        QTest::addColumn<QString>("lcMessages");
        QTest::addColumn<QString>("lang");
        QTest::addColumn<bool>("czech");
        QTest::newRow("nothing set") << "" << "" << "" << "" << true;
        QTest::newRow("LANG=C") << "" << "" << "" << "C" << true;
        QTest::newRow("LANG=C.UTF-8") << "" << "" << "" << "C.UTF-8" << true;
        QTest::newRow("LANG=POSIX") << "" << "" << "" << "POSIX" << true;
        QTest::newRow("LANG=cs_CZ.UTF-8") << "" << "" << "" << "cs_CZ.UTF-8" << true;
        QTest::newRow("LANG=en_US.UTF-8") << "" << "" << "" << "en_US.UTF-8" << false;
        QTest::newRow("LANG=de_DE.UTF-8") << "" << "" << "" << "de_DE.UTF-8" << false;
        QTest::newRow("LANGUAGE=sk:cs") << "sk:cs" << "" << "" << "en_US.UTF-8" << true;
        QTest::newRow("LANGUAGE=de:en, LANG Czech") << "de:en" << "" << "" << "cs_CZ.UTF-8" << false;
        QTest::newRow("LANGUAGE=de:fr, LANG Czech") << "de:fr" << "" << "" << "cs_CZ.UTF-8" << false;
        QTest::newRow("LANGUAGE=en_GB:cs") << "en_GB:cs" << "" << "" << "" << false;
        QTest::newRow("LANGUAGE empty entries") << "::" << "" << "" << "en_US.UTF-8" << false;
        QTest::newRow("LC_ALL over LANG") << "" << "cs_CZ.UTF-8" << "en_US.UTF-8" << "en_US.UTF-8" << true;
        QTest::newRow("LC_MESSAGES over LANG") << "" << "" << "en_GB.UTF-8" << "cs_CZ.UTF-8" << false;
        QTest::newRow("LC_ALL=C over LANG") << "" << "C" << "" << "en_US.UTF-8" << true;
        QTest::newRow("modifier") << "" << "" << "" << "cs_CZ@euro" << true;
    }
    void languageFromTheEnvironment()
    {
        QFETCH(QString, language);
        QFETCH(QString, lcAll);
        QFETCH(QString, lcMessages);
        QFETCH(QString, lang);
        QFETCH(bool, czech);
        const QMap<QString, QString> env = {
            {"LANGUAGE", language}, {"LC_ALL", lcAll}, {"LC_MESSAGES", lcMessages}, {"LANG", lang}};
        const UiLanguage chosen =
            ChooseLanguage([&](const char* name) { return env.value(QString::fromLatin1(name)); });
        QCOMPARE(chosen == UiLanguage::Czech, czech);
    }

    // The windows in each language: their texts, Qt's own button, the Italian tempo word, and a
    // layout where nothing is clipped or overlaps. With TIKTAKON_SCREENSHOTS set to a folder,
    // the windows are saved there as pictures.
    void windowsInEachLanguage_data()
    {
        QTest::addColumn<bool>("czech");
        QTest::addColumn<QStringList>("texts"); // name label, tempo hint, status panel, tab, Qt's Cancel
        QTest::newRow("cs") << true
                            << QStringList{"Název:", "Nastavení tempa v úderech za minutu (BMP)", " Takt:  0",
                                           "Z&obrazení", "Zrušit"};
        QTest::newRow("en") << false
                            << QStringList{"Name:", "Tempo in beats per minute (BPM)", " Bar:  0", "&Display",
                                           "Cancel"};
    }
    void windowsInEachLanguage()
    {
        QFETCH(bool, czech);
        QFETCH(QStringList, texts);
        QVERIFY(InstallLanguage(czech ? UiLanguage::Czech : UiLanguage::English));
        AppFixture f;
        TformMain& m = *f.FMain;
        TformConfig& c = *f.FConfig;
        QCOMPARE(m.Label3->text(), texts[0]);
        QCOMPARE(m.SpEd_Time->toolTip(), texts[1]);
        QCOMPARE(f.Panel(1), texts[2]);
        QCOMPARE(c.PageControl1->tabText(1), texts[3]);
        QDialogButtonBox box(QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), texts[4]);
        m.trbTime->setValue(150);
        QCOMPARE(m.trbTime->toolTip(), QStringLiteral("Allegro"));

        const QString shots = qEnvironmentVariable("TIKTAKON_SCREENSHOTS");
        const QString suffix = czech ? QStringLiteral("cs") : QStringLiteral("en");
        m.show();
        QVERIFY(QTest::qWaitForWindowExposed(&m));
        QStringList faults = LayoutFaults(&m);
        if (!shots.isEmpty()) {
            QVERIFY(m.grab().save(QDir(shots).filePath(QStringLiteral("main-%1.png").arg(suffix))));
        }
        // Each page of the dialog, with the groups that a sound mode shows.
        c.show();
        QVERIFY(QTest::qWaitForWindowExposed(&c));
        for (int page = 0; page < c.PageControl1->count(); ++page) {
            c.PageControl1->setCurrentIndex(page);
            for (int mode : page == 0 ? QList<int>{3, 4} : QList<int>{1}) {
                c.optZvuk->button(mode)->click();
                for (const QString& fault : LayoutFaults(&c)) {
                    faults << QStringLiteral("page %1, mode %2: %3").arg(page).arg(mode).arg(fault);
                }
                if (!shots.isEmpty()) {
                    QVERIFY(c.grab().save(
                        QDir(shots).filePath(QStringLiteral("settings-%1-%2-%3.png").arg(page).arg(mode).arg(suffix))));
                }
            }
        }
        c.hide();
        faults.removeDuplicates();
        QVERIFY2(faults.isEmpty(), qPrintable(faults.join(QLatin1Char('\n'))));
    }

    // The window's small pictures are drawn at the screen's own resolution: at a scale factor
    // of 2 a 16-pixel icon has 32 device pixels of its own, not 16 enlarged.
    void picturesAtTheScreensResolution()
    {
        const qreal ratio = qApp->devicePixelRatio();
        AppFixture f;
        const QPixmap smile = f.FMain->Image_Smile->pixmap();
        QCOMPARE(smile.devicePixelRatio(), ratio);
        QCOMPARE(smile.size(), QSize(16, 16) * ratio);
        for (const QIcon& icon : {f.FMain->But_Save->icon(), f.FMain->btnSetup->icon()}) {
            const QPixmap pixmap = icon.pixmap(QSize(16, 16), ratio);
            QCOMPARE(pixmap.size(), QSize(16, 16) * ratio);
            QCOMPARE(pixmap.devicePixelRatio(), ratio);
        }
        if (ratio > 1.0) {
            // Drawn anew, not enlarged: the sharp drawing differs from the plain one blown up.
            const QImage sharp = f.FMain->btnSetup->icon().pixmap(QSize(16, 16), ratio).toImage();
            const QImage blown = f.FMain->btnSetup->icon()
                                     .pixmap(QSize(16, 16), 1.0)
                                     .toImage()
                                     .scaled(sharp.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
            QVERIFY(sharp.convertToFormat(QImage::Format_ARGB32) != blown.convertToFormat(QImage::Format_ARGB32));
        }
    }

    void cleanupTestCase() { InstallLanguage(UiLanguage::Czech); }
};

QTEST_MAIN(TestLanguages)
#include "test_languages.moc"
