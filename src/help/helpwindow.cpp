#include "help/helpwindow.h"

#include "controls/htmlview.h"
#include "controls/settings.h"
#include "controls/userdialogs.h"
#include "core/text.h"

#include <QAction>
#include <QApplication>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QSplitter>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace kestrune {
namespace {

const std::string kSection = "qv5editor\\help";
constexpr int kDefaultWidth = 757;
constexpr int kDefaultHeight = 569;
constexpr int kDefaultLeft = 10;
constexpr int kDefaultTop = 10;
constexpr int kTreeWidth = 169;

constexpr std::string_view kClassPageEnding = ".class.html";
constexpr std::string_view kTitleEnding = "- KESTRUNE";

int NodeOfItem(const QTreeWidgetItem* item) { return item ? item->data(0, Qt::UserRole).toInt() : -1; }

// Sets a flag for the lifetime of the guard and restores it after.
class TFlagGuard {
public:
    explicit TFlagGuard(bool& flag) : flag_(flag), saved_(flag) { flag_ = true; }
    ~TFlagGuard() { flag_ = saved_; }
    TFlagGuard(const TFlagGuard&) = delete;
    TFlagGuard& operator=(const TFlagGuard&) = delete;

private:
    bool& flag_;
    bool saved_;
};

// The position of "<a name=" followed by exactly that anchor name (the
// name ends where the page's anchors end: ">", a blank or "("), or npos.
size_t FindAnchor(const std::string& source, const std::string& anchor)
{
    const std::string tag = "<a name=" + anchor;
    for (size_t at = source.find(tag); at != std::string::npos; at = source.find(tag, at + 1)) {
        const size_t end = at + tag.size();
        if (end == source.size() || source[end] == '>' || source[end] == ' ' || source[end] == '(')
            return at;
    }
    return std::string::npos;
}

// The tree's icons by image number; a function's icon shows image 3 when
// it is selected.
std::vector<QIcon> TreeIcons()
{
    QIcon function(TForm3::HelpImage(2));
    function.addPixmap(TForm3::HelpImage(3), QIcon::Selected);
    return {QIcon(TForm3::HelpImage(0)), QIcon(TForm3::HelpImage(1)), function};
}

} // namespace

TForm3::TForm3(QWidget* parent, UserDialogs* dialogs) : QWidget(parent, Qt::Window)
{
    setWindowTitle(QStringLiteral("QV5Lang help"));
    resize(kDefaultWidth, kDefaultHeight);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    toolBar_ = new QToolBar(this);
    toolBar_->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    toolBar_->setFloatable(false);
    toolBar_->setMovable(false);
    auto addButton = [this](QStyle::StandardPixmap icon, const QString& caption, auto slot) {
        QAction* action = toolBar_->addAction(style()->standardIcon(icon), caption);
        action->setShortcut(QKeySequence::mnemonic(caption));
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    addButton(QStyle::SP_ArrowBack, QStringLiteral("&Back"), [this] { Back(); });
    addButton(QStyle::SP_ArrowUp, QStringLiteral("&Top"), [this] { Top(); });
    addButton(QStyle::SP_FileDialogContentsView, QStringLiteral("&Index"), [this] { ShowIndex(); });
    toolBar_->addSeparator();
    addButton(QStyle::SP_DialogCloseButton, QStringLiteral("&Close"), [this] { CloseHelp(); });
    searchAction_ = toolBar_->addAction(QStringLiteral("Search"));
    connect(searchAction_, &QAction::triggered, this, [this] { Search(SearchText()); });
    searchAction_->setVisible(false);
    outer->addWidget(toolBar_);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setHandleWidth(2);
    splitter_->setChildrenCollapsible(false);
    outer->addWidget(splitter_, 1);

    auto* left = new QWidget(splitter_);
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->setSpacing(2);
    tree_ = new QTreeWidget(left);
    tree_->setHeaderHidden(true);
    tree_->setColumnCount(1);
    tree_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_->setSelectionMode(QAbstractItemView::SingleSelection);
    tree_->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree_->setAllColumnsShowFocus(true);
    tree_->setRootIsDecorated(false);
    tree_->setIndentation(19);
    leftLayout->addWidget(tree_, 1);
    auto* searchRow = new QHBoxLayout;
    searchRow->setSpacing(2);
    searchBox_ = new QLineEdit(left);
    goButton_ = new QToolButton(left);
    goButton_->setIcon(style()->standardIcon(QStyle::SP_ArrowRight));
    goButton_->setToolTip(QStringLiteral("Search"));
    goButton_->setAutoRaise(false);
    searchRow->addWidget(searchBox_, 1);
    searchRow->addWidget(goButton_);
    leftLayout->addLayout(searchRow);

    auto* right = new QWidget(splitter_);
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->setSpacing(2);
    title_ = new QLabel(right);
    title_->setTextFormat(Qt::PlainText);
    title_->setAlignment(Qt::AlignCenter);
    QFont titleFont(QStringLiteral("MS Sans Serif"));
    titleFont.setPixelSize(13);
    titleFont.setBold(true);
    title_->setFont(titleFont);
    view_ = new THtmlView(right, dialogs);
    rightLayout->addWidget(title_);
    rightLayout->addWidget(view_, 1);

    splitter_->addWidget(left);
    splitter_->addWidget(right);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({kTreeWidth, kDefaultWidth - kTreeWidth - splitter_->handleWidth()});

    connect(tree_, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
        if (!syncing_ && current)
            NodeChosen(NodeOfItem(current));
    });
    connect(goButton_, &QToolButton::clicked, this, [this] { Search(SearchText()); });
    connect(view_, &THtmlView::Navigated, this, [this] { RecordLocation(false); });
    connect(view_, &THtmlView::KeyPressed, this, [this](QKeyEvent* event) { ViewKeyPressed(event); });
}

TForm3::~TForm3() = default;

void TForm3::LoadHelp(const std::string& docName)
{
    DocName = docName;
    Index.BuildFunctionIndex(docName);
    backList_.clear();
    lastFunctionTarget_.clear();
    FillTree();
}

void TForm3::FillTree()
{
    TFlagGuard guard(syncing_);
    tree_->setUpdatesEnabled(false);
    tree_->clear();
    const std::vector<THelpNode>& nodes = Index.Nodes();
    const std::vector<QIcon> icons = TreeIcons();
    auto icon = [&icons](int image) { return icons[std::clamp(image, 0, 2)]; };
    items_.assign(nodes.size(), nullptr);
    for (int top : Index.TopLevel()) {
        const THelpNode& cls = nodes[top];
        auto* classItem = new QTreeWidgetItem(tree_, QStringList(ToQ(cls.Text)));
        classItem->setIcon(0, icon(cls.Image));
        classItem->setData(0, Qt::UserRole, top);
        items_[top] = classItem;
        for (int child : cls.Children) {
            auto* item = new QTreeWidgetItem(classItem, QStringList(ToQ(nodes[child].Text)));
            item->setIcon(0, icon(nodes[child].Image));
            item->setData(0, Qt::UserRole, child);
            items_[child] = item;
        }
    }
    tree_->setUpdatesEnabled(true);
}

void TForm3::ShowHelpFor(const std::string& word)
{
    const int entry = Index.IndexOfName(word);
    if (entry < 0) {
        ShowPage(Index.PagePath("index.html"));
    } else {
        searchBox_->setText(ToQ(word));
        SelectNode(Index.FunctionNames()[entry].Node);
    }
    show();
    raise();
    activateWindow();
}

bool TForm3::ShowPage(const std::string& path)
{
    // A path with an anchor never names the file shown: it is loaded again,
    // positioned at the anchor.
    const std::string& current = view_->CurrentFile();
    if (!current.empty()) {
        std::error_code ec;
        const std::filesystem::path abs = std::filesystem::absolute(path, ec);
        if (!ec && abs.lexically_normal().string() == current) {
            view_->ScrollToTop();
            return true;
        }
    }
    return view_->LoadFile(path);
}

QTreeWidgetItem* TForm3::ItemOfNode(int node) const
{
    return node >= 0 && node < static_cast<int>(items_.size()) ? items_[node] : nullptr;
}

void TForm3::SelectNode(int node)
{
    QTreeWidgetItem* item = ItemOfNode(node);
    if (!item)
        return;
    // Also a node that is selected already shows its page again.
    SyncSelection(item);
    tree_->scrollToItem(item);
    NodeChosen(node);
}

void TForm3::SyncSelection(QTreeWidgetItem* item)
{
    TFlagGuard guard(syncing_);
    if (item) {
        tree_->setCurrentItem(item);
    } else {
        tree_->setCurrentItem(nullptr);
        tree_->clearSelection();
    }
}

int TForm3::SelectedNode() const
{
    const QTreeWidgetItem* item = tree_->currentItem();
    return item && item->isSelected() ? NodeOfItem(item) : -1;
}

void TForm3::NodeChosen(int node)
{
    if (node < 0 || node >= static_cast<int>(Index.Nodes().size()))
        return;
    const THelpNode& chosen = Index.Nodes()[node];
    if (chosen.IsFunction()) {
        lastFunctionTarget_ = "#functions." + chosen.Text;
        ShowPage(Index.ClassPagePath(node) + lastFunctionTarget_);
        // Also when the page could not be shown: the place is what the
        // window shows now with the function's target.
        RecordLocation(true);
    } else {
        ShowPage(Index.ClassPagePath(node));
    }
}

void TForm3::RecordLocation(bool byWindow)
{
    std::string location = view_->CurrentFile();
    const std::string& hover = view_->HoverLink();
    const size_t hoverHash = hover.find('#');
    if (hoverHash != std::string::npos)
        location += hover.substr(hoverHash);
    if (byWindow)
        location += lastFunctionTarget_;
    if (!goingBack_ && !location.empty())
        backList_.push_back(location);

    std::string target, function;
    const size_t hash = location.find('#');
    if (hash != std::string::npos) {
        target = location.substr(hash + 1);
        const size_t dot = target.find('.');
        function = dot == std::string::npos ? target : target.substr(dot + 1);
    }

    std::string title = view_->DocumentTitle();
    const size_t ending = title.find(kTitleEnding);
    if (ending != std::string::npos)
        title.erase(ending);
    title_->setText(ToQ(title));

    // The node of the page: the first node of the function's name from the
    // class's first child on through the rest of the tree (so a function
    // documented elsewhere is found too), otherwise the class; none for
    // pages that are no class page.
    QTreeWidgetItem* select = nullptr;
    const std::string fileName = std::filesystem::path(view_->CurrentFile()).filename().string();
    const size_t classEnd = LowerCase(fileName).find(kClassPageEnding);
    if (classEnd != std::string::npos) {
        const QString className = ToQ(fileName.substr(0, classEnd));
        for (int i = 0; i < tree_->topLevelItemCount() && !select; ++i)
            if (tree_->topLevelItem(i)->text(0) == className)
                select = tree_->topLevelItem(i);
        if (select && !function.empty() && select->childCount() > 0) {
            const QString name = ToQ(function);
            for (QTreeWidgetItemIterator it(select->child(0)); *it; ++it)
                if ((*it)->text(0) == name) {
                    MarkAnchor(target);
                    select = *it;
                    break;
                }
        }
    }
    SyncSelection(select);
    if (select)
        tree_->scrollToItem(select);
}

void TForm3::MarkAnchor(const std::string& location)
{
    const size_t hash = location.find('#');
    const std::string anchor = hash == std::string::npos ? location : location.substr(hash + 1);
    if (anchor.empty()) {
        view_->ClearSelection();
        return;
    }
    const std::string source = ReadPageText(view_->CurrentFile());
    const size_t at = FindAnchor(source, anchor);
    const size_t dot = anchor.find('.');
    const std::string function = dot == std::string::npos ? anchor : anchor.substr(dot + 1);
    if (at != std::string::npos)
        view_->SelectFromSource(source, at, static_cast<int>(function.size()));
}

void TForm3::Back()
{
    if (backList_.size() < 2)
        return;
    const std::string location = backList_[backList_.size() - 2];
    {
        TFlagGuard guard(goingBack_);
        if (ShowPage(location))
            MarkAnchor(location);
    }
    backList_.pop_back();
}

void TForm3::Top()
{
    view_->ScrollToTop();
    RecordLocation(true);
}

void TForm3::ShowIndex() { ShowPage(Index.PagePath("index.html")); }

void TForm3::CloseHelp() { close(); }

void TForm3::Search(const std::string& text)
{
    const std::vector<TFunctionEntry>& names = Index.FunctionNames();
    const int selected = SelectedNode();
    if (selected < 0 || !SameText(Index.Nodes()[selected].Text, text)) {
        const int entry = Index.IndexOfName(text);
        if (entry >= 0)
            SelectNode(names[entry].Node);
        return;
    }
    // The selected function again: the next one of that name, or the first.
    for (size_t i = 0; i < names.size(); ++i) {
        if (names[i].Node != selected)
            continue;
        const bool nextSame = i + 1 < names.size() && SameText(names[i + 1].Name, text);
        const int next = nextSame ? static_cast<int>(i + 1) : Index.IndexOfName(names[i].Name);
        SelectNode(names[next].Node);
        return;
    }
}

std::string TForm3::TitleText() const { return FromQ(title_->text()); }

std::string TForm3::CurrentFile() const { return view_->CurrentFile(); }

std::string TForm3::SearchText() const { return FromQ(searchBox_->text()); }

void TForm3::ReadGeometry(TSettings& settings)
{
    int height = settings.ReadInteger(kSection, "height", kDefaultHeight);
    int width = settings.ReadInteger(kSection, "width", kDefaultWidth);
    const int left = settings.ReadInteger(kSection, "left", kDefaultLeft);
    const int top = settings.ReadInteger(kSection, "top", kDefaultTop);
    if (height <= 0)
        height = kDefaultHeight;
    if (width <= 0)
        width = kDefaultWidth;
    setGeometry(left, top, width, height);
}

void TForm3::WriteGeometry(TSettings& settings)
{
    const QRect r = isMaximized() || isMinimized() ? normalGeometry() : geometry();
    settings.WriteInteger(kSection, "height", r.height());
    settings.WriteInteger(kSection, "width", r.width());
    settings.WriteInteger(kSection, "left", r.left());
    settings.WriteInteger(kSection, "top", r.top());
}

void TForm3::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        CloseHelp();
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        // The go button is the window's default button.
        Search(SearchText());
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TForm3::ViewKeyPressed(QKeyEvent* event)
{
    // Shortcuts (copying, selecting all) and the keys that scroll or move
    // between links stay with the view, Escape and Enter go to the window;
    // any other key moves to the search box, and what it types lands there.
    if (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return;
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_Left:
    case Qt::Key_Right:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Alt:
    case Qt::Key_Meta:
        return;
    default:
        break;
    }
    searchBox_->setFocus(Qt::OtherFocusReason);
    if (!event->text().isEmpty())
        QApplication::sendEvent(searchBox_, event);
    event->accept();
}

QPixmap TForm3::HelpImage(int index)
{
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    if (index <= 1) {
        // A page with a folded corner; written lines when it documents functions.
        const QPolygonF page({QPointF(2.5, 0.5), QPointF(10.5, 0.5), QPointF(13.5, 3.5), QPointF(13.5, 15.5),
                              QPointF(2.5, 15.5)});
        p.setPen(QColor(96, 96, 96));
        p.setBrush(index == 1 ? QColor(255, 255, 240) : QColor(240, 240, 240));
        p.drawPolygon(page);
        p.drawPolyline(QPolygonF({QPointF(10.5, 0.5), QPointF(10.5, 3.5), QPointF(13.5, 3.5)}));
        if (index == 1) {
            p.setPen(QPen(QColor(40, 80, 200), 1));
            for (int y = 6; y <= 13; y += 2)
                p.drawLine(QPointF(4.5, y + 0.5), QPointF(11.5, y + 0.5));
        }
    } else {
        // A diamond: green for a function, orange when it is the selected one.
        const QColor fill = index == 3 ? QColor(235, 120, 30) : QColor(40, 160, 70);
        p.setPen(fill.darker(150));
        p.setBrush(fill);
        p.drawPolygon(QPolygonF({QPointF(8, 2.5), QPointF(13.5, 8), QPointF(8, 13.5), QPointF(2.5, 8)}));
        p.setPen(Qt::NoPen);
        p.setBrush(QColor(255, 255, 255, 150));
        p.drawEllipse(QPointF(6.5, 6.5), 1.5, 1.5);
    }
    return pixmap;
}

} // namespace kestrune
