#include "ProfileList.h"

#include "Error.h"
#include "ProfileHost.h"
#include "TempoName.h"

#include <QAction>
#include <QCollator>
#include <QFont>
#include <QHeaderView>
#include <QLocale>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>

#include <algorithm>
#include <climits>
#include <optional>

namespace {

constexpr int ColumnCount = 5;
constexpr int NumberColumn = 0;
constexpr int NameColumn = 1;
constexpr int RhythmColumn = 2;
constexpr int TempoColumn = 3;
constexpr int TempoNameColumn = 4;
constexpr int RowHeight = 21;

// The leading integer of a cell ("12", "3 / 4"), if it has one.
std::optional<long long> LeadingNumber(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i] == u' ') {
        ++i;
    }
    const qsizetype start = i;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) {
        ++i;
    }
    const qsizetype digits = i;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9' && i - digits < 18) {
        ++i;
    }
    if (i == digits) {
        return std::nullopt;
    }
    return text.mid(start, i - start).toLongLong();
}

// A cell that sorts numbers as numbers and words as the user reads them.
class GridItem final : public QTableWidgetItem
{
public:
    explicit GridItem(const QString& text) : QTableWidgetItem(text) {}

    void setData(int role, const QVariant& value) override
    {
        if (role == Qt::DisplayRole || role == Qt::EditRole) {
            FKey.reset();
        }
        QTableWidgetItem::setData(role, value);
    }

    // Keys computed once per text: comparing them is a byte compare. The column comes with them
    // because an item's column() searches the whole table once a sort has moved its rows.
    void PrepareKey(const QCollator& collator, int column)
    {
        if (!FKey) {
            const QString cell = text();
            FKey.emplace(Key{LeadingNumber(cell), collator.sortKey(cell.toCaseFolded()), cell, column});
        }
    }

    static void ForgetKey(QTableWidgetItem* item)
    {
        if (auto* cell = dynamic_cast<GridItem*>(item)) {
            cell->FKey.reset();
        }
    }

    bool operator<(const QTableWidgetItem& other) const override
    {
        const auto* that = dynamic_cast<const GridItem*>(&other);
        if (FKey && that != nullptr && that->FKey) {
            return Less(*FKey, *that->FKey);
        }
        const QCollator collator;
        GridItem mine(text());
        GridItem theirs(other.text());
        mine.PrepareKey(collator, column());
        theirs.PrepareKey(collator, column());
        return Less(*mine.FKey, *theirs.FKey);
    }

    QTableWidgetItem* clone() const override { return new GridItem(text()); }

private:
    struct Key
    {
        std::optional<long long> number;
        QCollatorSortKey folded;
        QString text;
        int column;
    };

    static bool Less(const Key& mine, const Key& theirs)
    {
        const int sortColumn = mine.column;
        if (sortColumn == NumberColumn || sortColumn == RhythmColumn || sortColumn == TempoColumn) {
            if (mine.number && theirs.number && *mine.number != *theirs.number) {
                return *mine.number < *theirs.number;
            }
            if (mine.number.has_value() != theirs.number.has_value()) {
                return !mine.number.has_value(); // empty and wordy cells before numbers
            }
        }
        const int folded = mine.folded.compare(theirs.folded);
        if (folded != 0) {
            return folded < 0;
        }
        return mine.text < theirs.text;
    }

    std::optional<Key> FKey;
};

// Leading and trailing blanks and control characters do not make a name.
bool IsBlankName(const QString& text)
{
    return std::all_of(text.cbegin(), text.cend(), [](QChar c) { return c.unicode() <= u' '; });
}

// The name as the file keeps it: 25 characters, through Windows-1250.
QString StoredName(const QString& text)
{
    TProfileRecord record;
    record.SetName(text);
    return record.Name();
}

} // namespace

TProfileGrid::TProfileGrid(QWidget* parent) : QTableWidget(parent)
{
    setColumnCount(ColumnCount);
    setHorizontalHeaderLabels({QStringLiteral(" "), tr("Název"), tr("Rytmus"), tr("BMP"), tr("Tempo")});
    setFont(QFont(QStringLiteral("DejaVu Sans"), 8));
    setToolTip(tr("Seznam uložených profilů, možno přidávat, mazat, řadit"));
    setStyleSheet(QStringLiteral("QTableView { gridline-color: silver; }"));
    setShowGrid(true);
    setWordWrap(false);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false); // sorting follows our own rules, see SortByHeader
    // Tab leaves the list for the next control instead of walking its cells: rows are chosen
    // with the arrow keys, and the rest of the window must stay reachable by keyboard.
    setTabKeyNavigation(false);

    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(RowHeight);
    verticalHeader()->setDefaultSectionSize(RowHeight);

    QHeaderView* header = horizontalHeader();
    header->setFixedHeight(RowHeight);
    header->setMinimumSectionSize(8);
    header->setStretchLastSection(false);
    header->setHighlightSections(false);
    header->setSectionsClickable(true);
    header->setSectionResizeMode(QHeaderView::Interactive);
    header->setSectionResizeMode(NumberColumn, QHeaderView::Fixed);
    const int widths[ColumnCount] = {19, 82, 53, 52, 48};
    for (int column = 0; column < ColumnCount; ++column) {
        setColumnWidth(column, widths[column]);
    }
    connect(header, &QHeaderView::sectionClicked, this, [this](int column) {
        if (FHeavyWork) {
            FHeavyWork([this, column] { SortByHeader(column); });
        } else {
            SortByHeader(column);
        }
    });

    // With whole-row selection the current column stays the name column.
    connect(this, &QTableWidget::currentCellChanged, this, [this](int row, int column, int, int) {
        if (row >= 0 && column != NameColumn) {
            setCurrentCell(row, NameColumn);
        }
    });

    SetDataRowCount(1);
}

QPoint TProfileGrid::FindInGrid(const QString& text, int options)
{
    const QString wanted = text.toUpper();
    int firstColumn = NameColumn;
    int lastColumn = ColumnCount - 1;
    int firstRow = 1;
    if (options & CurrentColumnOnly) {
        firstColumn = lastColumn = NameColumn;
    } else if (options & IncludeFixedCells) {
        firstColumn = NumberColumn;
        firstRow = 0;
    }
    for (int column = firstColumn; column <= lastColumn; ++column) {
        // The search starts from cell (0, 0), so its first column is scanned below the header.
        const int fromRow = column == NumberColumn ? 1 : firstRow;
        for (int gridRow = fromRow; gridRow < GridRowCount(); ++gridRow) {
            if (Cell(column, gridRow).toUpper().contains(wanted)) {
                if ((options & MoveToFoundCell) && gridRow > 0) {
                    SetCurrentGridRow(gridRow);
                }
                return QPoint(column, gridRow);
            }
        }
    }
    return QPoint(-1, -1);
}

int TProfileGrid::GridRowCount() const
{
    return rowCount() + 1;
}

QString TProfileGrid::Cell(int column, int gridRow) const
{
    if (column < 0 || column >= ColumnCount) {
        return QString();
    }
    if (gridRow == 0) {
        const QTableWidgetItem* headerItem = horizontalHeaderItem(column);
        return headerItem ? headerItem->text() : QString();
    }
    const QTableWidgetItem* cell = item(gridRow - 1, column);
    return cell ? cell->text() : QString();
}

void TProfileGrid::SetCell(int column, int gridRow, const QString& text)
{
    if (column < 0 || column >= ColumnCount || gridRow < 0 || gridRow > rowCount()) {
        return;
    }
    if (gridRow == 0) {
        setHorizontalHeaderItem(column, new QTableWidgetItem(text));
        return;
    }
    if (QTableWidgetItem* cell = item(gridRow - 1, column)) {
        cell->setText(text);
    } else {
        setItem(gridRow - 1, column, new GridItem(text));
    }
}

int TProfileGrid::CurrentGridRow() const
{
    return currentRow() + 1;
}

void TProfileGrid::SetCurrentGridRow(int gridRow)
{
    if (gridRow >= 1 && gridRow <= rowCount()) {
        setCurrentCell(gridRow - 1, NameColumn);
    }
}

void TProfileGrid::SetDataRowCount(int count)
{
    const int oldCount = rowCount();
    const int newCount = std::max(count, 1);
    setRowCount(newCount);
    for (int row = oldCount; row < newCount; ++row) {
        for (int column = 0; column < ColumnCount; ++column) {
            auto* cell = new GridItem(QString());
            if (column == NumberColumn) {
                cell->setTextAlignment(Qt::AlignCenter);
            }
            setItem(row, column, cell);
        }
    }
    if (currentRow() < 0) {
        setCurrentCell(std::min(newCount, std::max(oldCount, 1)) - 1, NameColumn);
    }
}

void TProfileGrid::SortByHeader(int column)
{
    if (column >= NameColumn && column <= TempoNameColumn && rowCount() >= 2) {
        FSortOrder = column == FSortColumn && FSortOrder == Qt::AscendingOrder ? Qt::DescendingOrder
                                                                               : Qt::AscendingOrder;
        FSortColumn = column;
        // The user's language may have changed since the keys were made.
        const QString language = QLocale().bcp47Name();
        if (language != FKeyLanguage) {
            FKeyLanguage = language;
            for (int row = 0; row < rowCount(); ++row) {
                for (int c = 0; c < columnCount(); ++c) {
                    GridItem::ForgetKey(item(row, c));
                }
            }
        }
        const QCollator collator;
        for (int row = 0; row < rowCount(); ++row) {
            if (auto* cell = dynamic_cast<GridItem*>(item(row, column))) {
                cell->PrepareKey(collator, column);
            }
        }
        sortItems(column, FSortOrder);
        if (currentRow() >= 0) {
            scrollToItem(currentItem());
        }
    }
    // The header flips its indicator on every click by itself; show our own state instead.
    QHeaderView* header = horizontalHeader();
    if (FSortColumn >= 0) {
        header->setSortIndicator(FSortColumn, FSortOrder);
        header->setSortIndicatorShown(true);
    } else {
        header->setSortIndicatorShown(false);
        header->setSortIndicator(-1, Qt::AscendingOrder);
    }
}

void TProfileGrid::ClearSortOrder()
{
    FSortColumn = -1;
    FSortOrder = Qt::AscendingOrder;
    horizontalHeader()->setSortIndicatorShown(false);
    horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
}

void TProfileGrid::keyReleaseEvent(QKeyEvent* event)
{
    // A held key repeats its press only; the command belongs to the one real release.
    if (!event->isAutoRepeat()) {
        emit KeyReleased(event->key(), event->modifiers());
    }
    QTableWidget::keyReleaseEvent(event);
}

void TProfileGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    QTableWidget::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton) {
        emit DoubleClicked();
    }
}

ProfileList::ProfileList(ProfileHost& host, const QString& filePath, QWidget* gridParent)
    : FHost(host), FFile(filePath), FGrid(new TProfileGrid(gridParent)), FPopup(new QMenu(FGrid)),
      FOwnsGrid(gridParent == nullptr)
{
    FGuard = [](const std::function<void()>& command) { command(); };
    FGrid->setObjectName(QStringLiteral("Grid"));

    FPopup->setObjectName(QStringLiteral("PopupMenu1"));
    QAction* select = FPopup->addAction(tr("Použít"));
    select->setObjectName(QStringLiteral("Pop_Select"));
    QFont bold = select->font();
    bold.setBold(true);
    select->setFont(bold);
    FPopup->setDefaultAction(select);
    QAction* separator = FPopup->addSeparator();
    separator->setObjectName(QStringLiteral("N1"));
    QAction* rename = FPopup->addAction(tr("Přejmenovat"));
    rename->setObjectName(QStringLiteral("Pop_Rename"));
    rename->setVisible(false);
    QAction* remove = FPopup->addAction(tr("Odstranit"));
    remove->setObjectName(QStringLiteral("Pop_Delete"));

    connect(select, &QAction::triggered, this, [this] { Run([this] { Pop_SelectClick(); }); });
    connect(rename, &QAction::triggered, this, [this] { Run([this] { Pop_RenameClick(); }); });
    connect(remove, &QAction::triggered, this, [this] { Run([this] { Pop_DeleteClick(); }); });

    FGrid->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(FGrid, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { FPopup->popup(FGrid->viewport()->mapToGlobal(position)); });
    connect(FGrid, &TProfileGrid::DoubleClicked, this, [this] { Run([this] { Pop_SelectClick(); }); });
    connect(FGrid, &TProfileGrid::KeyReleased, this, [this](int key, Qt::KeyboardModifiers modifiers) {
        Run([this, key, modifiers] { GridKeyUp(key, modifiers); });
    });
}

ProfileList::~ProfileList()
{
    if (FOwnsGrid) {
        delete FGrid;
    }
}

void ProfileList::Run(const std::function<void()>& command)
{
    if (FGuard) {
        FGuard(command);
    } else {
        command();
    }
}

void ProfileList::LoadProfileList()
{
    // The rebuilt list shows file order again.
    FGrid->ClearSortOrder();
    const int count = FFile.LoadAll(FBuffer, [this](int k) {
        if (FGrid->rowCount() < k + 1) {
            FGrid->SetDataRowCount(k + 1);
        }
        FillProfileRow(k + 1);
    });
    FGrid->SetDataRowCount(count);
    if (count == 0) {
        for (int column = 0; column < ColumnCount; ++column) {
            FGrid->SetCell(column, 1, QString());
        }
    }
}

namespace {

QByteArray IdBytes(const TProfileRecord::PracticeId& id)
{
    return QByteArray(reinterpret_cast<const char*>(id.data()), static_cast<qsizetype>(id.size()));
}

} // namespace

void ProfileList::ApplyProfile(int index)
{
    // Read first: a failed read changes no control and not the current profile.
    if (!FFile.ReadAt(index, FBuffer)) {
        return;
    }
    const QString name = FBuffer.Name();
    // The controls would bring stored values into range themselves; do it here too so that
    // nothing downstream ever sees a rhythm or tempo it cannot play.
    const int rhythm = std::clamp<std::int32_t>(FBuffer.Rhythm(), 1, 8);
    const int tempo = std::clamp<std::int32_t>(FBuffer.Tempo(), 40, 208);
    FHost.SetNameText(name);
    FHost.SetProfileCaption(name);
    FHost.SetRhythmValue(rhythm);
    FHost.SetSliderTempo(tempo);
    FHost.SetSpinTempo(tempo);
    FHost.SetMuteChecked(FBuffer.Silent() != 0);
    FHost.SetAccentsChecked(FBuffer.AccentsOn() != 0);
    FHost.SetAccentFlags(FBuffer.AccentFlags());
    // Bytes that are not this record's own practice block give the page's defaults.
    const std::optional<TProfileRecord::PracticeBlock> practice = FBuffer.Practice();
    FHost.SetPractice(practice ? practice->FSettings : PracticeSettings{});
    FHost.SetPracticeId(practice ? IdBytes(practice->FId) : QByteArray());
    FHost.SetCurrentProfileIndex(index);
}

void ProfileList::FillProfileRow(int gridRow)
{
    FillRow(gridRow, gridRow);
}

void ProfileList::FillRow(int gridRow, int number)
{
    const std::int32_t tempo = FBuffer.Tempo();
    FGrid->SetCell(NumberColumn, gridRow, QString::number(number));
    FGrid->SetCell(NameColumn, gridRow, FBuffer.Name());
    FGrid->SetCell(RhythmColumn, gridRow, QString::number(FBuffer.Rhythm()) + QStringLiteral(" / 4"));
    FGrid->SetCell(TempoColumn, gridRow, QString::number(tempo));
    FGrid->SetCell(TempoNameColumn, gridRow, TempoName(tempo));
}

int ProfileList::CellNumber(int gridRow) const
{
    const QString text = FGrid->Cell(NumberColumn, gridRow);
    bool ok = false;
    const int number = text.toInt(&ok);
    if (!ok) {
        throw TiktakonError(QStringLiteral("'%1' is not a valid integer value").arg(text).toStdString());
    }
    return number;
}

void ProfileList::But_SaveClick()
{
    const QString text = FHost.NameText();
    if (IsBlankName(text)) {
        FHost.DefaultBeep();
        FHost.SetNameWarning();
        return;
    }

    // The profile exists when a stored name is this very name, letter case aside. Of several,
    // the first in the file is overwritten, whatever order the list shows.
    const QString stored = StoredName(text);
    int foundRow = -1;
    int foundNumber = INT_MAX;
    for (int gridRow = 1; gridRow < FGrid->GridRowCount(); ++gridRow) {
        bool ok = false;
        const int number = FGrid->Cell(NumberColumn, gridRow).toInt(&ok);
        if (ok && number < foundNumber &&
            StoredName(FGrid->Cell(NameColumn, gridRow)).compare(stored, Qt::CaseInsensitive) == 0) {
            foundRow = gridRow;
            foundNumber = number;
        }
    }
    if (foundRow > 0) {
        FGrid->SetCurrentGridRow(foundRow);
    }

    FFile.OpenOrCreate();
    // The record overwritten keeps its practice id, so its history stays with it.
    std::optional<TProfileRecord::PracticeBlock> kept;
    if (foundRow > 0) {
        TProfileRecord old;
        if (FFile.ReadAt(foundNumber - 1, old)) {
            kept = old.Practice();
        }
        FBuffer.SetNumber(foundNumber);
    }
    FBuffer.SetName(text);
    FBuffer.SetRhythm(FHost.RhythmValue());
    FBuffer.SetTempo(FHost.SliderTempo());
    FBuffer.SetSilent(FHost.MuteChecked() ? 1 : 0);
    FBuffer.SetAccentsOn(FHost.AccentsChecked() ? 1 : 0);
    FBuffer.SetAccentFlags(FHost.AccentFlags());
    // A profile with the page's defaults and no history is written as it always was.
    const PracticeSettings practice = FHost.Practice().Clamped();
    if (kept || practice != PracticeSettings{}) {
        FBuffer.SetPractice({practice, kept ? kept->FId : TProfileRecord::NewPracticeId()});
    }

    if (foundRow > 0) {
        FFile.Overwrite(foundNumber - 1, FBuffer);
        FillRow(foundRow, foundNumber);
    } else {
        const int position = FFile.Append(FBuffer);
        // Only a record that was really written becomes the current profile.
        FHost.SetCurrentProfileIndex(position);
        FGrid->SetDataRowCount(position + 1);
        FillProfileRow(position + 1);
        FGrid->SetCurrentGridRow(position + 1);
    }
    const std::optional<TProfileRecord::PracticeBlock> written = FBuffer.Practice();
    FHost.SetPracticeId(written ? IdBytes(written->FId) : QByteArray());
    FHost.SetProfileCaption(FBuffer.Name());
}

void ProfileList::Pop_SelectClick()
{
    const int gridRow = FGrid->CurrentGridRow();
    if (gridRow < 1 || FGrid->Cell(NameColumn, gridRow).isEmpty()) {
        return;
    }
    ApplyProfile(CellNumber(gridRow) - 1);
}

void ProfileList::DeleteProfileRecord(int index)
{
    FFile.Delete(index, FBuffer);
    const int current = FHost.CurrentProfileIndex();
    if (index == current) {
        FHost.SetCurrentProfileIndex(-1);
    } else if (index < current) {
        // The current profile moved one place down with the records after the deleted one.
        FHost.SetCurrentProfileIndex(current - 1);
    }
}

void ProfileList::Pop_DeleteClick()
{
    DeleteProfileRecord(CellNumber(FGrid->CurrentGridRow()) - 1);
    LoadProfileList();
}

void ProfileList::Pop_RenameClick()
{
    const int gridRow = FGrid->CurrentGridRow();
    const QString text = FHost.InputBox(QStringLiteral("Tiktakon"), tr("Zadej nový název:"),
                                        FGrid->Cell(NameColumn, gridRow));
    FGrid->SetCell(NameColumn, gridRow, text);
    const int number = CellNumber(gridRow);
    FFile.Rename(number - 1, FGrid->Cell(NameColumn, gridRow), FBuffer);
}

void ProfileList::KeypadDigit(int digit)
{
    if (digit < 0 || digit > 9) {
        return;
    }
    const QString number = QString::number(digit);
    for (int gridRow = 1; gridRow < FGrid->GridRowCount(); ++gridRow) {
        if (FGrid->Cell(NumberColumn, gridRow) == number) {
            FGrid->SetCurrentGridRow(gridRow);
            ApplyProfile(digit - 1);
            return;
        }
    }
}

void ProfileList::GridKeyUp(int key, Qt::KeyboardModifiers modifiers)
{
    Q_UNUSED(modifiers);
    if (key == Qt::Key_Delete) {
        Pop_DeleteClick();
    } else if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        Pop_SelectClick();
    }
}
