#include "Config.h"

#include "AccessibleClick.h"
#include "AudioOut.h"
#include "Clock.h"
#include "ConfigHost.h"
#include "Midi.h"
#include "Voices.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QFileDialog>
#include <QFont>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStyle>
#include <QStyleOptionFocusRect>
#include <QSpinBox>
#include <QTabWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <cstdint>
#include <utility>

namespace {

// A raised panel that works as a button: a click (press and release inside) runs `onClick`.
class PanelButton final : public QFrame
{
public:
    PanelButton(const QString& caption, QWidget* parent) : QFrame(parent), FCaption(caption)
    {
        setFrameStyle(QFrame::Panel | QFrame::Raised);
        setLineWidth(2); // outer and inner bevel, one pixel each
        setAccessibleName(caption);
        // Reached by Tab and pressed with Enter or Space, as a button is.
        setFocusPolicy(Qt::StrongFocus);
        MakeAccessibleClick(this, QAccessible::Button, [this] { Press(); });
    }

    std::function<void()> onClick;
    const QString& Caption() const { return FCaption; }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QFrame::paintEvent(event);
        QPainter painter(this);
        QFont captionFont = font();
        if (QFontMetrics(captionFont).horizontalAdvance(FCaption) > contentsRect().width())
            captionFont.setStretch(QFont::SemiCondensed);
        painter.setFont(captionFont);
        painter.setPen(palette().color(QPalette::WindowText));
        painter.drawText(contentsRect(), Qt::AlignCenter, FCaption);
        if (hasFocus()) {
            QStyleOptionFocusRect option;
            option.initFrom(this);
            option.rect = contentsRect().adjusted(1, 1, -1, -1);
            style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
        }
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        const int key = event->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            if (!event->isAutoRepeat())
                Press();
            event->accept();
            return;
        }
        QFrame::keyPressEvent(event);
    }

    void mousePressEvent(QMouseEvent* event) override
    {
        FPressed = event->button() == Qt::LeftButton;
        event->accept();
    }

    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const bool click =
            FPressed && event->button() == Qt::LeftButton && rect().contains(event->position().toPoint());
        FPressed = false;
        event->accept();
        if (click)
            Press();
    }

    void Press()
    {
        if (onClick)
            onClick();
    }

private:
    QString FCaption;
    bool FPressed = false;
};

// Tab into a group of radio buttons lands on the chosen one, as the platform's groups do; Qt
// would land on whichever comes first in the chain. Arrow keys move within the group as before.
class ChosenRadioFocus final : public QObject
{
public:
    ChosenRadioFocus(QButtonGroup* group) : QObject(group), FGroup(group) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusIn) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            QAbstractButton* chosen = FGroup->checkedButton();
            if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) && chosen &&
                chosen != watched && chosen->isEnabled() && chosen->isVisible()) {
                chosen->setFocus(reason);
            }
        }
        return false;
    }

private:
    QButtonGroup* FGroup;
};

// DejaVu Sans is wider than the face this layout was drawn for. A caption that does not fit its
// place grows to the right, as a self-sizing label would; where a control stands to its right,
// the caption is set a little narrower first.
void FitCaption(QWidget* widget, bool narrower = false)
{
    if (narrower && widget->sizeHint().width() > widget->width()) {
        QFont font = widget->font();
        font.setStretch(QFont::SemiCondensed);
        widget->setFont(font);
    }
    if (widget->sizeHint().width() > widget->width())
        widget->resize(widget->sizeHint().width(), widget->height());
}

// The stored colour of the main window: red in the low byte.
TColor ToTColor(const QColor& colour)
{
    return static_cast<TColor>(colour.red()) | static_cast<TColor>(colour.green()) << 8 |
           static_cast<TColor>(colour.blue()) << 16;
}

QString ChooseWaveFile(QWidget* parent, const QString& lastFile)
{
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(TformConfig::tr("Zvukové soubory (*.wav)"));
    dialog.setDefaultSuffix(QStringLiteral("wav"));
    if (!lastFile.isEmpty())
        dialog.selectFile(lastFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

// A number box with its caption, the caption the box's buddy so that its Alt letter reaches it.
QSpinBox* NumberBox(QWidget* page, const QString& caption, int low, int high, int value, const QString& hint,
                    const QString& suffix, QLabel*& captionOut)
{
    captionOut = new QLabel(caption, page);
    auto* box = new QSpinBox(page);
    box->setRange(low, high);
    box->setValue(value);
    box->setSuffix(suffix);
    box->setToolTip(hint);
    captionOut->setBuddy(box);
    return box;
}

// A choice with its caption, the same way.
QComboBox* ChoiceBox(QWidget* page, const QString& caption, const QStringList& items, const QString& hint,
                     QLabel*& captionOut)
{
    captionOut = new QLabel(caption, page);
    auto* box = new QComboBox(page);
    box->addItems(items);
    box->setToolTip(hint);
    captionOut->setBuddy(box);
    return box;
}

} // namespace

TformConfig::TformConfig(ConfigHost& host, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint),
      FHost(host)
{
    setWindowTitle(tr("Nastavení"));
    setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    setFixedSize(385, 229);
    setSizeGripEnabled(false);

    PageControl1 = new QTabWidget(this);
    PageControl1->setGeometry(0, 0, 385, 193);
    auto* TabSheet1 = new QWidget;
    auto* TabSheet2 = new QWidget;
    auto* TabSheet3 = new QWidget;
    PageControl1->addTab(TabSheet1, tr("&Zvuk"));
    PageControl1->addTab(TabSheet2, tr("Z&obrazení"));
    PageControl1->addTab(TabSheet3, tr("Č&asování"));
    auto* TabSheet4 = new QWidget;
    PageControl1->addTab(TabSheet4, tr("&Cvičení"));

    btnOk = new QPushButton(QStringLiteral("OK"), this);
    btnOk->setGeometry(155, 200, 75, 25);
    btnOk->setDefault(true);
    connect(btnOk, &QPushButton::clicked, this, &QDialog::accept);
    btnCancel = new QPushButton(tr("Cancel"), this);
    btnCancel->setGeometry(240, 200, 75, 25);
    btnCancel->setAutoDefault(false);
    btnCancel->hide();
    connect(btnCancel, &QPushButton::clicked, this, [this] { done(2); });

    // Page "Zvuk"
    optZvukBox = new QGroupBox(tr(" &Zvuk "), TabSheet1);
    optZvukBox->setGeometry(5, 8, 129, 124);
    optZvukBox->setToolTip(tr("Výběr typu přehrávaného zvuku"));
    optZvuk = new QButtonGroup(this);
    auto* optLayout = new QVBoxLayout(optZvukBox);
    optLayout->setContentsMargins(8, 2, 2, 4); // the widest choice needs the room on the right
    optLayout->setSpacing(0);
    const std::array<QString, 5> modeCaptions = {
        tr("&Bez zvuku"), tr("PC &Generátor"), tr("&Systémový gong"),
        tr("&Midi perkuse"), tr("&Vlastní")};
    for (int i = 0; i < static_cast<int>(modeCaptions.size()); ++i) {
        auto* button = new QRadioButton(modeCaptions[static_cast<std::size_t>(i)], optZvukBox);
        optLayout->addWidget(button);
        optZvuk->addButton(button, i);
    }
    optZvuk->button(1)->setChecked(true);
    auto* chosenFocus = new ChosenRadioFocus(optZvuk);
    for (QAbstractButton* button : optZvuk->buttons())
        button->installEventFilter(chosenFocus);
    connect(optZvuk, &QButtonGroup::idClicked, this, [this](int) { optZvukClick(); });

    grpMidi = new QGroupBox(tr("&Midi"), TabSheet1);
    grpMidi->setGeometry(140, 8, 233, 124);
    lblMidiDevice = new QLabel(tr("Z&ařízení:"), grpMidi);
    lblMidiDevice->setGeometry(8, 23, 45, 17);
    cboMidiDevice = new QComboBox(grpMidi);
    cboMidiDevice->setGeometry(54, 19, 171, 21);
    cboMidiDevice->setToolTip(tr("Výběr MIDI zařízení"));
    lblMidiDevice->setBuddy(cboMidiDevice);
    lblMidiSound = new QLabel(tr("&Normální zvuk:"), grpMidi);
    lblMidiSound->setGeometry(8, 54, 71, 13);
    cboMidiSound1 = new QComboBox(grpMidi);
    cboMidiSound1->setGeometry(87, 49, 137, 21);
    cboMidiSound1->setToolTip(tr("Zvuk pro normání dobu"));
    lblMidiSound->setBuddy(cboMidiSound1);
    Label1 = new QLabel(tr("&Důraz zvuk:"), grpMidi);
    Label1->setGeometry(8, 78, 57, 13);
    Label1->setEnabled(false);
    cboMidiSound2 = new QComboBox(grpMidi);
    cboMidiSound2->setGeometry(87, 73, 137, 21);
    cboMidiSound2->setToolTip(tr("Zvuk pro důraznou dobu"));
    cboMidiSound2->setEnabled(false);
    Label1->setBuddy(cboMidiSound2);

    grpVlastni = new QGroupBox(tr(" &Vlastní "), TabSheet1);
    grpVlastni->setGeometry(140, 8, 232, 124);
    grpVlastni->hide();
    auto* Label2 = new QLabel(tr("&Normální zvuk:"), grpVlastni);
    Label2->setGeometry(8, 22, 71, 13);
    But_Browse = new QPushButton(tr("Procházet ..."), grpVlastni);
    But_Browse->setGeometry(147, 15, 75, 20);
    Ed_Path1 = new QLineEdit(grpVlastni);
    Ed_Path1->setGeometry(8, 37, 217, 21);
    Ed_Path1->setToolTip(tr("Zvuk pro normální dobu"));
    Label2->setBuddy(Ed_Path1);
    auto* Label3 = new QLabel(tr("&Důraz zvuk:"), grpVlastni);
    Label3->setGeometry(8, 78, 57, 13);
    Button1 = new QPushButton(tr("Procházet ..."), grpVlastni);
    Button1->setGeometry(147, 71, 75, 20);
    Ed_Path2 = new QLineEdit(grpVlastni);
    Ed_Path2->setGeometry(7, 93, 217, 21);
    Ed_Path2->setToolTip(tr("Zvuk pro důraznou dobu"));
    Label3->setBuddy(Ed_Path2);
    connect(But_Browse, &QPushButton::clicked, this, &TformConfig::But_BrowseClick);
    connect(Button1, &QPushButton::clicked, this, &TformConfig::Button1Click);

    btnTest = new QPushButton(tr("&Test"), TabSheet1);
    btnTest->setGeometry(6, 135, 128, 25);
    btnTest->setToolTip(tr("Test zvukového výstupu"));
    connect(btnTest, &QPushButton::clicked, this, &TformConfig::btnTestClick);

    // Page "Zobrazení"
    ChB_Lights = new QCheckBox(tr("Světla"), TabSheet2);
    ChB_Lights->setGeometry(16, 16, 97, 17);
    ChB_Lights->setToolTip(tr("Zobrazení blikajících světel, která představují doby v taktu"));
    ChB_Numbers = new QCheckBox(tr("Čísla dob"), TabSheet2);
    ChB_Numbers->setGeometry(16, 40, 97, 17);
    ChB_Numbers->setToolTip(tr("Číselné zobrazení doby"));
    ChB_Circle = new QCheckBox(tr("Kruh"), TabSheet2);
    ChB_Circle->setGeometry(16, 64, 97, 17);
    ChB_Circle->setToolTip(tr("Podílové zobrazení taktu"));
    auto* panel1 = new PanelButton(tr("Barva doby ..."), TabSheet2);
    panel1->setGeometry(160, 16, 89, 25);
    panel1->setToolTip(tr("Nastavení barvy běžné doby"));
    panel1->onClick = [this] { Panel1Click(); };
    Panel1 = panel1;
    auto* panel2 = new PanelButton(tr("Barva důrazu ..."), TabSheet2);
    panel2->setGeometry(160, 48, 89, 25);
    panel2->setToolTip(tr("Nastavení barvy důrazné doby"));
    panel2->onClick = [this] { Panel2Click(); };
    Panel2 = panel2;
    ChB_Real = new QCheckBox(QStringLiteral("\"Real drummer\""), TabSheet2);
    ChB_Real->setGeometry(16, 124, 97, 17);
    ChB_Real->setToolTip(tr("Simulátor živého bubeníka :-))"));
    // clicked, not toggled: the settings file sets these boxes without acting on the main window.
    connect(ChB_Lights, &QCheckBox::clicked, this, &TformConfig::ChB_LightsClick);
    connect(ChB_Numbers, &QCheckBox::clicked, this, &TformConfig::ChB_NumbersClick);
    connect(ChB_Circle, &QCheckBox::clicked, this, &TformConfig::ChB_CircleClick);
    connect(ChB_Real, &QCheckBox::clicked, this, &TformConfig::ChB_RealClick);

    // Page "Časování"
    QLabel* lblPosun = nullptr;
    SpE_Posun = NumberBox(TabSheet3, tr("&Posun zobrazení (ms):"), -500, 500, 0,
                          tr("O kolik později se doba ukáže, než ji zvukový server ohlásí jako "
                             "přehranou\n(např. pro bezdrátová sluchátka, která zvuk zpožďují)"),
                          QString(), lblPosun);
    lblPosun->setGeometry(16, 18, 150, 17);
    SpE_Posun->setGeometry(170, 16, 70, 22);
    lblLatency = new QLabel(TabSheet3);
    lblLatency->setGeometry(16, 52, 350, 34);
    lblLatency->setWordWrap(true);
    lblLatency->setToolTip(
        tr("Doba od rozhodnutí o době do jejího zaznění, jak ji hlásí zvukový server"));

    BuildPracticePage(TabSheet4);

    FLatencyTimer = new QTimer(this);
    FLatencyTimer->setInterval(500);
    connect(FLatencyTimer, &QTimer::timeout, this, [this] { lblLatency->setText(LatencyText()); });

    for (QWidget* caption : {static_cast<QWidget*>(lblMidiDevice), static_cast<QWidget*>(lblMidiSound)})
        FitCaption(caption, true);
    for (QWidget* caption :
         {static_cast<QWidget*>(Label1), static_cast<QWidget*>(Label2), static_cast<QWidget*>(Label3),
          static_cast<QWidget*>(ChB_Lights), static_cast<QWidget*>(ChB_Numbers),
          static_cast<QWidget*>(ChB_Circle), static_cast<QWidget*>(ChB_Real)})
        FitCaption(caption);

    // Tab order: the dialog's buttons around the tab control, the page's controls inside it.
    const std::array<QWidget*, 37> tabOrder = {btnOk,
                                               PageControl1,
                                               optZvuk->button(0),
                                               optZvuk->button(1),
                                               optZvuk->button(2),
                                               optZvuk->button(3),
                                               optZvuk->button(4),
                                               cboMidiDevice,
                                               cboMidiSound1,
                                               cboMidiSound2,
                                               Ed_Path1,
                                               But_Browse,
                                               Ed_Path2,
                                               Button1,
                                               btnTest,
                                               ChB_Lights,
                                               ChB_Numbers,
                                               ChB_Circle,
                                               Panel1,
                                               Panel2,
                                               ChB_Real,
                                               SpE_Posun,
                                               SpE_Hlasitost,
                                               cboPredtakt,
                                               cboVynechat,
                                               SpE_Nahodne,
                                               SpE_Hrat,
                                               SpE_Ticho,
                                               ChB_Zrychlovani,
                                               SpE_Okno,
                                               SpE_Cil,
                                               SpE_Krok,
                                               SpE_Kazdych,
                                               cboDeleni,
                                               SpE_Uroven,
                                               cboNastroj,
                                               btnCancel};
    for (std::size_t i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);

    FChooseFile = [this](const QString& lastFile) { return ChooseWaveFile(this, lastFile); };
    FChooseColour = [this](const QColor& lastColour) -> std::optional<QColor> {
        const QColor colour = QColorDialog::getColor(lastColour, this);
        if (!colour.isValid())
            return std::nullopt;
        return colour;
    };

    // FormCreate: the instrument lists ("75 Claves": key, blank, name), then the devices.
    FTestTick.reset();
    for (const char* entry : MidiInstrumentEntries) {
        const QString text = QString::fromLatin1(entry);
        cboMidiSound1->addItem(text.mid(3).left(64), text.left(2).toInt());
    }
    for (int i = 0; i < cboMidiSound1->count(); ++i)
        cboMidiSound2->addItem(cboMidiSound1->itemText(i), cboMidiSound1->itemData(i));
    cboMidiSound1->setCurrentIndex(5);
    cboMidiSound2->setCurrentIndex(-1);
    FMidiChannel = 9;
}

void TformConfig::BuildPracticePage(QWidget* page)
{
    auto* grid = new QGridLayout(page);
    grid->setContentsMargins(6, 4, 6, 4);
    grid->setHorizontalSpacing(4);
    grid->setVerticalSpacing(1);
    // The captions take what they need, the boxes share the rest.
    grid->setColumnStretch(1, 1);
    grid->setColumnStretch(3, 1);
    int row = 0;
    // Two captioned controls in a row, or one over the whole width.
    const auto put = [grid, &row](QLabel* caption, QWidget* box, QLabel* caption2 = nullptr,
                                  QWidget* box2 = nullptr) {
        grid->addWidget(caption, row, 0);
        grid->addWidget(box, row, 1, 1, caption2 ? 1 : 3);
        if (caption2) {
            grid->addWidget(caption2, row, 2);
            grid->addWidget(box2, row, 3);
        }
        ++row;
    };
    const QString percent = QStringLiteral(" %");
    QLabel* caption = nullptr;
    QLabel* caption2 = nullptr;

    SpE_Hlasitost = NumberBox(page, tr("&Hlasitost:"), 0, 100, 100,
                              tr("Hlasitost dob v procentech, pro všechny druhy zvuku"), percent, caption);
    // Heard at once, in the next beat and in "Test", as the other settings of the dialog act.
    connect(SpE_Hlasitost, &QSpinBox::valueChanged, this,
            [](int value) { AudioOut::Instance().SetVolumePercent(value); });
    cboPredtakt = ChoiceBox(page, tr("&Předtakt:"), {tr("žádný"), tr("1 takt"), tr("2 takty")},
                            tr("Kolik taktů se po spuštění odpočítá, než začne počítání taktů a času"), caption2);
    put(caption, SpE_Hlasitost, caption2, cboPredtakt);

    cboVynechat = ChoiceBox(page, tr("&Vynechané takty:"), {tr("vypnuto"), tr("pravidelně"), tr("náhodně")},
                            tr("Takty bez zvuku, aby bylo slyšet, zda hrajete dál v tempu; světla a počítadla běží"),
                            caption);
    QLabel* lblNahodne = nullptr;
    SpE_Nahodne = NumberBox(page, tr("Pravděpodobno&st:"), 0, 90, 30,
                            tr("Jak často je takt náhodně bez zvuku"), percent, lblNahodne);
    put(caption, cboVynechat, lblNahodne, SpE_Nahodne);
    QLabel* lblHrat = nullptr;
    QLabel* lblTicho = nullptr;
    SpE_Hrat = NumberBox(page, tr("H&rát taktů:"), 1, 16, 4, tr("Kolik taktů zní, než přijdou takty bez zvuku"),
                         QString(), lblHrat);
    SpE_Ticho = NumberBox(page, tr("&Ticho taktů:"), 1, 16, 4, tr("Kolik taktů je bez zvuku, než se zase hraje"),
                          QString(), lblTicho);
    put(lblHrat, SpE_Hrat, lblTicho, SpE_Ticho);

    ChB_Zrychlovani = new QCheckBox(tr("Zrych&lování"), page);
    ChB_Zrychlovani->setToolTip(tr("Tempo se po několika taktech samo změní o krok, až dojde k cílovému tempu"));
    grid->addWidget(ChB_Zrychlovani, row, 0);
    // The adaptive trainer: a step only after bars played within this window, by the coach.
    SpE_Okno = new QSpinBox(page);
    SpE_Okno->setRange(0, 50);
    SpE_Okno->setPrefix(QStringLiteral("± "));
    SpE_Okno->setSuffix(QStringLiteral(" ms"));
    SpE_Okno->setSpecialValueText(tr("vždy"));
    SpE_Okno->setAccessibleName(tr("Krok jen po přesné hře"));
    SpE_Okno->setToolTip(tr("Krok přijde jen po taktech, ve kterých byl každý zásah do ± tolika ms "
                            "(měří \"Přesnost hry\", Ctrl+T); \"vždy\": krok přijde v každém případě"));
    // 1..4 ms is no window a player can keep: stepping down from 5 gives "always", anything
    // else below 5 gives 5.
    connect(SpE_Okno, &QSpinBox::valueChanged, this, [this](int ms) {
        if (ms > 0 && ms < 5) {
            SpE_Okno->setValue(ms == 4 ? 0 : 5);
        }
    });
    grid->addWidget(SpE_Okno, row, 1);
    QLabel* lblCil = nullptr;
    SpE_Cil = NumberBox(page, tr("C&ílové tempo:"), 40, 208, 160, tr("Tempo, u kterého zrychlování skončí"),
                        QString(), lblCil);
    grid->addWidget(lblCil, row, 2);
    grid->addWidget(SpE_Cil, row, 3);
    ++row;
    QLabel* lblKrok = nullptr;
    QLabel* lblKazdych = nullptr;
    SpE_Krok = NumberBox(page, tr("&Krok (BPM):"), -20, 20, 5,
                         tr("O kolik se tempo změní; záporný krok tempo zpomaluje"), QString(), lblKrok);
    // A step of 0 would never move: the box steps over it.
    connect(SpE_Krok, &QSpinBox::valueChanged, this, [this, last = 5](int value) mutable {
        if (value == 0) {
            SpE_Krok->setValue(last > 0 ? -1 : 1);
            return;
        }
        last = value;
    });
    SpE_Kazdych = NumberBox(page, tr("Každ&ých taktů:"), 1, 64, 4, tr("Po kolika taktech přijde další krok"),
                            QString(), lblKazdych);
    put(lblKrok, SpE_Krok, lblKazdych, SpE_Kazdych);

    QLabel* lblDeleni = nullptr;
    QLabel* lblUroven = nullptr;
    cboDeleni = ChoiceBox(page, tr("&Dělení doby:"), {tr("vypnuto"), tr("na 2"), tr("na 3"), tr("na 4")},
                          tr("Slabší údery mezi dobami, např. osminy nebo trioly"), lblDeleni);
    SpE_Uroven = NumberBox(page, tr("Síla &mezidob:"), 0, 100, 50,
                           tr("Hlasitost mezidob v procentech hlasitosti dob"), percent, lblUroven);
    put(lblDeleni, cboDeleni, lblUroven, SpE_Uroven);
    QLabel* lblNastroj = nullptr;
    cboNastroj = ChoiceBox(page, tr("&Nástroj mezidob:"), {}, tr("Bicí nástroj mezidob pro zvuk MIDI"),
                           lblNastroj);
    for (const char* entry : MidiInstrumentEntries) {
        const QString text = QString::fromLatin1(entry);
        cboNastroj->addItem(text.mid(3), text.left(2).toInt());
    }
    cboNastroj->setCurrentIndex(cboNastroj->findData(42));
    put(lblNastroj, cboNastroj);
    grid->setRowStretch(row, 1);

    // Only what the chosen ways use can be set.
    const auto enable = [=, this] {
        const int mode = cboVynechat->currentIndex();
        for (QWidget* w : std::initializer_list<QWidget*>{lblHrat, SpE_Hrat, lblTicho, SpE_Ticho})
            w->setEnabled(mode == 1);
        lblNahodne->setEnabled(mode == 2);
        SpE_Nahodne->setEnabled(mode == 2);
        for (QWidget* w :
             std::initializer_list<QWidget*>{lblCil, SpE_Cil, lblKrok, SpE_Krok, lblKazdych, SpE_Kazdych, SpE_Okno})
            w->setEnabled(ChB_Zrychlovani->isChecked());
        for (QWidget* w : std::initializer_list<QWidget*>{lblUroven, SpE_Uroven, lblNastroj, cboNastroj})
            w->setEnabled(cboDeleni->currentIndex() > 0);
    };
    connect(cboVynechat, &QComboBox::currentIndexChanged, this, enable);
    connect(ChB_Zrychlovani, &QCheckBox::toggled, this, enable);
    connect(cboDeleni, &QComboBox::currentIndexChanged, this, enable);
    enable();
}

PracticeSettings TformConfig::Practice() const
{
    PracticeSettings p;
    p.FVolume = SpE_Hlasitost->value();
    p.FCountInBars = cboPredtakt->currentIndex();
    p.FSilentMode = cboVynechat->currentIndex();
    p.FPlayBars = SpE_Hrat->value();
    p.FSilentBars = SpE_Ticho->value();
    p.FSilentPercent = SpE_Nahodne->value();
    p.FTrainer = ChB_Zrychlovani->isChecked() ? 1 : 0;
    p.FTrainerStep = SpE_Krok->value();
    p.FTrainerBars = SpE_Kazdych->value();
    p.FTrainerTarget = SpE_Cil->value();
    p.FTrainerWindow = SpE_Okno->value();
    p.FSubdivision = cboDeleni->currentIndex() + 1;
    p.FSubLevel = SpE_Uroven->value();
    p.FSubNote = cboNastroj->currentData().toInt();
    return p;
}

void TformConfig::ShowPractice(const PracticeSettings& settings)
{
    const PracticeSettings p = settings.Clamped();
    SpE_Hlasitost->setValue(p.FVolume);
    cboPredtakt->setCurrentIndex(p.FCountInBars);
    cboVynechat->setCurrentIndex(p.FSilentMode);
    SpE_Hrat->setValue(p.FPlayBars);
    SpE_Ticho->setValue(p.FSilentBars);
    SpE_Nahodne->setValue(p.FSilentPercent);
    ChB_Zrychlovani->setChecked(p.FTrainer != 0);
    SpE_Krok->setValue(p.FTrainerStep);
    SpE_Kazdych->setValue(p.FTrainerBars);
    SpE_Cil->setValue(p.FTrainerTarget);
    SpE_Okno->setValue(p.FTrainerWindow);
    cboDeleni->setCurrentIndex(p.FSubdivision - 1);
    SpE_Uroven->setValue(p.FSubLevel);
    const int note = cboNastroj->findData(p.FSubNote);
    cboNastroj->setCurrentIndex(note >= 0 ? note : cboNastroj->findData(PracticeSettings{}.FSubNote));
}

void TformConfig::ListMidiDevices()
{
    cboMidiDevice->clear();
    cboMidiDevice->addItems(MidiOutputNames());
    if (cboMidiDevice->count() == 0) {
        grpMidi->setEnabled(false);
        lblMidiDevice->setEnabled(false);
        lblMidiSound->setEnabled(false);
        cboMidiDevice->setCurrentIndex(-1);
    } else {
        cboMidiDevice->setCurrentIndex(0);
    }
}

TformConfig::~TformConfig() = default; // FormDestroy: FTestTick closes with its owner

int TformConfig::ShowModal()
{
    return exec();
}

int TformConfig::MidiNote() const
{
    // A stored index outside the list leaves nothing selected; the beat then uses the first
    // instrument (Acoustic Snare, 38) rather than no note at all.
    const int index = cboMidiSound1->currentIndex();
    return cboMidiSound1->itemData(index >= 0 ? index : 0).toInt();
}

int TformConfig::SoundMode() const
{
    return optZvuk->checkedId();
}

void TformConfig::SetSoundMode(int mode)
{
    mode = std::clamp(mode, -1, 4);
    if (mode < 0) {
        // An exclusive group never lets its last checked button go.
        optZvuk->setExclusive(false);
        if (QAbstractButton* checked = optZvuk->checkedButton())
            checked->setChecked(false);
        optZvuk->setExclusive(true);
    } else {
        optZvuk->button(mode)->setChecked(true);
    }
    optZvukClick();
}

void TformConfig::optZvukClick()
{
    const int mode = SoundMode();
    grpMidi->setVisible(mode == 3);
    grpVlastni->setVisible(mode == 4);
}

void TformConfig::btnTestClick()
{
    // At most one test output: the previous one closes before anything else sounds.
    FTestTick.reset();
    switch (SoundMode()) {
    case 1:
        SoundTone(440, 50, -1);
        break;
    case 2:
        SoundDefaultBeep(-1);
        break;
    case 3:
        // No chosen device (-1) reaches the port list as 0xFFFFFFFF, the default port.
        FTestTick = std::make_unique<TMidiTick>(static_cast<std::uint32_t>(cboMidiDevice->currentIndex()),
                                                static_cast<std::uint8_t>(MidiNote()),
                                                static_cast<std::uint8_t>(MidiChannel()));
        FTestTick->Play();
        break;
    case 4:
        SoundWaveFile(Ed_Path1->text(), -1);
        break;
    default:
        break;
    }
}

void TformConfig::But_BrowseClick()
{
    const QString file = FChooseFile(FLastFile);
    if (file.isEmpty())
        return;
    FLastFile = file;
    Ed_Path1->setText(file);
}

void TformConfig::Button1Click()
{
    const QString file = FChooseFile(FLastFile);
    if (file.isEmpty())
        return;
    FLastFile = file;
    Ed_Path2->setText(file);
}

void TformConfig::ChB_LightsClick()
{
    FHost.ShowLights(ChB_Lights->isChecked());
}

void TformConfig::ChB_NumbersClick()
{
    FHost.ShowNumbers(ChB_Numbers->isChecked());
}

void TformConfig::ChB_CircleClick()
{
    FHost.ShowCircle(ChB_Circle->isChecked());
}

void TformConfig::Panel1Click()
{
    const std::optional<QColor> colour = FChooseColour(FLastColour);
    if (!colour || !colour->isValid())
        return;
    FLastColour = *colour;
    FHost.SetBeatColour(ToTColor(*colour));
}

void TformConfig::Panel2Click()
{
    const std::optional<QColor> colour = FChooseColour(FLastColour);
    if (!colour || !colour->isValid())
        return;
    FLastColour = *colour;
    FHost.SetAccentColour(ToTColor(*colour));
}

void TformConfig::ChB_RealClick()
{
    if (!ChB_Real->isChecked())
        FHost.EndDrift();
}

void TformConfig::showEvent(QShowEvent* event)
{
    // Whatever mode the settings file brought, the dialog opens with that mode's group box.
    optZvukClick();
    lblLatency->setText(LatencyText());
    FLatencyTimer->start();
    if (QWidget* owner = parentWidget()) {
        const QRect area = owner->window()->frameGeometry();
        QRect frame = frameGeometry();
        frame.moveCenter(area.center());
        move(frame.topLeft());
    }
    QDialog::showEvent(event);
}

void TformConfig::hideEvent(QHideEvent* event)
{
    FTestTick.reset(); // FormHide: the main window opens its own output after the dialog
    FLatencyTimer->stop();
    QDialog::hideEvent(event);
}

QString TformConfig::LatencyText()
{
    const AudioOut& out = AudioOut::Instance();
    if (!out.IsOpen()) {
        return tr("Zvukový server není připojen: doby řídí hodiny počítače, zvuk nehraje.");
    }
    const auto ms = [](std::int64_t us) { return QString::number(static_cast<double>(us) / 1000.0, 'f', 1); };
    const std::int64_t latency = out.LatencyUs();
    return tr("Zpoždění výstupu: %1 ms, předstih rozhodnutí: %2 ms, celkem %3 ms.")
        .arg(ms(latency), ms(TClock::LookAheadUs), ms(latency + TClock::LookAheadUs));
}
