#pragma once
// A two-column data grid ("name", "value") over a TPropertyTable.
//
// The table is the one source of truth: the model reads the engine's rows
// whenever it is asked and is refreshed by the table's OnChange (which the
// table holds back between DisableControls and EnableControls). The grid
// keeps its current row in step with the table's current row both ways,
// offers an in-place editor in the value cell of the current row (a pick
// list, a plain line edit, or an ellipsis button with or without typing,
// decided per row by the caller), writes what is typed into the table and
// posts it on Enter or when the row is left. The decisions are plain
// methods; the widget only translates mouse and key events into them.

#include "core/proptable.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QPointer>
#include <QTableView>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace kestrune {

// The editing aid the value cell of a row offers.
struct TRowEditor {
    enum class Style { PickList, Ellipsis, Plain, None };
    Style style = Style::Plain;
    std::vector<std::string> choices; // PickList: the drop-down's entries
    bool typing = true;               // Ellipsis: the text may also be typed in place
};

// How a cell is drawn (column 0 name, 1 value).
struct TCellLook {
    std::string text;
    bool heading = false; // a raised bar (the value cell of a heading row)
    bool bold = false;
    int indent = 0;       // pixels before the text
};

// A heading row's name begins with "+".
bool IsHeadingRow(const TPropertyRow& row);
// A value as a cell shows it: line breaks removed, at most 50 characters.
std::string ValueDisplayText(const std::string& value);
// The text an in-place editor holds (a drop-down or a line box).
QString EditorText(QWidget* editor);
TCellLook CellLook(const TPropertyRow& row, int column);

// The rows of a table that its record filter lets through, in table order;
// while a row is being inserted, that row is shown where it will be posted.
class TDataGridModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit TDataGridModel(QObject* parent = nullptr) : QAbstractTableModel(parent) {}

    void SetTable(TPropertyTable* table);
    TPropertyTable* Table() const { return table_; }
    // Reads which rows are visible again. A changed set of rows resets the
    // model (true); otherwise every cell is reported changed (false).
    bool Refresh();

    // The row at a grid row: the edit buffer for the row being edited or
    // inserted; none outside the rows.
    const TPropertyRow* RowAt(int row) const;
    // The table index of a grid row; -1 for the row being inserted and outside.
    int TableIndex(int row) const;
    // The grid row of the table's current row, -1 when there is none.
    int CurrentRow() const;

    // Whether the value cell of a grid row may be typed into (set by the grid).
    std::function<bool(int row)> ValueEditable;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    TPropertyTable* table_ = nullptr;
    std::vector<int> rows_;    // table index per grid row, -1 for the inserted row
    std::vector<int> gridRow_; // grid row per table index, -1 when hidden
};

class TDataGridDelegate;

class TDataGrid : public QTableView {
    Q_OBJECT
public:
    static constexpr int MaxDropDownRows = 20;
    static constexpr int GroupIndent = 12;
    static constexpr int DisplayChars = 50;
    // The name column's limits unless the owner sets others.
    static constexpr int DefaultNameMin = 70;
    static constexpr int DefaultNameMax = 100;

    explicit TDataGrid(QWidget* parent = nullptr);
    ~TDataGrid() override;

    // Shows a table (none detaches). The grid takes the table's OnChange
    // while attached and passes every notification on to the handler the
    // table had before, which detaching gives back. A grid destroyed while
    // attached leaves the table alone; the handler it left only passes on.
    void SetTable(TPropertyTable* table);
    TPropertyTable* Table() const { return table_; }
    TDataGridModel* Model() const { return model_; }

    // ---- the caller's hooks ----
    // The editing aid of a row (asked when the current row moves or is
    // stored). Without it every row is a plain edit. Heading rows and a
    // read-only grid never edit.
    std::function<TRowEditor(const TPropertyRow&)> RowEditor;
    std::function<void()> OnEllipsis;
    // After the current row moved or the table's content changed;
    // CurrentRowMoved() tells which.
    std::function<void()> OnRowChange;
    // A click on a heading row, with the row's name (with its "+").
    std::function<void(const std::string&)> OnHeadingClick;
    std::function<void()> OnDoubleClick;
    // Keys the grid does not use.
    std::function<void(int key, Qt::KeyboardModifiers modifiers)> OnKey;

    // ---- rows ----
    int RowCount() const { return model_->rowCount(); }
    const TPropertyRow* RowAt(int row) const { return model_->RowAt(row); }
    int CurrentRow() const { return model_->CurrentRow(); }
    // Moves the table to a grid row, posting the pending edit first; false
    // (and no move) when the post is refused or the row does not exist.
    bool SetCurrentRow(int row);
    bool CurrentRowMoved() const { return rowMoved_; }
    // What the value cell of a grid row shows.
    std::string DisplayValue(int row) const;

    // ---- editing ----
    TRowEditor EditorFor(int row) const;
    // The current row's aid, as decided when the row was last entered or stored.
    const TRowEditor& CurrentEditor() const { return currentEditor_; }
    // Asks RowEditor again for the current row (after the caller changed its rules).
    void RefreshEditor();
    // Puts text into the current row's value, starting an edit; false when
    // the row cannot be typed into.
    bool StartEdit(const std::string& text);
    // Posts the pending edit. When the table refuses, the row stays in
    // editing with the typed value (and its in-place editor open).
    bool CommitEdit();
    // Drops the pending edit and closes the in-place editor.
    void CancelEdit();
    // The ellipsis of the current row: the typed text reaches the table
    // (unposted), then OnEllipsis and ellipsisClicked. False when the row has none.
    bool ClickEllipsis();
    // A click on a row's cell (a heading row tells OnHeadingClick).
    void CellClicked(int row);

    // Opens the in-place editor of the current row's value cell, if it has one.
    QWidget* OpenEditor();
    QWidget* EditorWidget() const { return editor_; }
    // Where the current row's ellipsis or drop-down button is drawn
    // (viewport coordinates); empty for other rows and rows without one.
    QRect ButtonRect(int row) const;

    // ---- the name column ----
    // Dragging the edge between the two columns sizes the name column within
    // these limits (DefaultNameMin to DefaultNameMax unless set).
    void SetNameColumnRange(int minimum, int maximum);
    int NameColumnMin() const { return nameMin_; }
    int NameColumnMax() const { return nameMax_; }
    // What a drag does: the width, held within the limits.
    void ResizeNameColumn(int width);
    // Whether a viewport point lies on the edge where a drag begins.
    bool OnNameColumnEdge(QPoint pos) const;

    // A read-only grid types nothing in place and offers, of the rows' aids,
    // only an ellipsis without typing (it opens something elsewhere).
    void SetReadOnly(bool on);
    bool ReadOnly() const { return readOnly_; }
    void SetColours(const QColor& background, const QColor& text);
    QColor Background() const { return background_; }
    QColor TextColour() const { return text_; }

signals:
    void ellipsisClicked();
    void rowChanged();
    void headingClicked(const QString& name);
    void rowDoubleClicked();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    QModelIndex moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;

private:
    friend class TDataGridDelegate;

    void TableChanged();
    void SyncCurrent();
    bool Typable(const TRowEditor& editor) const;
    // Leaving the current row: the editor's text reaches the table and the
    // pending edit is posted; false when the post is refused.
    bool LeaveRow();
    void PushEditorText();
    void CloseEditor();
    void EditorOpened(QWidget* editor, int row);
    void EditorDestroyed(QWidget* editor);
    bool ButtonPressed() const { return buttonDown_; }

    struct TableLink {
        TDataGrid* grid;
        std::function<void(TPropertyTable&)> chained;
    };

    TPropertyTable* table_ = nullptr;
    std::shared_ptr<TableLink> link_;
    TDataGridModel* model_;
    TDataGridDelegate* delegate_;
    TRowEditor currentEditor_{TRowEditor::Style::None, {}, false};
    QPointer<QWidget> editor_;
    int editorRow_ = -1;
    int lastIndex_ = -2;
    std::string lastName_;
    bool rowMoved_ = false;
    bool syncing_ = false;
    bool typing_ = false;
    bool readOnly_ = false;
    bool buttonDown_ = false;
    bool resizing_ = false;
    int resizeGrab_ = 0; // where in the name column's width the edge was taken
    int nameMin_ = DefaultNameMin;
    int nameMax_ = DefaultNameMax;
    QColor background_;
    QColor text_;
};

} // namespace kestrune
