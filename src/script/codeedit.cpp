#include "script/codeedit.h"

#include "controls/settings.h"
#include "controls/textbox.h"
#include "controls/userdialogs.h"
#include "core/parlist.h"
#include "core/proptable.h"
#include "core/text.h"
#include "help/helpwindow.h"
#include "model/editsession.h"
#include "model/elements.h"
#include "model/map.h"
#include "model/project.h"
#include "params/paramedit.h"
#include "script/completion.h"
#include "script/sourceedit.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QListWidget>
#include <QMimeData>
#include <QPainter>
#include <QSplitter>
#include <QToolBar>
#include <QVBoxLayout>
#include <QWheelEvent>

#include <algorithm>

namespace kestrune {

namespace {

const char* const CodeEditSection = "qv5editor\\codeEdit";
constexpr int EntryListWidth = 185;
constexpr int EntryRowHeight = 13;

bool IsWordChar(char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
}

// Blanks and control characters only (or nothing).
bool IsBlank(const std::string& text)
{
    return std::all_of(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) <= ' '; });
}

// The entry list: a drag of an entry carries its text.
class TEntryList : public QListWidget {
public:
    using QListWidget::QListWidget;

protected:
    QStringList mimeTypes() const override { return {QString::fromLatin1(TfrmCodeEdit::EntryMimeType())}; }
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override
    {
        if (items.isEmpty())
            return nullptr;
        auto* data = new QMimeData;
        data->setData(QString::fromLatin1(TfrmCodeEdit::EntryMimeType()), items.first()->text().toLatin1());
        return data;
    }
};

// Forwards the keys of the entry list.
class TKeyFilter : public QObject {
public:
    TKeyFilter(QObject* parent, std::function<bool(int)> onKey) : QObject(parent), onKey_(std::move(onKey)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (key->modifiers() == Qt::NoModifier && onKey_(key->key()))
                return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<bool(int)> onKey_;
};

// The wheel over the pane steps through the entries while the pane has
// the focus (the text is scrolled with the scroll bars then).
class TWheelFilter : public QObject {
public:
    TWheelFilter(QObject* parent, TfrmCodeEdit& editor) : QObject(parent), editor_(editor) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Wheel && editor_.PaneHasFocus()) {
            const int delta = static_cast<QWheelEvent*>(event)->angleDelta().y();
            if (delta != 0)
                editor_.WheelStep(delta > 0 ? 1 : -1);
            return true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    TfrmCodeEdit& editor_;
};

// The small pictures of the tool buttons.
QIcon ButtonIcon(const QString& glyph, const QColor& colour)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    QFont font = painter.font();
    font.setPixelSize(12);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, glyph);
    return QIcon(pixmap);
}

} // namespace

const char* TfrmCodeEdit::EntryMimeType() { return "application/x-kestrune-code-entry"; }

TfrmCodeEdit::TfrmCodeEdit(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("Code editor"));
    BuildPane();
    SetSession(nullptr);
}

TfrmCodeEdit::~TfrmCodeEdit()
{
    if (session_)
        session_->Forget(observerId_);
}

void TfrmCodeEdit::SetSession(TEditSession* session)
{
    if (session_)
        session_->Forget(observerId_);
    if (!session) {
        if (!ownSession_)
            ownSession_ = std::make_unique<TEditSession>();
        session = ownSession_.get();
    }
    session_ = session;
    TEditSession::Observer observer;
    observer.Leaving = [this](TListedItem& thing) {
        if (!TEditSession::Holds(thing, session_->CodeElement) && !TEditSession::HoldsList(thing, session_->CodeList))
            return;
        // The text reaches its list while it is still there; the pane then
        // shows nothing, so that no typing goes to what has left.
        Detach();
        FillEntryList(-1);
        ShowText({});
    };
    observer.ListChanging = [this](TParList& list) {
        if (&list == session_->CodeList && !ownChange_)
            SaveCurrent();
    };
    observer.ListChanged = [this](TParList& list) {
        if (&list != session_->CodeList || ownChange_)
            return;
        // Undone or redone: the entry shown is read again, if it is still there.
        const int row = list.IndexOfName(entry_);
        FillEntryList(row);
        ShowText(row >= 0 ? list.GetValue(entry_) : std::string());
    };
    observerId_ = session_->Observe(std::move(observer));
}

TfrmCodeEdit::TOwnListChange::TOwnListChange(TfrmCodeEdit& pane)
    : pane_(pane), list_(pane.session_->CodeList), was_(pane.ownChange_)
{
    pane_.ownChange_ = true;
    if (list_)
        pane_.session_->ListChanging(*list_);
}

TfrmCodeEdit::TOwnListChange::~TOwnListChange()
{
    if (list_)
        pane_.session_->ListChanged(*list_);
    pane_.ownChange_ = was_;
}

int TfrmCodeEdit::NewSerial()
{
    static int serials = 0;
    return ++serials;
}

namespace {

// "onEnter[3,4]" is called "onEnter [3,4]" in a step's name.
std::string EntryWords(const std::string& entry)
{
    const size_t open = entry.find('[');
    if (open == std::string::npos || open == 0 || entry.back() != ']')
        return entry;
    return entry.substr(0, open) + " " + entry.substr(open);
}

// The cell a map event's key names ("onEnter[3,4,1]"), if any.
std::optional<std::pair<int, int>> CellOfEntry(const std::string& entry)
{
    const size_t open = entry.find('[');
    if (open == std::string::npos || entry.back() != ']')
        return std::nullopt;
    const std::string inner = entry.substr(open + 1, entry.size() - open - 2);
    const size_t comma = inner.find(',');
    if (comma == std::string::npos)
        return std::nullopt;
    const size_t second = inner.find(',', comma + 1);
    const std::optional<int32_t> x = StrToInt32(Trim(inner.substr(0, comma)));
    const std::optional<int32_t> y = StrToInt32(
        Trim(inner.substr(comma + 1, second == std::string::npos ? std::string::npos : second - comma - 1)));
    if (!x || !y)
        return std::nullopt;
    return std::make_pair(static_cast<int>(*x), static_cast<int>(*y));
}

} // namespace

TRecordListEdit TfrmCodeEdit::RecordChange(const std::string& step, const std::string& entry, int merge)
{
    TRecordListEdit record(session_, step, session_->CodeElement, session_->CodeList, merge);
    if (record.Edit.Map && record.Edit.Owner == static_cast<TListedItem*>(record.Edit.Map)) {
        if (const auto cell = CellOfEntry(entry)) {
            record.Edit.X = cell->first;
            record.Edit.Y = cell->second;
        }
    }
    return record;
}

void TfrmCodeEdit::BuildPane()
{
    auto* host = new QVBoxLayout(this);
    host->setContentsMargins(0, 0, 0, 0);
    pane_ = new QWidget(this);
    host->addWidget(pane_);

    auto* paneLayout = new QHBoxLayout(pane_);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(0);
    splitter_ = new QSplitter(Qt::Horizontal, pane_);
    splitter_->setHandleWidth(3);
    splitter_->setChildrenCollapsible(false);
    paneLayout->addWidget(splitter_);

    // Left: the entry list with its three buttons.
    auto* left = new QWidget(splitter_);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(0);
    auto* entryTools = new QToolBar(left);
    entryTools->setIconSize(QSize(16, 16));
    connect(entryTools->addAction(ButtonIcon(QStringLiteral("+"), Qt::darkGreen), QString()), &QAction::triggered,
            this, [this] { AddEntry(); });
    connect(entryTools->addAction(ButtonIcon(QStringLiteral("-"), Qt::darkRed), QString()), &QAction::triggered,
            this, [this] { RemoveEntry(); });
    connect(entryTools->addAction(ButtonIcon(QStringLiteral("R"), Qt::darkBlue), QString()), &QAction::triggered,
            this, [this] { RenameEntry(); });
    leftLayout->addWidget(entryTools);
    entries_ = new TEntryList(left);
    entries_->setUniformItemSizes(true);
    entries_->setDragEnabled(true);
    entries_->setDragDropMode(QAbstractItemView::DragOnly);
    QFont listFont = entries_->font();
    listFont.setPixelSize(11);
    entries_->setFont(listFont);
    entries_->installEventFilter(new TKeyFilter(entries_, [this](int key) {
        if (key == Qt::Key_Insert) {
            AddEntry();
            return true;
        }
        if (key == Qt::Key_Delete) {
            RemoveEntry();
            return true;
        }
        return false;
    }));
    connect(entries_, &QListWidget::currentRowChanged, this, [this](int row) {
        if (!filling_ && row >= 0)
            ClickEntry(row);
    });
    connect(entries_, &QListWidget::itemDoubleClicked, this, [this](QListWidgetItem* item) {
        if (OnEntryDoubleClick && item)
            OnEntryDoubleClick(FromQ(item->text()));
    });
    leftLayout->addWidget(entries_, 1);
    left->setMinimumWidth(60);

    // Right: the text area with its tool bar.
    auto* right = new QWidget(splitter_);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(0);
    auto* textTools = new QToolBar(right);
    textTools->setIconSize(QSize(16, 16));
    auto tool = [&](const char* glyph, QColor colour, const char* hint, const char* caption,
                    std::function<void()> action) {
        QAction* a = textTools->addAction(ButtonIcon(QString::fromLatin1(glyph), colour), QString::fromLatin1(caption));
        a->setToolTip(QString::fromLatin1(hint));
        a->setIconText(QString::fromLatin1(caption));
        connect(a, &QAction::triggered, this, std::move(action));
        return a;
    };
    tool("?", Qt::darkBlue, "Key sensitive help (Ctrl F1)", "&Help", [this] { HelpAtCaret(); });
    tool("X", Qt::darkRed, "Cut all text to clipboard", "Cu&t all", [this] { CutAll(); });
    undo_ = tool("<", Qt::black, "Undo (Alt backspace)", "&Undo", [this] {
        edit_->Undo();
        UpdateHistoryButtons();
    });
    redo_ = tool(">", Qt::black, "Redo (Ctrl R)", "&Redo", [this] {
        edit_->Redo();
        UpdateHistoryButtons();
    });
    tool("@", QColor(0, 0x80, 0x80), "Convert text to name", "", [this] { ConvertTextToName(); });
    tool("N", QColor(0, 0x80, 0x80), "Names editor", "", [this] { ShowNamesEditor(); });
    rightLayout->addWidget(textTools);

    edit_ = new TSourceEdit(right);
    rightLayout->addWidget(edit_, 1);
    splitter_->addWidget(left);
    splitter_->addWidget(right);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({EntryListWidth, 600});

    auto* wheel = new TWheelFilter(pane_, *this);
    edit_->viewport()->installEventFilter(wheel);
    entries_->viewport()->installEventFilter(wheel);

    completion_ = new TCodeCompletion(edit_, pane_);
    edit_->OnKeyDown = [this](QKeyEvent* event) { return EditKeyDown(event); };
    edit_->OnAfterInsert = [this](char c) { completion_->AfterInsert(c); };
    edit_->OnKeyUp = [this](QKeyEvent*) { completion_->KeyUp(); };
    edit_->OnMouseDown = [this] { completion_->HideAll(); };
    edit_->OnFocusLost = [this] { completion_->HideAll(); };
    edit_->OnChange = [this] {
        UpdateHistoryButtons();
        // The "Events" tab shows the text as it is typed.
        if (!filling_ && tableLink_ && !RowName().empty())
            SaveCurrent();
    };

    // Ctrl+R redoes as the button's hint says.
    auto* redoKey = new QAction(edit_);
    redoKey->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_R));
    redoKey->setShortcutContext(Qt::WidgetShortcut);
    connect(redoKey, &QAction::triggered, this, [this] {
        edit_->Redo();
        UpdateHistoryButtons();
    });
    edit_->addAction(redoKey);
    UpdateHistoryButtons();
}

void TfrmCodeEdit::SetHelp(TForm3* help)
{
    help_ = help;
    completion_->SetIndex(help ? &help->Index : nullptr);
}

bool TfrmCodeEdit::EditKeyDown(QKeyEvent* event)
{
    const bool listShown = completion_->ListShown();
    if (completion_->KeyDown(event))
        return true;
    if (!listShown && event->key() == Qt::Key_F1 && (event->modifiers() & Qt::ControlModifier)) {
        HelpAtCaret();
        return true;
    }
    return false;
}

// --------------------------------------------------------------- lists

bool TfrmCodeEdit::IsCurrentEvents() const
{
    return session_->CodeElement && session_->CodeList && session_->CodeList == session_->CodeElement->Events.get();
}

std::string TfrmCodeEdit::RowNameOf(const std::string& entry) const
{
    // Only while the grid shows this very list: its table holds another
    // element's rows otherwise.
    if (!tableLink_ || !IsCurrentEvents() || !session_->GridShowsCodeList())
        return {};
    const std::string& filter = session_->ShownKey;
    if (!filter.empty()) {
        if (entry.size() >= filter.size() && entry.compare(entry.size() - filter.size(), filter.size(), filter) == 0)
            return entry.substr(0, entry.size() - filter.size());
        return {};
    }
    return entry.find('[') == std::string::npos ? entry : std::string();
}

std::string TfrmCodeEdit::RowName() const { return RowNameOf(entry_); }

void TfrmCodeEdit::FillEntryList(int selectRow)
{
    filling_ = true;
    entries_->clear();
    if (session_->CodeList) {
        for (int i = 0; i < session_->CodeList->Count(); ++i) {
            auto* item = new QListWidgetItem(ToQ(session_->CodeList->Par(i)->Name), entries_);
            item->setSizeHint(QSize(0, EntryRowHeight));
        }
    }
    if (selectRow >= 0 && selectRow < entries_->count())
        entries_->setCurrentRow(selectRow);
    filling_ = false;
}

void TfrmCodeEdit::ShowText(const std::string& text)
{
    textSerial_ = NewSerial();
    filling_ = true;
    completion_->HideAll();
    // Every cursor move on the map shows the current entry again: an
    // unchanged text is not set (and coloured) anew.
    if (edit_->Text() != text)
        edit_->SetText(text);
    edit_->ClearUndo();
    edit_->SetSelStart(0);
    edit_->ScrollCaretIntoView();
    filling_ = false;
    UpdateHistoryButtons();
}

void TfrmCodeEdit::UpdateHistoryButtons()
{
    undo_->setEnabled(edit_->CanUndo());
    redo_->setEnabled(edit_->CanRedo());
}

bool TfrmCodeEdit::ReadOnly() const { return session_->CodeElement && session_->CodeElement->Shared; }

std::string TfrmCodeEdit::OpenList(TListedItem* element, TParList* list, const std::string& name)
{
    session_->CodeElement = element;
    session_->CodeList = list;
    // The data folder's elements are never saved: their texts are shown, not edited.
    edit_->setReadOnly(ReadOnly());
    std::string shown = name;
    if (!session_->CodeList) {
        entry_.clear();
        FillEntryList(-1);
        ShowText({});
        return {};
    }
    // A new entry and the text then typed into it are one step.
    int added = 0;
    if (!shown.empty() && session_->CodeList->IndexOfName(shown) < 0 && !ReadOnly()) {
        added = NewSerial();
        TOwnListChange change(*this);
        TRecordListEdit record = RecordChange("Add script " + EntryWords(shown), shown, added);
        session_->CodeList->SetValue(shown, {});
        if (OnModified)
            OnModified();
    }
    int row = shown.empty() ? -1 : session_->CodeList->IndexOfName(shown);
    if (row < 0)
        row = 0;
    FillEntryList(row);
    if (session_->CodeList->Count() > 0)
        shown = session_->CodeList->Par(row)->Name;
    entry_ = shown;
    const std::string text = session_->CodeList->GetValue(entry_);
    ShowText(text);
    if (added && entry_ == shown)
        textSerial_ = added;
    return text;
}

void TfrmCodeEdit::SaveCurrent()
{
    if (!session_->CodeElement || !session_->CodeList || entry_.empty() || ReadOnly())
        return;
    const std::string text = edit_->Text();
    const int index = session_->CodeList->IndexOfName(entry_);
    if (index >= 0) {
        TPar* par = session_->CodeList->Par(index);
        if (par->Value != text) {
            TRecordListEdit record = RecordChange("Edit script " + EntryWords(entry_), entry_, textSerial_);
            par->Value = text;
            if (OnModified)
                OnModified();
        }
    } else {
        if (IsBlank(text))
            return;
        {
            TRecordListEdit record = RecordChange("Edit script " + EntryWords(entry_), entry_, textSerial_);
            session_->CodeList->SetValue(entry_, text);
        }
        if (OnModified)
            OnModified();
    }

    const std::string row = RowName();
    if (row.empty())
        return;
    TPropertyTable& table = *tableLink_;
    table.DisableControls();
    const int back = table.CurrentIndex();
    int found = -1;
    for (int i = 0; i < table.TotalCount(); ++i) {
        if (SameText(table.Rows()[static_cast<size_t>(i)].name, row)) {
            found = i;
            break;
        }
    }
    bool posted;
    if (found >= 0 && table.MoveTo(found)) {
        table.Edit();
        table.SetValue(text);
        posted = table.Post();
    } else {
        table.Append();
        table.SetName(row);
        table.SetValue(text);
        posted = table.Post();
    }
    if (!posted)
        table.Cancel();
    if (back >= 0)
        table.MoveTo(back);
    table.EnableControls();
}

std::string TfrmCodeEdit::SwitchList(TListedItem* element, TParList* list, const std::string& name)
{
    SaveCurrent();
    return OpenList(element, list, name);
}

std::string TfrmCodeEdit::OpenEvent(TListedItem* element, const std::string& name)
{
    return SwitchList(element, element ? element->Events.get() : nullptr, name);
}

void TfrmCodeEdit::Detach()
{
    SaveCurrent();
    session_->CodeElement = nullptr;
    session_->CodeList = nullptr;
    entry_.clear();
    // Nothing typed now could be stored anywhere.
    edit_->setReadOnly(true);
}

void TfrmCodeEdit::ClickEntry(int row)
{
    if (!session_->CodeList || row < 0 || row >= entries_->count())
        return;
    SaveCurrent();
    entry_ = FromQ(entries_->item(row)->text());
    if (entries_->currentRow() != row) {
        filling_ = true;
        entries_->setCurrentRow(row);
        filling_ = false;
    }
    ShowText(session_->CodeList->GetValue(entry_));
    const std::string rowName = RowName();
    if (!rowName.empty()) {
        TPropertyTable& table = *tableLink_;
        for (int i = 0; i < table.TotalCount(); ++i) {
            if (SameText(table.Rows()[static_cast<size_t>(i)].name, rowName)) {
                table.MoveTo(i);
                break;
            }
        }
    }
}

void TfrmCodeEdit::ReselectCurrent()
{
    if (!session_->CodeList || entries_->count() == 0)
        return;
    const int row = entries_->currentRow();
    ClickEntry(row >= 0 ? row : 0);
}

void TfrmCodeEdit::WheelStep(int steps)
{
    if (!session_->CodeList || entries_->count() == 0 || steps == 0)
        return;
    const int current = std::max(entries_->currentRow(), 0);
    const int row = std::clamp(current - steps, 0, entries_->count() - 1);
    if (row != entries_->currentRow())
        ClickEntry(row);
}

std::string TfrmCodeEdit::LabelForList() const { return session_->CodeList ? session_->CodeList->Name + " event" : std::string(); }

void TfrmCodeEdit::AddEntry()
{
    if (ReadOnly())
        return;
    if (!session_->CodeList || !AskNewName)
        return;
    const std::optional<std::string> name = AskNewName(*session_->CodeList, LabelForList(), {});
    if (!name)
        return;
    SwitchList(session_->CodeElement, session_->CodeList, *name);
}

void TfrmCodeEdit::RenameEntry()
{
    if (ReadOnly())
        return;
    if (!session_->CodeList || entry_.empty() || !AskNewName)
        return;
    const std::optional<std::string> name = AskNewName(*session_->CodeList, LabelForList(), entry_);
    if (!name)
        return;
    RenameCurrent(*name);
}

bool TfrmCodeEdit::RenameCurrent(const std::string& newName)
{
    if (ReadOnly())
        return false;
    if (!session_->CodeList || entry_.empty() || newName.empty())
        return false;
    const int index = session_->CodeList->IndexOfName(entry_);
    const int taken = session_->CodeList->IndexOfName(newName);
    if (taken >= 0 && taken != index) {
        // Two entries of one name would leave one of them unreachable.
        if (dialogs_)
            dialogs_->Error("The list already holds an entry named " + session_->CodeList->Par(taken)->Name + ".");
        return false;
    }
    // Everything below is one step: the text moves with the entry's name.
    TStepGroup group(session_, "Rename script " + EntryWords(entry_) + " to " + EntryWords(newName));
    const std::string held = edit_->Text();
    filling_ = true;
    edit_->SetText({});
    filling_ = false;
    SaveCurrent();
    filling_ = true;
    edit_->SetText(held);
    filling_ = false;
    if (index >= 0) {
        // The grid shows the list again (its table may hold the entry).
        TOwnListChange change(*this);
        TRecordListEdit record = RecordChange("Rename script " + EntryWords(entry_) + " to " + EntryWords(newName),
                                              newName, 0);
        session_->CodeList->Par(index)->Name = newName;
        session_->CodeList->NamesChanged();
        if (OnModified)
            OnModified();
    }
    entry_ = newName;
    SwitchList(session_->CodeElement, session_->CodeList, newName);
    return true;
}

void TfrmCodeEdit::RemoveEntry()
{
    if (ReadOnly())
        return;
    if (!session_->CodeList || session_->CodeList->Count() == 0)
        return;
    if (!dialogs_ || !dialogs_->Confirm("Are you sure, that you want to remove this code?"))
        return;
    SaveCurrent();
    const int index = session_->CodeList->IndexOfName(entry_);
    if (index >= 0) {
        TOwnListChange change(*this);
        TRecordListEdit record = RecordChange("Remove script " + EntryWords(entry_), entry_, 0);
        session_->CodeList->Delete(index);
        if (OnModified)
            OnModified();
    }
    ShowText({});
    entry_.clear();
    if (session_->CodeList->Count() > 0) {
        OpenList(session_->CodeElement, session_->CodeList, {});
    } else {
        FillEntryList(-1);
    }
}

// --------------------------------------------------------------- names

TParList* TfrmCodeEdit::ProjectNames() const
{
    return project_ && !project_->DataEditMode ? project_->ProjectNames.get() : nullptr;
}

void TfrmCodeEdit::RefreshNames(const Project& project)
{
    std::vector<std::string> words;
    for (const TParList* names : {project.SharedNames.get(), project.ProjectNames.get()}) {
        if (!names)
            continue;
        for (int i = 0; i < names->Count(); ++i)
            words.push_back("@" + names->Par(i)->Name);
    }
    std::vector<std::string> sorted = words;
    std::stable_sort(sorted.begin(), sorted.end(),
                     [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
    // A project name that repeats a shared one (in any letter case) stands
    // for it: the name is offered once, spelt as the project spells it.
    nameChoices_.clear();
    for (std::string& word : sorted) {
        if (!nameChoices_.empty() && SameText(nameChoices_.back(), word))
            nameChoices_.back() = std::move(word);
        else
            nameChoices_.push_back(std::move(word));
    }
    edit_->SetWords(2, std::move(words));
    completion_->SetNameChoices(nameChoices_);
}

void TfrmCodeEdit::ShowNamesEditor()
{
    TParList* names = ProjectNames();
    if (!names || !paramEdit_)
        return;
    std::string position;
    if (edit_->SelLength() == 0) {
        const TSourceToken token = edit_->CaretToken();
        if (!token.Text.empty() && token.Text[0] == '@')
            position = token.Text.substr(1, 200);
    }
    bool edited;
    {
        TRecordListEdit record(session_, "Edit Names list", nullptr, names);
        edited = paramEdit_->EditList(names, "Names list", position);
    }
    if (edited && OnModified)
        OnModified();
    RefreshNames(*project_);
}

void TfrmCodeEdit::ConvertTextToName()
{
    TParList* names = ProjectNames();
    if (!names || edit_->SelLength() > 0 || edit_->isReadOnly())
        return;
    const TSourceToken token = edit_->CaretToken();
    if (token.Text.empty())
        return;
    if (token.Text[0] == '@') {
        ShowNamesEditor();
        return;
    }
    edit_->SetSelStart(token.Start);
    edit_->SetSelLength(token.Length);
    if (!AskNewName)
        return;
    const std::optional<std::string> name = AskNewName(*names, "name", {});
    if (!name)
        return;
    std::string value = token.Text;
    if (value[0] == '\'' || value[0] == '"') {
        // A literal that runs to the end of the text has no closing quote.
        const bool closed = value.size() >= 2 && value.back() == value[0];
        value = value.substr(1, value.size() - (closed ? 2 : 1));
    }
    // The new name and the text that uses it are one step.
    TStepGroup group(session_, "Convert text to name");
    {
        TRecordListEdit record(session_, "Add name " + *name, nullptr, names);
        names->SetValue(*name, value);
    }
    edit_->ReplaceToken(token, "@" + *name);
    SaveCurrent();
    if (OnModified)
        OnModified();
    RefreshNames(*project_);
}

// --------------------------------------------------------------- text tools

void TfrmCodeEdit::CutAll()
{
    const std::string text = edit_->Text();
    QApplication::clipboard()->setText(ToQ(WithLineBreaks(WithLfBreaks(text), "\r\n")));
    edit_->ReplaceRange(0, static_cast<int>(text.size()), {});
    UpdateHistoryButtons();
}

std::string TfrmCodeEdit::WordAtCaret() const
{
    const std::string text = edit_->Text();
    const size_t caret = std::min(static_cast<size_t>(std::max(edit_->SelStart(), 0)), text.size());
    size_t begin = caret;
    while (begin > 0 && IsWordChar(text[begin - 1]))
        --begin;
    size_t end = caret;
    while (end < text.size() && IsWordChar(text[end]))
        ++end;
    return text.substr(begin, end - begin);
}

void TfrmCodeEdit::HelpAtCaret()
{
    if (help_)
        help_->ShowHelpFor(WordAtCaret());
}

void TfrmCodeEdit::SetAddParentheses(bool on) { completion_->SetAddParentheses(on); }
void TfrmCodeEdit::SetCompletionDelay(int ms) { completion_->SetDelay(ms); }
bool TfrmCodeEdit::AddParentheses() const { return completion_->AddParentheses(); }
int TfrmCodeEdit::CompletionDelay() const { return completion_->Delay(); }

// --------------------------------------------------------------- docking

void TfrmCodeEdit::DockInto(QWidget* codeArea, QWidget* workArea)
{
    if (!codeArea)
        return;
    QLayout* layout = codeArea->layout();
    if (!layout) {
        layout = new QVBoxLayout(codeArea);
        layout->setContentsMargins(0, 0, 0, 0);
    }
    pane_->setParent(codeArea);
    layout->addWidget(pane_);
    pane_->show();
    completion_->SetPanelParent(workArea ? workArea : codeArea);
}

void TfrmCodeEdit::Undock()
{
    completion_->HideAll();
    completion_->SetPanelParent(pane_);
    if (pane_->parentWidget() != this) {
        pane_->setParent(this);
        layout()->addWidget(pane_);
    }
}

void TfrmCodeEdit::FillFunctionWords()
{
    std::vector<std::string> words;
    if (help_) {
        for (const TFunctionEntry& entry : help_->Index.FunctionNames())
            if (words.empty() || words.back() != entry.Name)
                words.push_back(entry.Name);
    }
    edit_->SetWords(1, std::move(words));
}

bool TfrmCodeEdit::TextHasFocus() const { return edit_->hasFocus(); }

bool TfrmCodeEdit::PaneHasFocus() const { return edit_->hasFocus() || entries_->hasFocus(); }

void TfrmCodeEdit::FocusText() { edit_->setFocus(); }

void TfrmCodeEdit::ReadSettings(TSettings& settings)
{
    hostGeometry_ = QRect(settings.ReadInteger(CodeEditSection, "left", 10),
                          settings.ReadInteger(CodeEditSection, "top", 10),
                          settings.ReadInteger(CodeEditSection, "width", 789),
                          settings.ReadInteger(CodeEditSection, "height", 566));
    setGeometry(hostGeometry_);
    if (help_)
        help_->ReadGeometry(settings);
}

void TfrmCodeEdit::WriteSettings(TSettings& settings)
{
    settings.WriteInteger(CodeEditSection, "height", hostGeometry_.height());
    settings.WriteInteger(CodeEditSection, "width", hostGeometry_.width());
    settings.WriteInteger(CodeEditSection, "left", hostGeometry_.left());
    settings.WriteInteger(CodeEditSection, "top", hostGeometry_.top());
    if (help_)
        help_->WriteGeometry(settings);
}

} // namespace kestrune
