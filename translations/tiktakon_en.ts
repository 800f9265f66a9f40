<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="cs_CZ">
<context>
    <name>CoachPlots</name>
    <message>
        <source>Odchylka zásahů (ms): brzy dole, pozdě nahoře</source>
        <translation>Hit offsets (ms): early below, late above</translation>
    </message>
    <message>
        <source>Rozložení odchylek (po 5 ms)</source>
        <translation>Offsets by 5 ms</translation>
    </message>
    <message>
        <source>Průměr podle doby v taktu (ms)</source>
        <translation>Mean per beat of the bar (ms)</translation>
    </message>
    <message>
        <source>Zatím žádná uložená cvičení tohoto profilu</source>
        <translation>No practice of this profile stored yet</translation>
    </message>
    <message>
        <source>Pokrok profilu: odchylka (RMS) a rozptyl (ms)</source>
        <translation>Profile progress: offset (RMS) and spread (ms)</translation>
    </message>
</context>
<context>
    <name>OffsetScale</name>
    <message>
        <source>Stupnice odchylky: vlevo brzy, vpravo pozdě</source>
        <translation>Offset scale: early left, late right</translation>
    </message>
    <message>
        <source>brzy</source>
        <translation>early</translation>
    </message>
    <message>
        <source>pozdě</source>
        <translation>late</translation>
    </message>
</context>
<context>
    <name>PracticeHistory</name>
    <message>
        <source>Do složky s historií cvičení nelze zapisovat.</source>
        <translation>The folder of the practice history cannot be written to.</translation>
    </message>
    <message>
        <source>Soubor s historií cvičení je jen pro čtení.</source>
        <translation>The practice history file is read-only.</translation>
    </message>
    <message>
        <source>Historii cvičení má právě zamčenou jiný program, nejspíš další spuštěný Tiktakon.</source>
        <translation>Another program has the practice history locked, most likely another running Tiktakon.</translation>
    </message>
    <message>
        <source>Soubor s historií cvičení je poškozený nebo to není historie cvičení; program ho nemění.</source>
        <translation>The practice history file is damaged or is no practice history; the program leaves it as it is.</translation>
    </message>
    <message>
        <source>Historii cvičení zapsala novější verze programu; tato verze do ní nezapisuje.</source>
        <translation>A newer version of the program wrote the practice history; this version does not write to it.</translation>
    </message>
    <message>
        <source>Historii cvičení nelze uložit.</source>
        <translation>The practice history cannot be saved.</translation>
    </message>
</context>
<context>
    <name>ProfileList</name>
    <message>
        <source>Použít</source>
        <translation>Apply</translation>
    </message>
    <message>
        <source>Přejmenovat</source>
        <translation>Rename</translation>
    </message>
    <message>
        <source>Odstranit</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>Zadej nový název:</source>
        <translation>Enter a new name:</translation>
    </message>
</context>
<context>
    <name>StatusTexts</name>
    <message>
        <source> Takt:  1</source>
        <translation> Bar:  1</translation>
    </message>
    <message>
        <source>Takt:  </source>
        <translation>Bar:  </translation>
    </message>
    <message>
        <source> Čas:  </source>
        <translation> Time:  </translation>
    </message>
</context>
<context>
    <name>TProfileGrid</name>
    <message>
        <source>Název</source>
        <translation>Name</translation>
    </message>
    <message>
        <source>Rytmus</source>
        <translation>Rhythm</translation>
    </message>
    <message>
        <source>BMP</source>
        <translation>BPM</translation>
    </message>
    <message>
        <source>Tempo</source>
        <translation>Tempo</translation>
    </message>
    <message>
        <source>Seznam uložených profilů, možno přidávat, mazat, řadit</source>
        <translation>Saved profiles; add, delete, sort</translation>
    </message>
</context>
<context>
    <name>TformCoach</name>
    <message>
        <source>Přesnost hry</source>
        <translation>Timing coach</translation>
    </message>
    <message>
        <source>&amp;Vstup:</source>
        <translation>&amp;Input:</translation>
    </message>
    <message>
        <source>Odkud program poslouchá vaši hru: mikrofon, snímač bicí podložky, linkový vstup kytary</source>
        <translation>Where the program listens to your playing: a microphone, a drum pad&apos;s pickup, a guitar&apos;s line input</translation>
    </message>
    <message>
        <source>&amp;Poslouchat</source>
        <translation>&amp;Listen</translation>
    </message>
    <message>
        <source>Zapne a vypne poslech; zvuk se jen rozebírá v paměti a nikam se neukládá</source>
        <translation>Turns listening on and off; the sound is analysed in memory only and never stored</translation>
    </message>
    <message>
        <source>&amp;Kalibrovat</source>
        <translation>&amp;Calibrate</translation>
    </message>
    <message>
        <source>Program zahraje několik kliknutí a změří, za jak dlouho je vstup uslyší</source>
        <translation>The program plays a few clicks and measures how long the input takes to hear them</translation>
    </message>
    <message>
        <source>P&amp;osun (ms):</source>
        <translation>&amp;Offset (ms):</translation>
    </message>
    <message>
        <source>Přičte se ke každé odchylce, když víte, že vstup zpožďuje jinak, než kalibrace změřila</source>
        <translation>Added to every offset, when you know the input is delayed otherwise than the calibration measured</translation>
    </message>
    <message>
        <source>Poslední zásah</source>
        <translation>Last hit</translation>
    </message>
    <message>
        <source>%1 (výstup, slyší i metronom)</source>
        <translation>%1 (an output: hears the metronome too)</translation>
    </message>
    <message>
        <source>Žádný vstup: zvukový server není spuštěn, nebo nemá žádný zdroj zvuku.</source>
        <translation>No input: the sound server is not running, or it has no source.</translation>
    </message>
    <message>
        <source>Vyberte vstup, který má program poslouchat.</source>
        <translation>Choose the input the program should listen to.</translation>
    </message>
    <message>
        <source>Vstup &quot;%1&quot; nelze otevřít.</source>
        <translation>The input &quot;%1&quot; cannot be opened.</translation>
    </message>
    <message>
        <source>Vstup se ztratil (odpojen, nebo skončil zvukový server); metronom hraje dál.</source>
        <translation>The input was lost (unplugged, or the sound server ended); the metronome goes on.</translation>
    </message>
    <message>
        <source>Kalibrace se nezdařila: vstup kliknutí neslyšel. Zesilte zvuk nebo přibližte mikrofon.</source>
        <translation>The calibration failed: the input did not hear the clicks. Turn the sound up or move the microphone closer.</translation>
    </message>
    <message>
        <source>Kalibrovat lze jen se zastaveným metronomem.</source>
        <translation>Calibrate with the metronome stopped.</translation>
    </message>
    <message>
        <source>Kalibrace potřebuje zvukový výstup, a ten teď není.</source>
        <translation>The calibration needs the sound output, and there is none now.</translation>
    </message>
    <message>
        <source>Kalibruji: program hraje kliknutí a poslouchá je…</source>
        <translation>Calibrating: the program plays clicks and listens for them…</translation>
    </message>
    <message>
        <source>Neposlouchá. Zvolte vstup a stiskněte &quot;Poslouchat&quot;; metronom pak spusťte.</source>
        <translation>Not listening. Choose an input and press &quot;Listen&quot;; then start the metronome.</translation>
    </message>
    <message>
        <source>Poslouchá. Kalibrováno: zvuk dojde na vstup za %1 ms.</source>
        <translation>Listening. Calibrated: the sound reaches the input after %1 ms.</translation>
    </message>
    <message>
        <source>Poslouchá, ale nekalibrováno: odchylky mohou být posunuté. Stiskněte &quot;Kalibrovat&quot;.</source>
        <translation>Listening, but not calibrated: the offsets may be shifted. Press &quot;Calibrate&quot;.</translation>
    </message>
    <message>
        <source>Kliknutí metronomu slyší a odečítá je.</source>
        <translation>It hears the metronome&apos;s clicks and takes them out.</translation>
    </message>
    <message>
        <source>Zatím žádné zásahy.</source>
        <translation>No hits yet.</translation>
    </message>
    <message>
        <source>spěcháte</source>
        <translation>rushing</translation>
    </message>
    <message>
        <source>táhnete</source>
        <translation>dragging</translation>
    </message>
    <message>
        <source>přesně</source>
        <translation>on time</translation>
    </message>
    <message>
        <source>Zásahů: %1   Průměr: %2 (%3)   Rozptyl: %4 ms</source>
        <translation>Hits: %1   Mean: %2 (%3)   Spread: %4 ms</translation>
    </message>
    <message>
        <source>Podle dob: %1</source>
        <translation>Per beat: %1</translation>
    </message>
    <message>
        <source>V tichých taktech jste hráli o %1 BPM %2 než metronom.</source>
        <translation>In the silent bars you played %1 BPM %2 than the metronome.</translation>
    </message>
    <message>
        <source>rychleji</source>
        <translation>faster</translation>
    </message>
    <message>
        <source>pomaleji</source>
        <translation>slower</translation>
    </message>
    <message>
        <source>Cvičení zůstává v paměti programu.</source>
        <translation>The session stays in the program&apos;s memory.</translation>
    </message>
</context>
<context>
    <name>TformConfig</name>
    <message>
        <source>Zvukové soubory (*.wav)</source>
        <translation>Sound files (*.wav)</translation>
    </message>
    <message>
        <source>Nastavení</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>&amp;Zvuk</source>
        <translation>&amp;Sound</translation>
    </message>
    <message>
        <source>Z&amp;obrazení</source>
        <translation>&amp;Display</translation>
    </message>
    <message>
        <source>Č&amp;asování</source>
        <translation>&amp;Timing</translation>
    </message>
    <message>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source> &amp;Zvuk </source>
        <translation> &amp;Sound </translation>
    </message>
    <message>
        <source>Výběr typu přehrávaného zvuku</source>
        <translation>Choice of the sound played</translation>
    </message>
    <message>
        <source>&amp;Bez zvuku</source>
        <translation>&amp;No sound</translation>
    </message>
    <message>
        <source>PC &amp;Generátor</source>
        <translation>PC &amp;Generator</translation>
    </message>
    <message>
        <source>&amp;Systémový gong</source>
        <translation>S&amp;ystem sound</translation>
    </message>
    <message>
        <source>&amp;Midi perkuse</source>
        <translation>&amp;Midi percussion</translation>
    </message>
    <message>
        <source>&amp;Vlastní</source>
        <translation>&amp;Own</translation>
    </message>
    <message>
        <source>&amp;Midi</source>
        <translation>&amp;Midi</translation>
    </message>
    <message>
        <source>Z&amp;ařízení:</source>
        <translation>D&amp;evice:</translation>
    </message>
    <message>
        <source>Výběr MIDI zařízení</source>
        <translation>Choice of the MIDI device</translation>
    </message>
    <message>
        <source>&amp;Normální zvuk:</source>
        <translation>&amp;Normal sound:</translation>
    </message>
    <message>
        <source>Zvuk pro normání dobu</source>
        <translation>Sound of a normal beat</translation>
    </message>
    <message>
        <source>&amp;Důraz zvuk:</source>
        <translation>&amp;Accent sound:</translation>
    </message>
    <message>
        <source>Zvuk pro důraznou dobu</source>
        <translation>Sound of an accented beat</translation>
    </message>
    <message>
        <source> &amp;Vlastní </source>
        <translation> &amp;Own </translation>
    </message>
    <message>
        <source>Procházet ...</source>
        <translation>Browse ...</translation>
    </message>
    <message>
        <source>Zvuk pro normální dobu</source>
        <translation>Sound of a normal beat</translation>
    </message>
    <message>
        <source>&amp;Test</source>
        <translation>&amp;Test</translation>
    </message>
    <message>
        <source>Test zvukového výstupu</source>
        <translation>Test of the sound output</translation>
    </message>
    <message>
        <source>Světla</source>
        <translation>Lights</translation>
    </message>
    <message>
        <source>Zobrazení blikajících světel, která představují doby v taktu</source>
        <translation>Flashing lights that stand for the beats of the bar</translation>
    </message>
    <message>
        <source>Čísla dob</source>
        <translation>Beat numbers</translation>
    </message>
    <message>
        <source>Číselné zobrazení doby</source>
        <translation>The beat shown as a number</translation>
    </message>
    <message>
        <source>Kruh</source>
        <translation>Circle</translation>
    </message>
    <message>
        <source>Podílové zobrazení taktu</source>
        <translation>The bar shown as a share of a circle</translation>
    </message>
    <message>
        <source>Barva doby ...</source>
        <translation>Beat colour ...</translation>
    </message>
    <message>
        <source>Nastavení barvy běžné doby</source>
        <translation>Colour of a normal beat</translation>
    </message>
    <message>
        <source>Barva důrazu ...</source>
        <translation>Accent colour ...</translation>
    </message>
    <message>
        <source>Nastavení barvy důrazné doby</source>
        <translation>Colour of an accented beat</translation>
    </message>
    <message>
        <source>Simulátor živého bubeníka :-))</source>
        <translation>Simulates a live drummer :-))</translation>
    </message>
    <message>
        <source>&amp;Posun zobrazení (ms):</source>
        <translation>Display &amp;offset (ms):</translation>
    </message>
    <message>
        <source>O kolik později se doba ukáže, než ji zvukový server ohlásí jako přehranou
(např. pro bezdrátová sluchátka, která zvuk zpožďují)</source>
        <translation>How much later a beat is shown than the sound server reports it played
(e.g. for wireless headphones, which delay the sound)</translation>
    </message>
    <message>
        <source>Doba od rozhodnutí o době do jejího zaznění, jak ji hlásí zvukový server</source>
        <translation>Time from deciding a beat to hearing it, as the sound server reports it</translation>
    </message>
    <message>
        <source>Zvukový server není připojen: doby řídí hodiny počítače, zvuk nehraje.</source>
        <translation>No sound server connected: the computer&apos;s clock drives the beats, no sound plays.</translation>
    </message>
    <message>
        <source>Zpoždění výstupu: %1 ms, předstih rozhodnutí: %2 ms, celkem %3 ms.</source>
        <translation>Output latency: %1 ms, decided ahead: %2 ms, in all %3 ms.</translation>
    </message>
    <message>
        <source>&amp;Cvičení</source>
        <translation>&amp;Practice</translation>
    </message>
    <message>
        <source>&amp;Hlasitost:</source>
        <translation>&amp;Volume:</translation>
    </message>
    <message>
        <source>Hlasitost dob v procentech, pro všechny druhy zvuku</source>
        <translation>Volume of the beats in percent, for every kind of sound</translation>
    </message>
    <message>
        <source>&amp;Předtakt:</source>
        <translation>C&amp;ount-in:</translation>
    </message>
    <message>
        <source>žádný</source>
        <translation>none</translation>
    </message>
    <message>
        <source>1 takt</source>
        <translation>1 bar</translation>
    </message>
    <message>
        <source>2 takty</source>
        <translation>2 bars</translation>
    </message>
    <message>
        <source>Kolik taktů se po spuštění odpočítá, než začne počítání taktů a času</source>
        <translation>How many bars are counted in after Start, before bars and time are counted</translation>
    </message>
    <message>
        <source>&amp;Vynechané takty:</source>
        <translation>Si&amp;lent bars:</translation>
    </message>
    <message>
        <source>vypnuto</source>
        <translation>off</translation>
    </message>
    <message>
        <source>pravidelně</source>
        <translation>by pattern</translation>
    </message>
    <message>
        <source>náhodně</source>
        <translation>by chance</translation>
    </message>
    <message>
        <source>Takty bez zvuku, aby bylo slyšet, zda hrajete dál v tempu; světla a počítadla běží</source>
        <translation>Bars without sound, to hear whether you keep the tempo on your own; lights and counters go on</translation>
    </message>
    <message>
        <source>H&amp;rát taktů:</source>
        <translation>Pla&amp;y bars:</translation>
    </message>
    <message>
        <source>Kolik taktů zní, než přijdou takty bez zvuku</source>
        <translation>How many bars sound before the silent ones</translation>
    </message>
    <message>
        <source>&amp;Ticho taktů:</source>
        <translation>Silen&amp;t bars:</translation>
    </message>
    <message>
        <source>Kolik taktů je bez zvuku, než se zase hraje</source>
        <translation>How many bars are silent before the beat sounds again</translation>
    </message>
    <message>
        <source>Jak často je takt náhodně bez zvuku</source>
        <translation>How often a bar is silent by chance</translation>
    </message>
    <message>
        <source>Pravděpodobno&amp;st:</source>
        <translation>Chan&amp;ce:</translation>
    </message>
    <message>
        <source>Zrych&amp;lování</source>
        <translation>Tempo t&amp;rainer</translation>
    </message>
    <message>
        <source>Tempo se po několika taktech samo změní o krok, až dojde k cílovému tempu</source>
        <translation>Every few bars the tempo changes by a step until it reaches the target tempo</translation>
    </message>
    <message>
        <source>C&amp;ílové tempo:</source>
        <translation>Tar&amp;get tempo:</translation>
    </message>
    <message>
        <source>Tempo, u kterého zrychlování skončí</source>
        <translation>The tempo where the trainer stops</translation>
    </message>
    <message>
        <source>&amp;Krok (BPM):</source>
        <translation>Step (BP&amp;M):</translation>
    </message>
    <message>
        <source>O kolik se tempo změní; záporný krok tempo zpomaluje</source>
        <translation>How much the tempo changes; a negative step slows it down</translation>
    </message>
    <message>
        <source>Každ&amp;ých taktů:</source>
        <translation>Every &amp;bars:</translation>
    </message>
    <message>
        <source>Po kolika taktech přijde další krok</source>
        <translation>After how many bars the next step comes</translation>
    </message>
    <message>
        <source>&amp;Dělení doby:</source>
        <translation>S&amp;ubdivision:</translation>
    </message>
    <message>
        <source>na 2</source>
        <translation>in 2</translation>
    </message>
    <message>
        <source>na 3</source>
        <translation>in 3</translation>
    </message>
    <message>
        <source>na 4</source>
        <translation>in 4</translation>
    </message>
    <message>
        <source>Síla &amp;mezidob:</source>
        <translation>Subdivision l&amp;evel:</translation>
    </message>
    <message>
        <source>Hlasitost mezidob v procentech hlasitosti dob</source>
        <translation>The subdivisions&apos; volume in percent of the beats&apos; volume</translation>
    </message>
    <message>
        <source>&amp;Nástroj mezidob:</source>
        <translation>&amp;Instrument:</translation>
    </message>
    <message>
        <source>Bicí nástroj mezidob pro zvuk MIDI</source>
        <translation>The percussion instrument of the subdivisions for MIDI sound</translation>
    </message>
    <message>
        <source>Slabší údery mezi dobami, např. osminy nebo trioly</source>
        <translation>Softer clicks between the beats, such as eighths or triplets</translation>
    </message>
    <message>
        <source>vždy</source>
        <translation>always</translation>
    </message>
    <message>
        <source>Krok jen po přesné hře</source>
        <translation>Step only after accurate playing</translation>
    </message>
    <message>
        <source>Krok přijde jen po taktech, ve kterých byl každý zásah do ± tolika ms (měří &quot;Přesnost hry&quot;, Ctrl+T); &quot;vždy&quot;: krok přijde v každém případě</source>
        <translation>A step comes only after bars in which every hit was within ± this many ms (measured by the &quot;Timing coach&quot;, Ctrl+T); &quot;always&quot;: the step comes in any case</translation>
    </message>
</context>
<context>
    <name>TformMain</name>
    <message>
        <source>&amp;Start</source>
        <translation>&amp;Start</translation>
    </message>
    <message>
        <source>&amp;Stop</source>
        <translation>&amp;Stop</translation>
    </message>
    <message>
        <source>Název:</source>
        <translation>Name:</translation>
    </message>
    <message>
        <source>Název profilu</source>
        <translation>Profile name</translation>
    </message>
    <message>
        <source>Rytmus:</source>
        <translation>Rhythm:</translation>
    </message>
    <message>
        <source>Nastavení rytmu</source>
        <translation>Beats per bar</translation>
    </message>
    <message>
        <source>Tempo:</source>
        <translation>Tempo:</translation>
    </message>
    <message>
        <source>Nastavení tempa v úderech za minutu (BMP)</source>
        <translation>Tempo in beats per minute (BPM)</translation>
    </message>
    <message>
        <source>Potichu:</source>
        <translation>Mute:</translation>
    </message>
    <message>
        <source>Vypnout zvuk</source>
        <translation>Sound off</translation>
    </message>
    <message>
        <source>Důrazy</source>
        <translation>Accents</translation>
    </message>
    <message>
        <source>&amp;Ulož</source>
        <translation>Sa&amp;ve</translation>
    </message>
    <message>
        <source>Uloží nastavené tempo pod zadaným názvem</source>
        <translation>Saves the tempo under the name given</translation>
    </message>
    <message>
        <source>&amp;Nastav</source>
        <translation>S&amp;etup</translation>
    </message>
    <message>
        <source>Nastavení zvuku a vizualizace</source>
        <translation>Sound and display settings</translation>
    </message>
    <message>
        <source>Nastavení důrazů kliknutím na patřičnou značku</source>
        <translation>Click a light to set its accent</translation>
    </message>
    <message>
        <source>Spustí / vypne tiktakon</source>
        <translation>Starts / stops tiktakon</translation>
    </message>
    <message>
        <source>Tiktakon 1.0, 2004
%1</source>
        <translation>Tiktakon 1.0, 2004
%1</translation>
    </message>
    <message>
        <source> Takt:  0</source>
        <translation> Bar:  0</translation>
    </message>
    <message>
        <source> Čas:  00:00:00</source>
        <translation> Time:  00:00:00</translation>
    </message>
    <message>
        <source>Tiktakon 1.0 © 2004  %1</source>
        <translation>Tiktakon 1.0 © 2004  %1</translation>
    </message>
    <message>
        <source>Rytmus</source>
        <translation>Rhythm</translation>
    </message>
    <message>
        <source>Tempo</source>
        <translation>Tempo</translation>
    </message>
    <message>
        <source>Posuvník tempa</source>
        <translation>Tempo slider</translation>
    </message>
    <message>
        <source>Tempo v úderech za minutu</source>
        <translation>Tempo in beats per minute</translation>
    </message>
    <message>
        <source>Ulož</source>
        <translation>Save</translation>
    </message>
    <message>
        <source>Nastavení</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Profily</source>
        <translation>Profiles</translation>
    </message>
    <message>
        <source>Světla dob</source>
        <translation>Beat lights</translation>
    </message>
    <message>
        <source>Důraz doby přepne Ctrl+1 až Ctrl+8</source>
        <translation>Ctrl+1 to Ctrl+8 toggle a beat&apos;s accent</translation>
    </message>
    <message>
        <source>Doba %1</source>
        <translation>Beat %1</translation>
    </message>
    <message>
        <source>Běžná doba</source>
        <translation>Normal beat</translation>
    </message>
    <message>
        <source>Důrazná doba</source>
        <translation>Accented beat</translation>
    </message>
    <message>
        <source>Číslo doby</source>
        <translation>Beat number</translation>
    </message>
    <message>
        <source>Číslo doby, která právě zní</source>
        <translation>The number of the beat sounding now</translation>
    </message>
    <message>
        <source>Kruh taktu</source>
        <translation>Bar circle</translation>
    </message>
    <message>
        <source>Jaká část taktu uplynula</source>
        <translation>How much of the bar has passed</translation>
    </message>
    <message>
        <source>Stavový řádek</source>
        <translation>Status bar</translation>
    </message>
    <message>
        <source>Kliknutím nebo klávesou T se ťuká tempo</source>
        <translation>Click here or press T to tap the tempo</translation>
    </message>
</context>
</TS>
