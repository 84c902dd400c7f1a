#include "controls/datagrid.h"

#include "controls/userdialogs.h"

#include <QApplication>
#include <QComboBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>
#include <cstdlib>

namespace kestrune {

// ------------------------------------------------------------ cell looks

bool IsHeadingRow(const TPropertyRow& row)
{
    return !row.name.empty() && row.name[0] == '+';
}

std::string ValueDisplayText(const std::string& value)
{
    std::string s;
    s.reserve(std::min<size_t>(value.size(), TDataGrid::DisplayChars));
    for (const char c : value) {
        if (c == '\r' || c == '\n')
            continue;
        if (s.size() == static_cast<size_t>(TDataGrid::DisplayChars))
            break;
        s += c;
    }
    return s;
}

TCellLook CellLook(const TPropertyRow& row, int column)
{
    TCellLook look;
    if (IsHeadingRow(row)) {
        // The name as it is, in bold; the value cell is the bar.
        look.bold = true;
        if (column == 0)
            look.text = row.name;
        else
            look.heading = true;
        return look;
    }
    if (column == 0) {
        look.text = row.name;
        look.indent = row.grp.value_or(0) > 0 ? TDataGrid::GroupIndent : 0;
    } else {
        look.text = ValueDisplayText(row.value);
    }
    return look;
}

// ------------------------------------------------------------ model

void TDataGridModel::SetTable(TPropertyTable* table)
{
    beginResetModel();
    table_ = table;
    rows_.clear();
    gridRow_.clear();
    endResetModel();
    Refresh();
}

bool TDataGridModel::Refresh()
{
    std::vector<int> rows;
    if (table_) {
        const auto& all = table_->Rows();
        const bool filtered = table_->Filtered() && table_->OnFilterRecord;
        rows.reserve(all.size() + 1);
        // The row being inserted shows where it will be posted.
        const int insertAt = table_->InsertIndex();
        for (int i = 0; i < table_->TotalCount(); ++i) {
            if (i == insertAt)
                rows.push_back(-1);
            if (!filtered || table_->OnFilterRecord(all[static_cast<size_t>(i)]))
                rows.push_back(i);
        }
        if (insertAt >= table_->TotalCount())
            rows.push_back(-1);
    }
    if (rows != rows_) {
        beginResetModel();
        rows_ = std::move(rows);
        gridRow_.assign(table_ ? static_cast<size_t>(table_->TotalCount()) : 0, -1);
        for (size_t r = 0; r < rows_.size(); ++r)
            if (rows_[r] >= 0)
                gridRow_[static_cast<size_t>(rows_[r])] = static_cast<int>(r);
        endResetModel();
        return true;
    }
    if (!rows_.empty())
        emit dataChanged(index(0, 0), index(rowCount() - 1, 1));
    return false;
}

int TDataGridModel::TableIndex(int row) const
{
    if (row < 0 || row >= rowCount())
        return -1;
    return rows_[static_cast<size_t>(row)];
}

const TPropertyRow* TDataGridModel::RowAt(int row) const
{
    if (!table_ || row < 0 || row >= rowCount())
        return nullptr;
    const int at = rows_[static_cast<size_t>(row)];
    if (at < 0)
        return table_->GetState() == TPropertyTable::State::Insert ? table_->Current() : nullptr;
    if (at >= table_->TotalCount())
        return nullptr; // the table changed while its notifications were held back
    if (at == table_->CurrentIndex() && table_->GetState() == TPropertyTable::State::Edit)
        return table_->Current();
    return &table_->Rows()[static_cast<size_t>(at)];
}

int TDataGridModel::CurrentRow() const
{
    if (!table_)
        return -1;
    if (table_->GetState() == TPropertyTable::State::Insert) {
        const auto at = std::find(rows_.begin(), rows_.end(), -1);
        return at == rows_.end() ? -1 : static_cast<int>(at - rows_.begin());
    }
    const int cur = table_->CurrentIndex();
    if (cur < 0 || cur >= static_cast<int>(gridRow_.size()))
        return -1;
    return gridRow_[static_cast<size_t>(cur)];
}

int TDataGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int TDataGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QVariant TDataGridModel::data(const QModelIndex& index, int role) const
{
    const TPropertyRow* row = RowAt(index.row());
    if (!row || index.column() < 0 || index.column() > 1)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return ToQ(CellLook(*row, index.column()).text);
    case Qt::EditRole:
        return ToQ(index.column() == 0 ? row->name : row->value);
    default:
        return {};
    }
}

Qt::ItemFlags TDataGridModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    if (index.column() == 1 && ValueEditable && ValueEditable(index.row()))
        f |= Qt::ItemIsEditable;
    return f;
}

QString EditorText(QWidget* editor)
{
    if (auto* combo = qobject_cast<QComboBox*>(editor))
        return combo->currentText();
    if (auto* edit = qobject_cast<QLineEdit*>(editor))
        return edit->text();
    return {};
}

// ------------------------------------------------------------ delegate

namespace {

int ButtonWidth(const QRect& cell)
{
    return std::max(16, cell.height());
}

} // namespace

class TDataGridDelegate : public QStyledItemDelegate {
public:
    explicit TDataGridDelegate(TDataGrid* grid) : QStyledItemDelegate(grid), grid_(grid) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QWidget* createEditor(QWidget* parent, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const override;
    void setEditorData(QWidget* editor, const QModelIndex& index) const override;
    void setModelData(QWidget* editor, QAbstractItemModel* model, const QModelIndex& index) const override;
    void updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const override;
    void destroyEditor(QWidget* editor, const QModelIndex& index) const override;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void PaintButton(QPainter* painter, const QRect& rect, TRowEditor::Style style) const;

    TDataGrid* grid_;
};

void TDataGridDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const QRect cell = option.rect;
    const TPropertyRow* row = grid_->RowAt(index.row());
    painter->save();
    painter->setClipRect(cell);
    if (!row) {
        painter->fillRect(cell, grid_->Background());
        painter->restore();
        return;
    }
    const TCellLook look = CellLook(*row, index.column());
    const bool current = index.row() == grid_->CurrentRow();
    const QPalette& pal = grid_->palette();
    QFont font = option.font;
    font.setBold(look.bold);
    painter->setFont(font);
    const QRect textRect = cell.adjusted(2 + look.indent, 2, -2, 0);
    const int textFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine;

    if (look.heading) {
        // A raised bar: the heading colour one pixel past the cell on every
        // side, lit along the top, shaded down the right and along the bottom.
        const QRect bar = cell.adjusted(-1, -1, 1, 1);
        painter->setClipRect(bar);
        painter->fillRect(bar, pal.color(QPalette::Button));
        painter->setPen(pal.color(QPalette::Light));
        painter->drawLine(cell.left() - 2, cell.top(), cell.right(), cell.top());
        painter->setPen(pal.color(QPalette::Dark));
        painter->drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
        painter->drawLine(cell.right(), cell.bottom(), cell.left() - 2, cell.bottom());
        painter->setPen(pal.color(QPalette::ButtonText));
        painter->drawText(textRect, textFlags, ToQ(look.text));
        painter->restore();
        return;
    }

    const QPalette::ColorGroup group = grid_->hasFocus() ? QPalette::Active : QPalette::Inactive;
    painter->fillRect(cell, current ? pal.color(group, QPalette::Highlight) : grid_->Background());
    painter->setPen(current ? pal.color(group, QPalette::HighlightedText) : grid_->TextColour());
    painter->drawText(textRect, textFlags, ToQ(look.text));
    if (current && index.column() == 1) {
        const QRect button = grid_->ButtonRect(index.row());
        if (!button.isEmpty())
            PaintButton(painter, button, grid_->CurrentEditor().style);
    }
    painter->restore();
}

void TDataGridDelegate::PaintButton(QPainter* painter, const QRect& rect, TRowEditor::Style style) const
{
    QStyleOptionButton button;
    button.initFrom(grid_);
    button.rect = rect;
    button.state = QStyle::State_Enabled | (grid_->ButtonPressed() ? QStyle::State_Sunken : QStyle::State_Raised);
    QStyle* st = grid_->style();
    st->drawPrimitive(QStyle::PE_PanelButtonCommand, &button, painter, grid_);
    painter->setPen(grid_->palette().color(QPalette::ButtonText));
    if (style == TRowEditor::Style::Ellipsis) {
        painter->drawText(rect, Qt::AlignCenter, QStringLiteral("..."));
    } else {
        QStyleOption arrow = button;
        arrow.rect = rect.adjusted(4, 4, -4, -4);
        st->drawPrimitive(QStyle::PE_IndicatorArrowDown, &arrow, painter, grid_);
    }
}

QWidget* TDataGridDelegate::createEditor(QWidget* parent, const QStyleOptionViewItem&, const QModelIndex& index) const
{
    if (index.column() != 1 || index.row() != grid_->CurrentRow())
        return nullptr;
    const TRowEditor& aid = grid_->CurrentEditor();
    if (!grid_->Typable(aid))
        return nullptr;
    TDataGrid* grid = grid_;
    QWidget* editor = nullptr;
    if (aid.style == TRowEditor::Style::PickList) {
        auto* combo = new QComboBox(parent);
        combo->setEditable(true);
        combo->setInsertPolicy(QComboBox::NoInsert);
        combo->setCompleter(nullptr);
        combo->setMaxVisibleItems(TDataGrid::MaxDropDownRows);
        combo->setFrame(false);
        for (const std::string& choice : aid.choices)
            combo->addItem(ToQ(choice));
        QObject::connect(combo->lineEdit(), &QLineEdit::textEdited, grid,
                         [grid](const QString& text) { grid->StartEdit(FromQ(text)); });
        QObject::connect(combo, &QComboBox::textActivated, grid,
                         [grid](const QString& text) { grid->StartEdit(FromQ(text)); });
        editor = combo;
    } else {
        auto* edit = new QLineEdit(parent);
        edit->setFrame(false);
        QObject::connect(edit, &QLineEdit::textEdited, grid,
                         [grid](const QString& text) { grid->StartEdit(FromQ(text)); });
        editor = edit;
    }
    grid_->EditorOpened(editor, index.row());
    return editor;
}

void TDataGridDelegate::setEditorData(QWidget* editor, const QModelIndex& index) const
{
    // Only an editor being opened gets here: while the table changes under
    // a typing editor it is the editor's own text arriving, and any other
    // change of the table closes the editor.
    if (grid_->typing_)
        return;
    const TPropertyRow* row = grid_->RowAt(index.row());
    const QString value = row ? ToQ(row->value) : QString();
    if (auto* combo = qobject_cast<QComboBox*>(editor)) {
        combo->setCurrentIndex(combo->findText(value, Qt::MatchExactly | Qt::MatchCaseSensitive));
        combo->setEditText(value);
        combo->lineEdit()->selectAll(); // the first key typed replaces the value
    } else if (auto* edit = qobject_cast<QLineEdit*>(editor)) {
        edit->setText(value);
        edit->selectAll();
    }
}

void TDataGridDelegate::setModelData(QWidget* editor, QAbstractItemModel*, const QModelIndex&) const
{
    if (editor == grid_->EditorWidget())
        grid_->PushEditorText();
}

void TDataGridDelegate::updateEditorGeometry(QWidget* editor, const QStyleOptionViewItem& option,
                                             const QModelIndex&) const
{
    QRect r = option.rect;
    if (grid_->CurrentEditor().style == TRowEditor::Style::Ellipsis)
        r.setRight(r.right() - ButtonWidth(r));
    editor->setGeometry(r);
}

void TDataGridDelegate::destroyEditor(QWidget* editor, const QModelIndex& index) const
{
    grid_->EditorDestroyed(editor);
    QStyledItemDelegate::destroyEditor(editor, index);
}

bool TDataGridDelegate::eventFilter(QObject* object, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && object == grid_->EditorWidget()) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            grid_->CommitEdit();
            return true;
        }
        if (key == Qt::Key_Escape) {
            grid_->CancelEdit();
            return true;
        }
    }
    return QStyledItemDelegate::eventFilter(object, event);
}

// ------------------------------------------------------------ grid

TDataGrid::TDataGrid(QWidget* parent)
    : QTableView(parent), model_(new TDataGridModel(this)), delegate_(new TDataGridDelegate(this))
{
    model_->ValueEditable = [this](int row) { return row == CurrentRow() && Typable(currentEditor_); };
    setModel(model_);
    setItemDelegate(delegate_);
    horizontalHeader()->hide();
    horizontalHeader()->setStretchLastSection(true);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(8);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    viewport()->setMouseTracking(true); // the sizing cursor over the column edge
    setColumnWidth(0, DefaultNameMax);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::SelectedClicked | QAbstractItemView::AnyKeyPressed |
                    QAbstractItemView::EditKeyPressed);
    setTabKeyNavigation(false);
    setWordWrap(false);
    setShowGrid(true);
    background_ = palette().color(QPalette::Base);
    text_ = palette().color(QPalette::Text);

    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (index.isValid())
            CellClicked(index.row());
    });
    connect(this, &QAbstractItemView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid())
            return;
        if (OnDoubleClick)
            OnDoubleClick();
        emit rowDoubleClicked();
    });
}

TDataGrid::~TDataGrid()
{
    // The table may already be gone; the handler it holds only passes on.
    if (link_)
        link_->grid = nullptr;
}

void TDataGrid::SetTable(TPropertyTable* table)
{
    CloseEditor();
    if (table_ && link_) {
        table_->OnChange = link_->chained;
        link_->grid = nullptr;
    }
    link_.reset();
    table_ = table;
    if (table_) {
        link_ = std::make_shared<TableLink>(TableLink{this, table_->OnChange});
        table_->OnChange = [link = link_](TPropertyTable& t) {
            if (link->grid)
                link->grid->TableChanged();
            if (link->chained)
                link->chained(t);
        };
    }
    lastIndex_ = -2;
    model_->SetTable(table_);
    TableChanged();
}

void TDataGrid::TableChanged()
{
    // The table is the truth: an editor stays open only while it is typing.
    if (!typing_)
        CloseEditor();
    const bool reset = model_->Refresh();
    SyncCurrent();

    const TPropertyRow* row = RowAt(CurrentRow());
    const int index = table_ ? table_->CurrentIndex() : -1;
    const std::string name = row ? row->name : std::string();
    rowMoved_ = reset || index != lastIndex_ || name != lastName_;
    lastIndex_ = index;
    lastName_ = name;
    if (rowMoved_ || !table_ || table_->GetState() == TPropertyTable::State::Browse)
        currentEditor_ = EditorFor(CurrentRow());
    viewport()->update();
    if (OnRowChange)
        OnRowChange();
    emit rowChanged();
}

void TDataGrid::SyncCurrent()
{
    const int row = CurrentRow();
    const QModelIndex now = currentIndex();
    if (row < 0) {
        if (now.isValid()) {
            syncing_ = true;
            selectionModel()->clearCurrentIndex();
            selectionModel()->clearSelection();
            syncing_ = false;
        }
        return;
    }
    if (now.isValid() && now.row() == row)
        return;
    const TPropertyRow* r = RowAt(row);
    const int column = (r && IsHeadingRow(*r)) ? 0 : 1;
    syncing_ = true;
    selectionModel()->setCurrentIndex(model_->index(row, column),
                                      QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    syncing_ = false;
}

bool TDataGrid::SetCurrentRow(int row)
{
    if (!table_ || row < 0 || row >= RowCount())
        return false;
    if (row == CurrentRow())
        return true;
    const int target = model_->TableIndex(row);
    if (!LeaveRow())
        return false;
    if (target < 0 || !table_->MoveTo(target)) {
        SyncCurrent();
        return false;
    }
    return true;
}

std::string TDataGrid::DisplayValue(int row) const
{
    const TPropertyRow* r = RowAt(row);
    return r ? CellLook(*r, 1).text : std::string();
}

// ------------------------------------------------------------ editing

TRowEditor TDataGrid::EditorFor(int row) const
{
    const TRowEditor none{TRowEditor::Style::None, {}, false};
    const TPropertyRow* r = RowAt(row);
    if (!r || IsHeadingRow(*r))
        return none;
    const TRowEditor editor = RowEditor ? RowEditor(*r) : TRowEditor{};
    // A read-only grid changes nothing in place; an ellipsis that only
    // opens something elsewhere (no typing) is still offered.
    if (readOnly_ && (editor.style != TRowEditor::Style::Ellipsis || editor.typing))
        return none;
    return editor;
}

void TDataGrid::RefreshEditor()
{
    CloseEditor();
    currentEditor_ = EditorFor(CurrentRow());
    viewport()->update();
}

bool TDataGrid::Typable(const TRowEditor& editor) const
{
    switch (editor.style) {
    case TRowEditor::Style::PickList:
    case TRowEditor::Style::Plain: return true;
    case TRowEditor::Style::Ellipsis: return editor.typing;
    case TRowEditor::Style::None: return false;
    }
    return false;
}

bool TDataGrid::StartEdit(const std::string& text)
{
    if (!table_ || CurrentRow() < 0 || !Typable(currentEditor_))
        return false;
    typing_ = true;
    table_->SetValue(text);
    typing_ = false;
    return table_->GetState() != TPropertyTable::State::Browse;
}

void TDataGrid::PushEditorText()
{
    if (!editor_ || !table_ || editorRow_ != CurrentRow())
        return;
    const std::string text = FromQ(EditorText(editor_));
    if (text != table_->Value())
        StartEdit(text);
}

bool TDataGrid::CommitEdit()
{
    if (!table_)
        return true;
    PushEditorText();
    if (table_->GetState() == TPropertyTable::State::Browse) {
        CloseEditor();
        return true;
    }
    if (table_->Post())
        return true;
    // Refused: the typed value stays, and so does the editor (a message box
    // shown by the refusal may have closed it on losing the focus).
    if (!editor_)
        OpenEditor();
    return false;
}

void TDataGrid::CancelEdit()
{
    CloseEditor();
    if (table_ && table_->GetState() != TPropertyTable::State::Browse)
        table_->Cancel();
}

bool TDataGrid::LeaveRow() { return CommitEdit(); }

bool TDataGrid::ClickEllipsis()
{
    if (currentEditor_.style != TRowEditor::Style::Ellipsis || CurrentRow() < 0)
        return false;
    PushEditorText();
    CloseEditor();
    if (OnEllipsis)
        OnEllipsis();
    emit ellipsisClicked();
    return true;
}

void TDataGrid::CellClicked(int row)
{
    const TPropertyRow* r = RowAt(row);
    if (!r || !IsHeadingRow(*r))
        return;
    const std::string name = r->name; // the handler may change the rows
    if (OnHeadingClick)
        OnHeadingClick(name);
    emit headingClicked(ToQ(name));
}

QWidget* TDataGrid::OpenEditor()
{
    const int row = CurrentRow();
    if (row < 0 || !Typable(currentEditor_))
        return nullptr;
    if (!editor_)
        edit(model_->index(row, 1));
    return editor_;
}

QRect TDataGrid::ButtonRect(int row) const
{
    if (row < 0 || row != CurrentRow())
        return {};
    if (currentEditor_.style != TRowEditor::Style::Ellipsis && currentEditor_.style != TRowEditor::Style::PickList)
        return {};
    const QRect cell = visualRect(model_->index(row, 1));
    if (cell.isEmpty())
        return {};
    const int w = std::min(ButtonWidth(cell), cell.width());
    return QRect(cell.right() - w + 1, cell.top(), w, cell.height());
}

void TDataGrid::CloseEditor()
{
    if (QWidget* w = editor_) {
        editor_ = nullptr;
        editorRow_ = -1;
        closeEditor(w, QAbstractItemDelegate::NoHint);
    }
}

void TDataGrid::EditorOpened(QWidget* editor, int row)
{
    editor_ = editor;
    editorRow_ = row;
}

void TDataGrid::EditorDestroyed(QWidget* editor)
{
    if (editor_ == editor) {
        editor_ = nullptr;
        editorRow_ = -1;
    }
}

void TDataGrid::SetNameColumnRange(int minimum, int maximum)
{
    nameMin_ = std::max(1, minimum);
    nameMax_ = std::max(nameMin_, maximum);
}

void TDataGrid::ResizeNameColumn(int width)
{
    setColumnWidth(0, std::clamp(width, nameMin_, nameMax_));
}

bool TDataGrid::OnNameColumnEdge(QPoint pos) const
{
    const int edge = columnViewportPosition(1);
    return edge > 0 && std::abs(pos.x() - edge) <= 3;
}

void TDataGrid::SetReadOnly(bool on)
{
    readOnly_ = on;
    RefreshEditor();
}

void TDataGrid::SetColours(const QColor& background, const QColor& text)
{
    background_ = background;
    text_ = text;
    QPalette p = palette();
    p.setColor(QPalette::Base, background);
    p.setColor(QPalette::Text, text);
    setPalette(p);
    viewport()->update();
}

// ------------------------------------------------------------ events

void TDataGrid::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        CommitEdit();
        event->accept();
        return;
    }
    if (key == Qt::Key_Escape && table_ && table_->GetState() != TPropertyTable::State::Browse) {
        CancelEdit();
        event->accept();
        return;
    }
    // Typing on a row's name edits its value.
    const QModelIndex at = currentIndex();
    if (at.isValid() && at.column() == 0 && (key == Qt::Key_F2 || !event->text().isEmpty()) &&
        Typable(currentEditor_)) {
        syncing_ = true;
        selectionModel()->setCurrentIndex(model_->index(at.row(), 1), QItemSelectionModel::NoUpdate);
        syncing_ = false;
    }
    const QWidget* before = editor_;
    event->ignore();
    QTableView::keyPressEvent(event);
    // (A key that opened the editor comes back ignored, but it was used.)
    if (!event->isAccepted() && editor_ == before && OnKey)
        OnKey(key, event->modifiers());
}

void TDataGrid::mousePressEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton && OnNameColumnEdge(pos)) {
        // Dragging the edge between the columns sizes the name column.
        resizeGrab_ = pos.x() - columnWidth(0);
        resizing_ = true;
        event->accept();
        return;
    }
    const int row = CurrentRow();
    if (event->button() == Qt::LeftButton && ButtonRect(row).contains(pos)) {
        buttonDown_ = true;
        viewport()->update(ButtonRect(row));
        event->accept();
        return;
    }
    const QModelIndex at = indexAt(pos);
    if (at.isValid() && at.row() != row && !LeaveRow()) {
        event->accept(); // the row stays while its edit is refused
        return;
    }
    QTableView::mousePressEvent(event);
}

void TDataGrid::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint pos = event->position().toPoint();
    if (resizing_) {
        ResizeNameColumn(pos.x() - resizeGrab_);
        event->accept();
        return;
    }
    if (OnNameColumnEdge(pos))
        viewport()->setCursor(Qt::SplitHCursor);
    else
        viewport()->unsetCursor();
    QTableView::mouseMoveEvent(event);
}

void TDataGrid::mouseReleaseEvent(QMouseEvent* event)
{
    if (resizing_) {
        resizing_ = false;
        event->accept();
        return;
    }
    if (!buttonDown_) {
        QTableView::mouseReleaseEvent(event);
        return;
    }
    buttonDown_ = false;
    event->accept();
    const QRect button = ButtonRect(CurrentRow());
    viewport()->update(button);
    if (!button.contains(event->position().toPoint()))
        return;
    if (currentEditor_.style == TRowEditor::Style::Ellipsis) {
        ClickEllipsis();
    } else if (auto* combo = qobject_cast<QComboBox*>(OpenEditor())) {
        combo->setFocus();
        combo->showPopup();
    }
}

void TDataGrid::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (OnNameColumnEdge(event->position().toPoint())) {
        event->accept(); // a quick second press on the edge is no double click on a row
        return;
    }
    if (ButtonRect(CurrentRow()).contains(event->position().toPoint())) {
        mousePressEvent(event); // a quick second click on the button
        return;
    }
    QTableView::mouseDoubleClickEvent(event);
}

QModelIndex TDataGrid::moveCursor(CursorAction action, Qt::KeyboardModifiers modifiers)
{
    const QModelIndex next = QTableView::moveCursor(action, modifiers);
    if (!next.isValid() || next.row() == currentIndex().row())
        return next;
    const int row = next.row();
    const int column = next.column();
    if (!LeaveRow())
        return currentIndex();
    // Posting an inserted row resets the model; find the cell again.
    return row < RowCount() ? model_->index(row, column) : QModelIndex();
}

void TDataGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous)
{
    QTableView::currentChanged(current, previous);
    if (syncing_ || !table_ || !current.isValid() || current.row() == CurrentRow())
        return;
    if (!SetCurrentRow(current.row()))
        SyncCurrent(); // refused: back to the row being edited
}

} // namespace kestrune
