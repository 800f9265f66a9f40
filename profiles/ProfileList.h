#pragma once

#include "ProfileFile.h"
#include "ProfileRecord.h"

#include <QObject>
#include <QTableWidget>

#include <functional>

class ProfileHost;
class QMenu;

// The profile list grid: number, name, rhythm, tempo and tempo name of every stored profile.
class TProfileGrid final : public QTableWidget
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TProfileGrid)

public:
    explicit TProfileGrid(QWidget* parent);
    enum FindOption { CurrentColumnOnly = 1, IncludeFixedCells = 2, MoveToFoundCell = 4 };
    // Column and grid row (row 0 is the header) of the first cell holding `text` without regard
    // to case, or {-1, -1}.
    QPoint FindInGrid(const QString& text, int options);
    // Grid rows count the header row as row 0, as the list's commands do.
    int GridRowCount() const;
    QString Cell(int column, int gridRow) const;
    void SetCell(int column, int gridRow, const QString& text);
    int CurrentGridRow() const;
    void SetCurrentGridRow(int gridRow);
    // Data rows (at least one, blank when nothing is stored).
    void SetDataRowCount(int count);
    // Sorts the data rows by `column` (1..4) as a header click does: ascending first, reversed
    // on the next click of the same column; nothing with fewer than two data rows.
    void SortByHeader(int column);
    // Forgets the sort order, as after a rebuild of the list in file order.
    void ClearSortOrder();
    int SortColumn() const { return FSortColumn; }
    Qt::SortOrder SortOrder() const { return FSortOrder; }

    // Runs the work of a header click (sorting a long list takes milliseconds): by default at
    // once; the main window lets a beat about to be shown go first.
    std::function<void(std::function<void()>)> FHeavyWork;

signals:
    void KeyReleased(int key, Qt::KeyboardModifiers modifiers);
    // A double click anywhere in the cells' area.
    void DoubleClicked();

protected:
    void keyReleaseEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    int FSortColumn = -1;
    Qt::SortOrder FSortOrder = Qt::AscendingOrder;
    QString FKeyLanguage; // the language the cells' sort keys were made for
};

// The profile commands: save, apply, delete, rename, the keypad pick, and the list they keep.
// Runs on the main thread; errors leave as TiktakonError for the caller's error box.
class ProfileList final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ProfileList)

public:
    ProfileList(ProfileHost& host, const QString& filePath, QWidget* gridParent);
    ~ProfileList() override;
    TProfileGrid* Grid() const { return FGrid; }
    QMenu* PopupMenu1() const { return FPopup; }
    TProfileRecord& Buffer() { return FBuffer; }
    ProfileFile& File() { return FFile; }

    void LoadProfileList();
    void ApplyProfile(int index);
    void FillProfileRow(int gridRow);
    void But_SaveClick();
    void Pop_SelectClick();
    void Pop_DeleteClick();
    void Pop_RenameClick();
    // Keypad digit d (from the application's key handler, on the key press): applies the profile
    // numbered d, wherever its row stands, and selects that row; nothing when there is none.
    void KeypadDigit(int digit);
    // A key released in the grid: Delete deletes, Enter applies. Keypad digits were handled on the press.
    void GridKeyUp(int key, Qt::KeyboardModifiers modifiers);

    // Wraps each user command so that its error reaches the error box; set by the main window.
    std::function<void(const std::function<void()>&)> FGuard;

private:
    void Run(const std::function<void()>& command);
    void FillRow(int gridRow, int number);
    int CellNumber(int gridRow) const;
    void DeleteProfileRecord(int index);

    ProfileHost& FHost;
    ProfileFile FFile;
    TProfileRecord FBuffer;
    TProfileGrid* FGrid;
    QMenu* FPopup;
    bool FOwnsGrid;
};
