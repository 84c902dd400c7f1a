#include "params/paramedit.h"

#include "controls/datagrid.h"
#include "controls/textbox.h"
#include "controls/userdialogs.h"
#include "core/parlist.h"
#include "controls/settings.h"

#include <QAction>
#include <QApplication>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHideEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QScopedValueRollback>
#include <QScreen>
#include <QShowEvent>
#include <QSplitter>
#include <QStyle>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <limits>

namespace kestrune {

namespace {

// Keeps the one remembered row name of the editor (which the bulk brackets
// of the list copies overwrite) as it was.
class KeepRememberedRowName {
public:
    KeepRememberedRowName() : saved_(RememberedRowName()) {}
    ~KeepRememberedRowName() { RememberedRowName() = saved_; }

private:
    std::string saved_;
};

} // namespace

TfrmParamEdit::TfrmParamEdit(UserDialogs& dialogs, QWidget* parent) : QDialog(parent), dialogs_(dialogs)
{
    setWindowTitle(QStringLiteral("Parameters editor"));
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    setFont(font);

    ToolBar = new QToolBar(this);
    ToolBar->setIconSize(QSize(16, 16));
    QStyle* st = style();
    AddAction = ToolBar->addAction(st->standardIcon(QStyle::SP_FileIcon), QStringLiteral("Add"));
    RemoveAction = ToolBar->addAction(st->standardIcon(QStyle::SP_TrashIcon), QStringLiteral("Remove"));
    RenameAction = ToolBar->addAction(st->standardIcon(QStyle::SP_FileDialogDetailedView), QStringLiteral("Rename"));
    RenameAction->setVisible(false);
    ToolBar->addSeparator();
    CloseAction = ToolBar->addAction(st->standardIcon(QStyle::SP_DialogCloseButton), QStringLiteral("Close"));
    for (QAction* a : {AddAction, RemoveAction, RenameAction, CloseAction})
        a->setToolTip(a->text());
    connect(AddAction, &QAction::triggered, this, [this] { Add(); });
    connect(RemoveAction, &QAction::triggered, this, [this] { Remove(); });
    connect(CloseAction, &QAction::triggered, this, [this] { CloseWindow(); });

    Splitter = new QSplitter(Qt::Vertical, this);
    Splitter->setHandleWidth(3);
    Splitter->setChildrenCollapsible(false);

    Grid = new TDataGrid(Splitter);
    Grid->SetReadOnly(true); // rows are edited in the panel, never in place
    Grid->setFocusPolicy(Qt::ClickFocus);
    Grid->setTabKeyNavigation(false);

    EditPanel = new QWidget(Splitter);
    ConfirmButton = new QToolButton(EditPanel);
    ConfirmButton->setAutoRaise(true);
    ConfirmButton->setIcon(st->standardIcon(QStyle::SP_DialogApplyButton));
    ConfirmButton->setToolTip(QStringLiteral("Post"));
    CancelButton = new QToolButton(EditPanel);
    CancelButton->setAutoRaise(true);
    CancelButton->setIcon(st->standardIcon(QStyle::SP_DialogCancelButton));
    CancelButton->setToolTip(QStringLiteral("Cancel"));
    connect(ConfirmButton, &QToolButton::clicked, this, [this] { ConfirmRow(); });
    connect(CancelButton, &QToolButton::clicked, this, [this] { CancelRow(); });

    NameLabel = new QLabel(QStringLiteral("Name"), EditPanel);
    NameEdit = new QLineEdit(EditPanel);
    NameLabel->setBuddy(NameEdit);
    GroupLabel = new QLabel(QStringLiteral("Group"), EditPanel);
    GroupEdit = new QLineEdit(EditPanel);
    GroupLabel->hide();
    GroupEdit->hide();
    ValueEdit = new QPlainTextEdit(EditPanel);
    ValueEdit->setTabChangesFocus(true);
    connect(NameEdit, &QLineEdit::textEdited, this, [this] { NameTyped(); });
    connect(ValueEdit, &QPlainTextEdit::textChanged, this, [this] {
        if (!syncing_)
            ValueTyped();
    });

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->setSpacing(1);
    buttons->addWidget(ConfirmButton);
    buttons->addWidget(CancelButton);
    buttons->addStretch(1);
    auto* nameRow = new QHBoxLayout;
    nameRow->setContentsMargins(0, 0, 0, 0);
    nameRow->addWidget(NameLabel);
    nameRow->addWidget(NameEdit, 1);
    auto* panel = new QVBoxLayout(EditPanel);
    panel->setContentsMargins(2, 2, 2, 2);
    panel->setSpacing(2);
    panel->addLayout(buttons);
    panel->addLayout(nameRow);
    panel->addWidget(ValueEdit, 1);

    Splitter->addWidget(Grid);
    Splitter->addWidget(EditPanel);
    Splitter->setStretchFactor(0, 1);
    Splitter->setStretchFactor(1, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(ToolBar);
    layout->addWidget(Splitter, 1);

    // The table's handler first: the grid passes every notification on to it.
    table_.OnChange = [this](TPropertyTable&) { TableChanged(); };
    table_.AfterPost = [this](TPropertyTable&) { RowPosted(); };
    Grid->SetTable(&table_);
    // The name column may be dragged to any width that leaves it readable.
    Grid->SetNameColumnRange(MinNameWidth, std::numeric_limits<int>::max());
    Grid->setColumnWidth(0, DesignNameWidth);

    focusConnection_ =
        connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FocusChanged(now); });

    resize(DesignWidth, DesignHeight);
    SetPanelHeight(DesignPanelHeight);
    TableChanged();
}

TfrmParamEdit::~TfrmParamEdit()
{
    // The child widgets are destroyed after this and give up the focus as
    // they go: that must not reach this half-destroyed window.
    disconnect(focusConnection_);
    Grid->SetTable(nullptr);
    table_.OnChange = nullptr;
    table_.AfterPost = nullptr;
}

// ------------------------------------------------------------ the list

namespace {
std::vector<std::pair<std::string, std::string>> Entries(const TParList* list)
{
    std::vector<std::pair<std::string, std::string>> entries;
    for (int i = 0; list && i < list->Count(); ++i)
        entries.emplace_back(list->Par(i)->Name, list->Par(i)->Value);
    return entries;
}
} // namespace

bool TfrmParamEdit::EditList(TParList* list, const std::string& caption, const std::string& positionAt)
{
    const auto before = Entries(list);
    BeginEdit(list, caption, positionAt);
    exec();
    FinishEdit();
    return Entries(list) != before;
}

void TfrmParamEdit::BeginEdit(TParList* list, const std::string& caption, const std::string& positionAt)
{
    caption_ = caption;
    setWindowTitle(ToQ(caption));
    list_ = list;
    table_.DisableControls();
    table_.Cancel();
    if (list) {
        KeepRememberedRowName keep;
        list->FillTable(table_);
    } else {
        table_.Clear();
    }
    table_.SortBy("NAME");
    if (positionAt.empty() || !table_.Locate(TPropertyTable::Field::Name, positionAt))
        table_.First();
    table_.EnableControls();
    TableChanged();
}

void TfrmParamEdit::FinishEdit()
{
    PostPending();
    if (list_) {
        KeepRememberedRowName keep;
        list_->ReadTable(table_);
    }
    list_ = nullptr;
}

void TfrmParamEdit::PostPending()
{
    if (table_.GetState() != TPropertyTable::State::Browse)
        table_.Post();
}

void TfrmParamEdit::RowPosted()
{
    if (posting_)
        return;
    posting_ = true;
    const std::string name = table_.Name();
    table_.DisableControls();
    if (name.empty()) {
        dialogs_.Error("Field name must have a value!");
        table_.Delete();
    } else {
        table_.SortBy("NAME");
        table_.Locate(TPropertyTable::Field::Name, name);
    }
    table_.EnableControls();
    posting_ = false;
}

// ------------------------------------------------------------ commands

void TfrmParamEdit::Add()
{
    NameEdit->setFocus();
    table_.Insert();
}

void TfrmParamEdit::Remove()
{
    if (table_.IsEmpty() && table_.GetState() != TPropertyTable::State::Insert)
        return;
    if (!dialogs_.Confirm("Are you sure to delete " + table_.Name() + "?"))
        return;
    table_.Delete();
}

void TfrmParamEdit::CloseWindow() { accept(); }

bool TfrmParamEdit::ConfirmRow()
{
    if (table_.GetState() == TPropertyTable::State::Browse)
        return true;
    return table_.Post();
}

void TfrmParamEdit::CancelRow() { table_.Cancel(); }

void TfrmParamEdit::TypeName(const std::string& name)
{
    if (table_.GetState() == TPropertyTable::State::Browse && !table_.Current())
        table_.Append(); // typing into an empty table starts a new row
    table_.SetName(name);
}

void TfrmParamEdit::TypeValue(const std::string& value)
{
    if (table_.GetState() == TPropertyTable::State::Browse && !table_.Current())
        table_.Append();
    table_.SetValue(value);
}

void TfrmParamEdit::NameTyped()
{
    {
        const QScopedValueRollback<QWidget*> typing(typingInto_, NameEdit);
        TypeName(FromQ(NameEdit->text()));
    }
    // Only characters without a Latin-1 byte differ from what was stored.
    const QString name = ToQ(table_.Name());
    if (NameEdit->text() != name) {
        const int caret = NameEdit->cursorPosition();
        NameEdit->setText(name);
        NameEdit->setCursorPosition(caret);
    }
}

void TfrmParamEdit::ValueTyped()
{
    {
        const QScopedValueRollback<QWidget*> typing(typingInto_, ValueEdit);
        TypeValue(WithLineBreaks(BoxText(ValueEdit), LineBreakOf(table_.Value())));
    }
    const std::string value = WithLfBreaks(table_.Value());
    if (BoxText(ValueEdit) != value) {
        const int caret = ValueEdit->textCursor().position();
        const QScopedValueRollback<bool> sync(syncing_, true);
        ValueEdit->setPlainText(ToQ(value));
        QTextCursor cursor = ValueEdit->textCursor();
        cursor.setPosition(std::min(caret, ValueEdit->document()->characterCount() - 1));
        ValueEdit->setTextCursor(cursor);
    }
}

void TfrmParamEdit::done(int result)
{
    // Closing in any way posts the row being edited first.
    PostPending();
    QDialog::done(result);
}

// ------------------------------------------------------------ display

void TfrmParamEdit::TableChanged()
{
    const bool editing = table_.GetState() != TPropertyTable::State::Browse;
    ConfirmButton->setEnabled(editing);
    CancelButton->setEnabled(editing);
    if (syncing_)
        return;
    syncing_ = true;
    // The box being typed into already holds what it writes into the row:
    // setting its text again would move its caret to an end.
    const QString name = ToQ(table_.Name());
    if (typingInto_ != NameEdit && NameEdit->text() != name)
        NameEdit->setText(name);
    const std::string value = WithLfBreaks(table_.Value());
    if (typingInto_ != ValueEdit && BoxText(ValueEdit) != value)
        ValueEdit->setPlainText(ToQ(value));
    syncing_ = false;
}

void TfrmParamEdit::FocusChanged(QWidget* now)
{
    // Going back to the grid leaves the row: post it before the grid moves.
    if (now && (now == Grid || Grid->isAncestorOf(now)))
        PostPending();
}

// ------------------------------------------------------------ geometry

std::string TfrmParamEdit::SettingsSection() const { return "qv5editor\\" + caption_; }

int TfrmParamEdit::PanelHeight() const
{
    const QList<int> sizes = Splitter->sizes();
    if (isVisible() && sizes.size() == 2 && sizes[1] > 0)
        return sizes[1];
    return panelHeight_;
}

void TfrmParamEdit::SetPanelHeight(int height)
{
    panelHeight_ = std::max(0, height);
    const int total = std::max(Splitter->height() - Splitter->handleWidth(), panelHeight_ + 1);
    Splitter->setSizes({total - panelHeight_, panelHeight_});
}

int TfrmParamEdit::NameColumnWidth() const { return Grid->columnWidth(0); }

void TfrmParamEdit::RestoreGeometry()
{
    const auto settings = TSettings::OpenSettings();
    const std::string section = SettingsSection();
    const int w = settings->ReadInteger(section, "width", width());
    const int h = settings->ReadInteger(section, "height", height());
    resize(w, h);
    QScreen* scr = screen() ? screen() : QGuiApplication::primaryScreen();
    const QRect area = scr ? scr->geometry() : QRect(0, 0, w, h);
    const int top = settings->ReadInteger(section, "top", (area.height() - h) / 2);
    const int left = settings->ReadInteger(section, "left", (area.width() - w) / 2);
    move(left, top);
    const int spacer = settings->ReadInteger(section, "spacer", PanelHeight());
    if (layout())
        layout()->activate();
    SetPanelHeight(spacer);
    Grid->setColumnWidth(0, settings->ReadInteger(section, "ewidth", NameColumnWidth()));
    settings->CloseSettings();
}

void TfrmParamEdit::StoreGeometry()
{
    panelHeight_ = PanelHeight();
    const auto settings = TSettings::OpenSettings();
    const std::string section = SettingsSection();
    settings->WriteInteger(section, "width", width());
    settings->WriteInteger(section, "height", height());
    settings->WriteInteger(section, "top", y());
    settings->WriteInteger(section, "left", x());
    settings->WriteInteger(section, "spacer", panelHeight_);
    settings->WriteInteger(section, "ewidth", NameColumnWidth());
    settings->CloseSettings();
}

void TfrmParamEdit::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (!event->spontaneous())
        RestoreGeometry();
}

void TfrmParamEdit::hideEvent(QHideEvent* event)
{
    if (!event->spontaneous())
        StoreGeometry();
    QDialog::hideEvent(event);
}

} // namespace kestrune
