#include "shell/browser.h"

#include "controls/userdialogs.h"
#include "core/text.h"
#include "model/canvas.h"
#include "model/editsession.h"
#include "model/map.h"
#include "model/project.h"

#include <QApplication>
#include <QComboBox>
#include <QDrag>
#include <QEvent>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <QTreeWidget>

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <unordered_map>
#include <vector>

namespace kestrune {

namespace fs = std::filesystem;

namespace {

const TElementBrowser::Kind Kinds[TElementBrowser::KindCount] = {
    {"Maps", nullptr, TElementBrowser::Shape::Flat},
    {"Walls", "group", TElementBrowser::Shape::Grouped},
    {"Floors", "group", TElementBrowser::Shape::Grouped},
    {"Ceilings", "group", TElementBrowser::Shape::Grouped},
    {"Objects", "group", TElementBrowser::Shape::Grouped},
    {"Items", "kind", TElementBrowser::Shape::Grouped},
    {"Monst.", "parent", TElementBrowser::Shape::Nested},
    {"NPC", "parent", TElementBrowser::Shape::Nested},
};

constexpr int NumberRole = Qt::UserRole;
constexpr QRgb MarkGrey = 0xFF808080u;

// A tree node: caption and number, ordered by the captions in locale order.
class TBrowserNode : public QTreeWidgetItem {
public:
    TBrowserNode(const std::string& caption, int number) : caption_(caption)
    {
        setText(0, ToQ(caption));
        setData(0, NumberRole, number);
        setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled);
    }
    const std::string& CaptionText() const { return caption_; }
    bool operator<(const QTreeWidgetItem& other) const override
    {
        return LocaleCompare(caption_, TElementBrowser::Caption(&other)) < 0;
    }

private:
    std::string caption_;
};

int Level(const QTreeWidgetItem* node)
{
    int level = 0;
    for (const QTreeWidgetItem* p = node->parent(); p; p = p->parent())
        ++level;
    return level;
}

bool IsElementNumber(int number) { return number != TElementBrowser::GroupNumber && number != TElementBrowser::ClearNumber; }

// Holds the map view's repaints while it lives.
class RepaintHold {
public:
    explicit RepaintHold(TBrowserHost& host) : host_(host) { host_.HoldRepaint(); }
    ~RepaintHold() { host_.ReleaseRepaint(); }
    RepaintHold(const RepaintHold&) = delete;
    RepaintHold& operator=(const RepaintHold&) = delete;

private:
    TBrowserHost& host_;
};

} // namespace

// ------------------------------------------------------------- naming dialog

std::optional<std::string> AskNewName(UserDialogs& dialogs, const std::function<bool(const std::string&)>& taken,
                                      const std::string& kindWord, const std::string& initial)
{
    std::optional<std::string> answer = dialogs.Input("Enter new " + kindWord + " name", "Name : ", initial);
    if (!answer)
        return std::nullopt;
    if (answer->empty()) {
        dialogs.Error("Name can't be empty!");
        return std::nullopt;
    }
    if (taken && taken(*answer)) {
        dialogs.Error(kindWord + " with name " + *answer + " already exists!");
        return std::nullopt;
    }
    return answer;
}

std::optional<std::string> AskNewName(UserDialogs& dialogs, const TLoadSaveList& list, const std::string& kindWord,
                                      const std::string& initial)
{
    return AskNewName(
        dialogs, [&list](const std::string& name) { return list.IndexOfName(name) >= 0; }, kindWord, initial);
}

// ------------------------------------------------------------- tree building

// The nodes of a tree while it is built, kept apart from the widget so that
// "tree order" (the sorted order the widget will show) is known at every step.
struct TElementBrowser::Builder {
    struct Node {
        std::string caption;
        int number;
        int parent; // -1: top level
        std::vector<int> children;
    };
    std::vector<Node> nodes;
    std::vector<int> top;
    // Every node, and the top-level ones, by upper-cased caption.
    std::unordered_map<std::string, std::vector<int>> all, topLevel;
    std::string remembered;
    int selected = -1;

    int Add(const std::string& caption, int number, int parent)
    {
        const int index = static_cast<int>(nodes.size());
        nodes.push_back({caption, number, parent, {}});
        (parent < 0 ? top : nodes[static_cast<size_t>(parent)].children).push_back(index);
        const std::string key = UpperCase(caption);
        all[key].push_back(index);
        if (parent < 0)
            topLevel[key].push_back(index);
        if (selected < 0 && caption == remembered)
            selected = index;
        return index;
    }
    // Siblings: locale order, then the order they were added in.
    bool SiblingLess(int a, int b) const
    {
        const int c = LocaleCompare(nodes[static_cast<size_t>(a)].caption, nodes[static_cast<size_t>(b)].caption);
        return c != 0 ? c < 0 : a < b;
    }
    std::vector<int> Path(int node) const
    {
        std::vector<int> path;
        for (; node >= 0; node = nodes[static_cast<size_t>(node)].parent)
            path.push_back(node);
        std::reverse(path.begin(), path.end());
        return path;
    }
    // Pre-order of the sorted tree.
    bool TreeLess(int a, int b) const
    {
        const std::vector<int> pa = Path(a), pb = Path(b);
        for (size_t i = 0; i < pa.size() && i < pb.size(); ++i)
            if (pa[i] != pb[i])
                return SiblingLess(pa[i], pb[i]);
        return pa.size() < pb.size();
    }
    int First(const std::vector<int>& candidates, bool topOnly) const
    {
        int best = -1;
        for (int c : candidates)
            if (best < 0 || (topOnly ? SiblingLess(c, best) : TreeLess(c, best)))
                best = c;
        return best;
    }
    int FindTop(const std::string& caption) const
    {
        auto it = topLevel.find(UpperCase(caption));
        return it == topLevel.end() ? -1 : First(it->second, true);
    }
    int FindAny(const std::string& caption) const
    {
        auto it = all.find(UpperCase(caption));
        return it == all.end() ? -1 : First(it->second, false);
    }
};

// ------------------------------------------------------------ item drawing

class TElementBrowser::Delegate : public QStyledItemDelegate {
public:
    Delegate(TElementBrowser& browser, QObject* parent) : QStyledItemDelegate(parent), browser_(browser) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const QTreeWidgetItem* node = NodeOf(index);
        if (!node)
            return;
        const int right = browser_.tree_.viewport()->width();
        const int width = std::max(right - option.rect.left(), 1);
        const bool selected = option.state & QStyle::State_Selected;
        const bool active = option.state & QStyle::State_Active;
        painter->drawImage(option.rect.topLeft(), browser_.NodePicture(node, width, selected, active));
    }

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), std::max(RowHeight, option.fontMetrics.height() + 3)};
    }

private:
    const QTreeWidgetItem* NodeOf(const QModelIndex& index) const
    {
        std::vector<int> rows;
        for (QModelIndex i = index; i.isValid(); i = i.parent())
            rows.push_back(i.row());
        if (rows.empty())
            return nullptr;
        const QTreeWidgetItem* node = browser_.tree_.topLevelItem(rows.back());
        for (auto it = rows.rbegin() + 1; node && it != rows.rend(); ++it)
            node = node->child(*it);
        return node;
    }

    TElementBrowser& browser_;
};

QImage TElementBrowser::NodePicture(const QTreeWidgetItem* node, int width, bool selected, bool active) const
{
    const QFontMetrics metrics(tree_.font());
    const int height = std::max(RowHeight, metrics.height() + 3);
    QImage image(std::max(width, 1), height, QImage::Format_RGB32);
    const QPalette palette = tree_.palette();
    const QPalette::ColorGroup group = active ? QPalette::Active : QPalette::Inactive;
    image.fill(selected ? palette.color(group, QPalette::Highlight) : palette.color(group, QPalette::Base));
    if (!node)
        return image;

    const int kind = CurrentKind();
    const int x = Level(node) * 8;
    const int t = kind >= 1 && kind <= 5 ? 17 : 15;
    const int number = Number(node);
    TListedList* library = Library();
    TListedItem* element = nullptr;
    if (IsElementNumber(number) && library && number - 1 < library->Count())
        element = library->Element(number - 1);
    const QColor text = selected ? palette.color(group, QPalette::HighlightedText) : palette.color(group, QPalette::Text);
    // Shared elements show greyed in Lib mode.
    const QColor grey = palette.color(QPalette::Disabled, QPalette::Text);
    const bool greyed = LibMode() && element && element->Shared;

    QPainter painter(&image);
    painter.setFont(tree_.font());
    painter.setPen(greyed ? grey : text);
    painter.drawText(QRect(x + t, 2, width, height), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                     ToQ(Caption(node)));
    if (node->childCount() > 0)
        painter.drawText(QRect(node->isExpanded() ? x + 6 : x + 4, 1, 12, height),
                         Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine,
                         node->isExpanded() ? QStringLiteral("-") : QStringLiteral("+"));
    painter.end();

    TCanvas canvas(image);
    if (element) {
        switch (kind) {
        case 1: element->Draw(canvas, x - 2, 1, 1, 1); break;
        case 4: element->Draw(canvas, x + 3, 3, 0, 1); break;
        case 5: element->Draw(canvas, x + 2, 2, 0, 1); break;
        case 0:
        case 2:
        case 3: element->Draw(canvas, x + 3, 2, 0, 1); break;
        default: break; // monsters and NPCs have no small picture
        }
    }
    if (node->childCount() > 0)
        canvas.Rectangle(x + 2, 3, x + 13, 14, MarkGrey, TBrush::Hollow);
    else if (kind == 6 || kind == 7)
        canvas.Line(x + t - 4, 8, x + t - 9, 8, MarkGrey);
    return image;
}

int TElementBrowser::MarkLeft(const QTreeWidgetItem* node) const
{
    return tree_.visualItemRect(node).left() + Level(node) * 8;
}

// ------------------------------------------------------------------ create

const TElementBrowser::Kind& TElementBrowser::KindInfo(int kind)
{
    return Kinds[std::clamp(kind, 0, KindCount - 1)];
}

TElementBrowser::TElementBrowser(Project& project, UserDialogs& dialogs, TBrowserHost& host, QTreeWidget& tree,
                                 QComboBox& mapChooser, QObject* parent)
    : QObject(parent), project_(project), dialogs_(dialogs), host_(host), tree_(tree), chooser_(mapChooser),
      treeAlive_(&tree)
{
    ConfigureTree();
    connect(&tree_, &QTreeWidget::itemSelectionChanged, this, [this] { SelectionChanged(); });
    connect(&chooser_, qOverload<int>(&QComboBox::activated), this, [this](int entry) { ChooseMap(entry); });
}

TElementBrowser::~TElementBrowser()
{
    // The tree may outlive the browser: it must not paint through its delegate.
    if (treeAlive_ && treeAlive_->itemDelegate() == delegate_)
        treeAlive_->setItemDelegate(nullptr);
}

void TElementBrowser::ConfigureTree()
{
    tree_.setColumnCount(1);
    tree_.setHeaderHidden(true);
    tree_.setSelectionMode(QAbstractItemView::SingleSelection);
    tree_.setSelectionBehavior(QAbstractItemView::SelectRows);
    tree_.setEditTriggers(QAbstractItemView::NoEditTriggers);
    tree_.setIndentation(19);
    tree_.setRootIsDecorated(false);
    tree_.setUniformRowHeights(true);
    tree_.setSortingEnabled(false);
    tree_.setDragEnabled(false); // the browser starts its own drags
    // The nodes draw their own expand marks.
    tree_.setStyleSheet(QStringLiteral("QTreeView::branch { image: none; border-image: none; background: transparent; }"));
    delegate_ = new Delegate(*this, this);
    tree_.setItemDelegate(delegate_);
    tree_.installEventFilter(this);
    tree_.viewport()->installEventFilter(this);
}

// ------------------------------------------------------------------- state

int TElementBrowser::CurrentKind() const { return project_.CurrentKind; }
bool TElementBrowser::LibMode() const { return project_.LibMode; }

TListedList* TElementBrowser::Library() const { return project_.LibraryOfKind(project_.CurrentKind); }

std::string TElementBrowser::Caption(const QTreeWidgetItem* node)
{
    if (!node)
        return {};
    if (auto* n = dynamic_cast<const TBrowserNode*>(node))
        return n->CaptionText();
    return FromQ(node->text(0));
}

int TElementBrowser::Number(const QTreeWidgetItem* node) { return node ? node->data(0, NumberRole).toInt() : 0; }

QTreeWidgetItem* TElementBrowser::SelectedNode() const
{
    const QList<QTreeWidgetItem*> selected = tree_.selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

int TElementBrowser::SelectedIndex() const
{
    const int number = Number(SelectedNode());
    return number >= 1 && number <= MaxNumber ? number - 1 : -1;
}

TListedItem* TElementBrowser::SelectedLibraryElement() const
{
    const int index = SelectedIndex();
    TListedList* library = Library();
    return library && index >= 0 && index < library->Count() ? library->Element(index) : nullptr;
}

bool TElementBrowser::IsRealMap(const TMap* map) const
{
    return map && map != placeholder_ && project_.Maps && project_.Maps->IndexOf(map) >= 0;
}

// -------------------------------------------------------------- select kind

void TElementBrowser::SelectKind(int kind)
{
    if (kind < 0 || kind >= KindCount)
        return;
    host_.SaveCurrent();
    // A value being typed takes effect in the kind it was typed in.
    host_.PostPendingEdit();
    if (QTreeWidgetItem* node = SelectedNode())
        RememberedSelection[static_cast<size_t>(project_.CurrentKind)] = Caption(node);
    project_.CurrentKind = kind;
    const bool lib = project_.LibMode;
    treeDrag_ = !lib && kind >= 5;
    RebuildTree();
    // NPCs have neither placements listed nor a preview: no empty panel.
    host_.SetElementPanelVisible(kind == 5 || kind == 6 || (project_.PreviewPictures && kind != 7));
    const bool editing = lib || kind == 0 || kind == 7;
    // The map list has nothing to make a new element of in Lib mode.
    host_.SetEditButtonsEnabled(editing && !(lib && kind == 0), editing, editing);
    host_.SetPreviewVisible(kind <= 6);
    if (lib) {
        if (const TListedItem* element = SelectedLibraryElement()) {
            const auto [columns, rows] = element->GetPatternSize();
            host_.SizeForPattern(columns * 6, rows * 6);
        }
    }
    host_.RepaintMap();
    host_.ListPlacements();
    host_.SetKindMarks(kind);
}

// -------------------------------------------------------------- the tree

void TElementBrowser::RebuildTree()
{
    rebuilding_ = true;
    tree_.setUpdatesEnabled(false);
    tree_.clear();

    const int kind = project_.CurrentKind;
    Builder b;
    b.remembered = RememberedSelection[static_cast<size_t>(kind)];
    if (TListedList* library = Library()) {
        const Kind& info = KindInfo(kind);
        if (info.TreeShape != Shape::Nested) {
            if (!project_.LibMode && kind >= 1 && kind <= 4)
                b.Add(ClearCaption, ClearNumber, -1);
            for (int i = 0; i < library->Count(); ++i) {
                const TListedItem* e = library->Element(i);
                int parent = -1;
                const std::string value = info.Grouping ? e->Params->GetValue(info.Grouping) : std::string();
                if (!value.empty()) {
                    parent = b.FindTop(value);
                    if (parent < 0)
                        parent = b.Add(value, GroupNumber, -1);
                }
                b.Add(e->Name, i + 1, parent);
            }
        } else {
            std::vector<int> pending(static_cast<size_t>(library->Count()));
            for (int i = 0; i < library->Count(); ++i)
                pending[static_cast<size_t>(i)] = i;
            auto place = [&](int position, int parent) {
                const TListedItem* e = library->Element(position);
                b.Add(e->Name, library->IndexOfName(e->Name) + 1, parent);
            };
            bool placedAny = true;
            while (!pending.empty() && placedAny) {
                placedAny = false;
                std::vector<int> left;
                for (int position : pending) {
                    const std::string value = library->Element(position)->Params->GetValue(info.Grouping);
                    const int parent = value.empty() ? -1 : b.FindAny(value);
                    if (!value.empty() && parent < 0) {
                        left.push_back(position);
                        continue;
                    }
                    place(position, parent);
                    placedAny = true;
                }
                pending.swap(left);
            }
            // No parent, or parents naming each other.
            for (int position : pending)
                place(position, -1);
        }
    }
    Populate(b);

    if (!SelectedNode() && tree_.topLevelItemCount() > 0)
        SelectNode(tree_.topLevelItem(0));
    tree_.setUpdatesEnabled(true);
    rebuilding_ = false;
    SelectionChanged();
}

void TElementBrowser::Populate(const Builder& b)
{
    std::vector<QTreeWidgetItem*> items(b.nodes.size(), nullptr);
    std::function<QList<QTreeWidgetItem*>(const std::vector<int>&)> make = [&](const std::vector<int>& indices) {
        std::vector<int> sorted = indices;
        std::sort(sorted.begin(), sorted.end(), [&b](int x, int y) { return b.SiblingLess(x, y); });
        QList<QTreeWidgetItem*> list;
        list.reserve(static_cast<int>(sorted.size()));
        for (int index : sorted) {
            const Builder::Node& n = b.nodes[static_cast<size_t>(index)];
            auto* item = new TBrowserNode(n.caption, n.number);
            items[static_cast<size_t>(index)] = item;
            if (!n.children.empty())
                item->addChildren(make(n.children));
            list.push_back(item);
        }
        return list;
    };
    tree_.addTopLevelItems(make(b.top));
    if (b.selected >= 0)
        SelectNode(items[static_cast<size_t>(b.selected)]);
}

void TElementBrowser::SelectNode(QTreeWidgetItem* node)
{
    if (!node) {
        tree_.clearSelection();
        tree_.setCurrentItem(nullptr);
        return;
    }
    tree_.setCurrentItem(node);
    node->setSelected(true);
    tree_.scrollToItem(node);
}

void TElementBrowser::SelectByName(const std::string& name)
{
    for (QTreeWidgetItemIterator it(&tree_); *it; ++it)
        if (Number(*it) != GroupNumber && SameText(Caption(*it), name)) {
            SelectNode(*it);
            return;
        }
    SelectNode(nullptr);
}

void TElementBrowser::SelectByIndex(int position)
{
    if (position == -1) {
        if (tree_.topLevelItemCount() > 0)
            SelectNode(tree_.topLevelItem(0));
        return;
    }
    for (QTreeWidgetItemIterator it(&tree_); *it; ++it)
        if (Number(*it) == position + 1) {
            SelectNode(*it);
            return;
        }
}

void TElementBrowser::ShowGridElement(TListedItem* element)
{
    project_.SelectedElement = element;
    host_.ShowElement(element);
}

void TElementBrowser::SelectionChanged()
{
    if (rebuilding_)
        return;
    host_.PostPendingEdit();
    const int kind = project_.CurrentKind;
    if (kind != 0 || project_.LibMode) {
        RefreshPreview();
        const int index = SelectedIndex();
        if (index == -1)
            ShowGridElement(currentMap_);
        else
            ShowGridElement(SelectedLibraryElement());
        if (project_.LibMode)
            host_.RepaintMap();
        if (QTreeWidgetItem* node = SelectedNode())
            RememberedSelection[static_cast<size_t>(kind)] = Caption(node);
    } else if (SelectedNode()) {
        const int index = SelectedIndex();
        if (project_.Maps && index >= 0 && index < project_.Maps->Count())
            ShowMap(project_.Maps->MapAt(index));
    }
}

void TElementBrowser::RefreshPreview()
{
    const bool list = !project_.LibMode && (project_.CurrentKind == 5 || project_.CurrentKind == 6);
    host_.SetPlacementsListVisible(list);
    host_.SetElementPanelTitle(list ? " Elements" : " Image");
    const TListedItem* element = SelectedLibraryElement();
    host_.SetPreviewPicture(element ? element->Picture.get() : nullptr);
}

void TElementBrowser::MoveSelectedNode(const std::string& parentCaption)
{
    QTreeWidgetItem* node = SelectedNode();
    if (!node)
        return;
    auto inside = [node](const QTreeWidgetItem* n) {
        for (; n; n = n->parent())
            if (n == node)
                return true;
        return false;
    };
    QTreeWidgetItem* target = nullptr;
    for (QTreeWidgetItemIterator it(&tree_); *it; ++it)
        if (!inside(*it) && SameText(Caption(*it), parentCaption)) {
            target = *it;
            break;
        }
    if (target == node->parent())
        return;
    rebuilding_ = true;
    tree_.setUpdatesEnabled(false);
    QTreeWidgetItem* old = node->parent();
    if (old)
        old->removeChild(node);
    else
        tree_.takeTopLevelItem(tree_.indexOfTopLevelItem(node));
    if (target) {
        target->addChild(node);
        target->sortChildren(0, Qt::AscendingOrder);
    } else {
        tree_.addTopLevelItem(node);
        // The top level only: sortItems would reorder every level.
        QList<QTreeWidgetItem*> top;
        while (tree_.topLevelItemCount() > 0)
            top.push_back(tree_.takeTopLevelItem(0));
        std::stable_sort(top.begin(), top.end(), [](const QTreeWidgetItem* a, const QTreeWidgetItem* b) { return *a < *b; });
        tree_.addTopLevelItems(top);
    }
    SelectNode(node);
    tree_.setUpdatesEnabled(true);
    rebuilding_ = false;
}

// -------------------------------------------------------------- modes, maps

void TElementBrowser::SetLibMode(bool on)
{
    host_.PostPendingEdit();
    project_.LibMode = on;
    host_.SetWorkingMode(on);
    host_.SetMapsCaption(on ? "Game" : "Maps");
    if (!on && currentMap_)
        ShowMap(currentMap_);
    if (host_.MapsButtonHidden() && project_.CurrentKind == 0)
        project_.CurrentKind = 1;
    SelectKind(project_.CurrentKind);
}

void TElementBrowser::ShowMap(TMap* map)
{
    if (!map)
        map = placeholder_;
    if (!map)
        return;
    host_.OpenMapInView(*map);
    currentMap_ = map;
    ShowGridElement(map);
    int entry = -1;
    for (int i = 0; i < chooser_.count(); ++i)
        if (FromQ(chooser_.itemText(i)) == map->Name) {
            entry = i;
            break;
        }
    chooser_.setCurrentIndex(entry);
    host_.RepaintMap();
    // The placements list belongs to the map that is open.
    host_.RefreshPlacements();
    RememberedSelection[0] = map->Name;
}

void TElementBrowser::FillMapChooser()
{
    chooser_.clear();
    if (project_.Maps) {
        // Entries in library order, each placed at its sorted position.
        std::vector<std::string> names;
        for (int i = 0; i < project_.Maps->Count(); ++i) {
            const std::string& name = project_.Maps->MapAt(i)->Name;
            const auto at = std::upper_bound(names.begin(), names.end(), name, [](const std::string& a, const std::string& b) {
                return LocaleCompare(a, b) < 0;
            });
            const int entry = static_cast<int>(at - names.begin());
            names.insert(at, name);
            chooser_.insertItem(entry, ToQ(name), i);
        }
    }
    int entry = -1;
    if (currentMap_)
        for (int i = 0; i < chooser_.count(); ++i)
            if (FromQ(chooser_.itemText(i)) == currentMap_->Name) {
                entry = i;
                break;
            }
    chooser_.setCurrentIndex(entry);
}

void TElementBrowser::ChooseMap(int entry)
{
    if (entry < 0 || entry >= chooser_.count() || !project_.Maps)
        return;
    const int position = chooser_.itemData(entry).toInt();
    if (position < 0 || position >= project_.Maps->Count())
        return;
    if (project_.CurrentKind != 0)
        ShowMap(project_.Maps->MapAt(position));
    else
        SelectByIndex(position);
}

std::string TElementBrowser::MapsFolder() const { return project_.ProjectFolder + "maps" + PathSeparator(); }

bool TElementBrowser::MapFileExists(const std::string& name) const
{
    std::error_code ec;
    for (fs::directory_iterator it(MapsFolder(), ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code kindError;
        if (it->is_directory(kindError))
            continue;
        if (SameText(it->path().filename().string(), name + ".map"))
            return true;
    }
    return false;
}

// ----------------------------------------------------------------- add

std::optional<std::string> TElementBrowser::AskNewName(const TLoadSaveList& list, const std::string& kindWord,
                                                       const std::string& initial)
{
    return kestrune::AskNewName(dialogs_, list, kindWord, initial);
}

void TElementBrowser::Add()
{
    std::string name;
    if (project_.CurrentKind == 0 && !project_.LibMode)
        AddMap(name);
    else if (project_.CurrentKind != 0 && (project_.LibMode || project_.CurrentKind == 7))
        AddElement(name);
    SelectByName(name);
    FillMapChooser();
}

namespace {

// The word a step names an element of a kind with.
std::string KindWord(int kind)
{
    static const char* const words[] = {"map", "wall", "floor", "ceiling", "object", "item", "monster", "NPC"};
    return kind >= 0 && kind <= 7 ? words[kind] : "element";
}

std::string ReadFileBytes(const fs::path& file)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        return {};
    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::ReadOnly))
        return {};
    const QByteArray bytes = f.readAll();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

bool WriteFileBytes(const fs::path& file, const std::string& bytes)
{
    QFile f(QString::fromStdString(file.string()));
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const bool written = f.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size());
    return f.flush() && written;
}

} // namespace

// A map out of the project, kept by the history with the bytes of its file.
struct HeldMap {
    std::unique_ptr<TLoadSaveItem> map;
    fs::path file;
    std::string bytes;
    bool hadFile = false;
};

// An element out of its library, kept with the cells that showed it and
// the placements it was the definition of.
struct HeldElement {
    std::unique_ptr<TLoadSaveItem> element;
    TListedList* library = nullptr;
    int position = 0;
    int kind = 0;
    std::vector<TMap*> maps;
    struct Cell {
        TMap* map;
        uint8_t x, y, slot;
    };
    std::vector<Cell> cells;
    std::vector<TListedItem*> orphans;
};

TEditSession* TElementBrowser::Session() const { return host_.EditSession(); }

void TElementBrowser::AddMap(std::string& name)
{
    if (!project_.Maps)
        return;
    TMapList& maps = *project_.Maps;
    const std::optional<std::string> answer = kestrune::AskNewName(
        dialogs_, [this, &maps](const std::string& n) { return maps.IndexOfName(n) >= 0 || MapFileExists(n); }, "map",
        "");
    if (!answer)
        return;
    auto map = std::make_unique<TMap>(*answer, &maps, 10, 10);
    try {
        map->SaveToFile(MapsFolder() + *answer + ".map");
    } catch (const std::exception& e) {
        dialogs_.Error(e.what());
        return;
    }
    TMap* added = map.get();
    currentMap_ = added;
    maps.Add(std::move(map));
    maps.SortByName();
    SelectKind(project_.CurrentKind);
    name = *answer;

    auto held = std::make_shared<HeldMap>();
    held->file = added->MapFileName(MapsFolder());
    TStep step;
    step.Name = "Add map " + *answer;
    step.Held = held;
    step.Undo = [this, added, held] {
        // The file goes with the map, as it came with it.
        held->bytes = ReadFileBytes(held->file);
        held->hadFile = !held->bytes.empty();
        std::error_code ec;
        fs::remove(held->file, ec);
        held->map = TakeMapOut(added);
    };
    step.Redo = [this, held] { PutMapBack(*held); };
    if (TEditSession* session = Session())
        session->Record(std::move(step));
}

void TElementBrowser::AddElement(std::string& name)
{
    TListedList* library = Library();
    if (!library)
        return;
    std::unique_ptr<TLoadSaveItem> made = library->CreateItem();
    auto* element = dynamic_cast<TListedItem*>(made.get());
    if (!element)
        return;
    const std::optional<std::string> answer = AskNewName(*library, element->DefName, "");
    if (!answer)
        return;
    element->Name = *answer;
    element->PreparePictures();
    library->Add(std::move(made));
    SelectKind(project_.CurrentKind);
    host_.SetModified();
    name = *answer;

    auto held = std::make_shared<HeldElement>();
    held->library = library;
    held->kind = project_.CurrentKind;
    TStep step;
    step.Name = "Add " + KindWord(held->kind) + " " + *answer;
    step.Element = element;
    step.Held = held;
    step.Undo = [this, element, held] { TakeElementOut(element, *held); };
    step.Redo = [this, held] { PutElementBack(*held); };
    if (TEditSession* session = Session())
        session->Record(std::move(step));
}

// -------------------------------------------------------------- remove

void TElementBrowser::Remove()
{
    const int kind = project_.CurrentKind;
    if (kind == 0 && !project_.LibMode) {
        if (IsRealMap(currentMap_))
            RemoveMap();
    } else if (kind >= 1 && (project_.LibMode || kind == 7)) {
        RemoveElement();
    }
    FillMapChooser();
}

void TElementBrowser::RemoveMap()
{
    TMap* map = currentMap_;
    if (!dialogs_.Confirm("Are you sure, that you want to remove map " + map->Name + " from dik (no copy)?"))
        return;
    auto held = std::make_shared<HeldMap>();
    held->file = map->MapFileName(MapsFolder());
    if (!DeleteMapFile(*held))
        return;
    held->map = TakeMapOut(map);

    TStep step;
    step.Name = "Remove map " + map->Name;
    step.Held = held;
    step.Undo = [this, held] { PutMapBack(*held); };
    step.Redo = [this, map, held] {
        if (DeleteMapFile(*held))
            held->map = TakeMapOut(map);
    };
    if (TEditSession* session = Session())
        session->Record(std::move(step));
}

bool TElementBrowser::DeleteMapFile(HeldMap& held)
{
    // The file goes first: a map whose file cannot be deleted stays in the
    // project as it was. Its bytes stay with the step, for undo.
    held.bytes = ReadFileBytes(held.file);
    std::error_code ec;
    held.hadFile = fs::exists(fs::symlink_status(held.file, ec));
    fs::remove(held.file, ec);
    if (ec) {
        dialogs_.Error("Cannot delete file " + held.file.string());
        return false;
    }
    return true;
}

std::unique_ptr<TLoadSaveItem> TElementBrowser::TakeMapOut(TMap* map)
{
    const int index = project_.Maps ? project_.Maps->IndexOf(map) : -1;
    if (index < 0)
        return nullptr;
    host_.Removing(*map);
    host_.ForgetShownLists();
    if (project_.SelectedElement == map)
        project_.SelectedElement = nullptr;
    std::unique_ptr<TLoadSaveItem> out = project_.Maps->Extract(index);
    if (currentMap_ == map)
        currentMap_ = nullptr;
    SelectKind(project_.CurrentKind);
    // The tree opened another map when one is left; otherwise the
    // placeholder is open, and the grid shows what is open.
    if (!currentMap_)
        ShowMap(nullptr);
    FillMapChooser();
    return out;
}

void TElementBrowser::PutMapBack(HeldMap& held)
{
    if (!held.map || !project_.Maps)
        return;
    if (held.hadFile && !WriteFileBytes(held.file, held.bytes))
        dialogs_.Error("Cannot write file " + held.file.string());
    auto* map = static_cast<TMap*>(held.map.get());
    project_.Maps->Add(std::move(held.map));
    project_.Maps->SortByName();
    if (project_.LibMode)
        SetLibMode(false);
    SelectKind(project_.CurrentKind);
    ShowMap(map);
    FillMapChooser();
}

void TElementBrowser::RemoveElement()
{
    TListedList* library = Library();
    TListedItem* element = host_.ShownElement();
    const int position = library && element ? library->IndexOf(element) : -1;
    if (position < 0 || element->Shared)
        return;
    if (!dialogs_.Confirm("Are you sure, that you want to remove " + element->DefName + " " + element->Name +
                          " from database and all maps?"))
        return;
    auto held = std::make_shared<HeldElement>();
    held->library = library;
    held->kind = project_.CurrentKind;
    TakeElementOut(element, *held);

    TStep step;
    step.Name = "Remove " + KindWord(held->kind) + " " + element->Name;
    step.Element = element;
    step.Held = held;
    step.Undo = [this, held] { PutElementBack(*held); };
    step.Redo = [this, element, held] { TakeElementOut(element, *held); };
    if (TEditSession* session = Session())
        session->Record(std::move(step));
}

void TElementBrowser::TakeElementOut(TListedItem* element, HeldElement& held)
{
    TListedList* library = held.library;
    const int position = library->IndexOf(element);
    if (position < 0)
        return;
    host_.Removing(*element);
    host_.ForgetShownLists();
    const int kind = held.kind;
    held.position = position;
    held.maps.clear();
    held.cells.clear();
    held.orphans.clear();
    if (kind >= 1 && kind <= 4) {
        // The cells that show it are kept, for undo, before they lose it.
        const int layer = kind - 1;
        const int r = position + 1;
        for (int i = 0; project_.Maps && i < project_.Maps->Count(); ++i) {
            TMap* map = project_.Maps->MapAt(i);
            held.maps.push_back(map);
            for (int x = 0; x < map->SizeX; ++x)
                for (int y = 0; y < map->SizeY; ++y)
                    for (int slot = 0; slot <= 6; ++slot)
                        if (TMap::LayerOfSlot(slot) == layer && map->Cell(x, y).Slots[slot] == r)
                            held.cells.push_back({map, static_cast<uint8_t>(x), static_cast<uint8_t>(y),
                                                  static_cast<uint8_t>(slot)});
        }
        project_.RemoveFromMaps(layer, position);
    }
    // Placements of the definition lose it; they keep the name they give it
    // in their lists and read as missing, as they will when loaded again.
    auto forget = [element, &held](TItemList* list) {
        for (int i = 0; list && i < list->Count(); ++i) {
            auto* item = dynamic_cast<TItem*>(list->Item(i));
            auto* monster = dynamic_cast<TMonster*>(list->Item(i));
            if (item && item->Def == element)
                item->Def = nullptr;
            else if (monster && monster->Def == element)
                monster->Def = nullptr;
            else
                continue;
            held.orphans.push_back(list->Element(i));
        }
    };
    for (TMap* map : AllMaps()) {
        forget(map->Items.get());
        forget(map->Monsters.get());
    }
    forget(project_.Npcs.get());
    if (project_.SelectedElement == element)
        project_.SelectedElement = nullptr;
    held.element = library->Extract(position);
    for (TListedItem* orphan : held.orphans)
        orphan->ParametersReplaced();
    SelectKind(project_.CurrentKind);
    host_.SetModified();
}

void TElementBrowser::PutElementBack(HeldElement& held)
{
    if (!held.element)
        return;
    auto* element = static_cast<TListedItem*>(held.element.get());
    held.library->Insert(std::min(held.position, held.library->Count()), std::move(held.element));
    const int r = held.position + 1;
    if (held.kind >= 1 && held.kind <= 4) {
        const int layer = held.kind - 1;
        for (TMap* map : held.maps)
            for (int x = 0; x < map->SizeX; ++x)
                for (int y = 0; y < map->SizeY; ++y)
                    for (int slot = 0; slot <= 6; ++slot)
                        if (TMap::LayerOfSlot(slot) == layer && map->Cell(x, y).Slots[slot] >= r &&
                            map->Cell(x, y).Slots[slot] < 255)
                            ++map->Cell(x, y).Slots[slot];
        for (const HeldElement::Cell& c : held.cells)
            c.map->Cell(c.x, c.y).Slots[c.slot] = static_cast<uint8_t>(r);
    }
    for (TListedItem* orphan : held.orphans)
        orphan->ParametersReplaced();
    host_.ShowInKind(*element);
    SelectKind(project_.CurrentKind);
    if (held.library == Library())
        SelectByIndex(held.library->IndexOf(element));
    host_.RepaintMap();
    host_.SetModified();
}

// -------------------------------------------------------------- rename

void TElementBrowser::Rename()
{
    if (SelectedIndex() < 0)
        return;
    RepaintHold hold(host_);
    host_.SetModified();
    const int kind = project_.CurrentKind;
    if (kind == 0 && !project_.LibMode)
        RenameMap();
    else if (kind >= 1 && (project_.LibMode || kind == 7))
        RenameElement();
}

void TElementBrowser::RenameMap()
{
    if (!project_.Maps || SelectedIndex() >= project_.Maps->Count())
        return;
    TMapList& maps = *project_.Maps;
    TMap* map = maps.MapAt(SelectedIndex());
    // A map has no definition-section word for the title.
    const std::optional<std::string> answer = kestrune::AskNewName(
        dialogs_, [this, &maps](const std::string& n) { return maps.IndexOfName(n) >= 0 || MapFileExists(n); }, "",
        map->Name);
    if (!answer)
        return;
    const std::string old = map->Name;
    const std::string oldExtension = map->FileExtension;
    const fs::path from = map->MapFileName(MapsFolder());
    const fs::path to = MapsFolder() + *answer + ".map";
    if (!MoveMapFile(from, to))
        return;
    TStepGroup group(Session(), "Rename map " + old + " to " + *answer);
    map->Name = *answer;
    map->FileExtension = ".map";
    // The NPCs standing on the map and the maps linking to it go with it.
    CarryReferences(maps, old, *answer);
    maps.NamesChanged();
    maps.SortByName();
    SelectKind(project_.CurrentKind);
    SelectByName(*answer);
    FillMapChooser();

    const std::string now = *answer;
    auto name = [this, map](const fs::path& a, const fs::path& b, const std::string& n, const std::string& ext) {
        if (!MoveMapFile(a, b))
            return;
        map->Name = n;
        map->FileExtension = ext;
        project_.Maps->NamesChanged();
        project_.Maps->SortByName();
        if (!project_.LibMode && project_.CurrentKind == 0) {
            SelectKind(0);
            SelectByName(n);
        }
        FillMapChooser();
        host_.SetModified();
    };
    TStep step;
    step.Name = "Rename map " + old + " to " + now;
    step.Map = map;
    step.Undo = [name, from, to, old, oldExtension] { name(to, from, old, oldExtension); };
    step.Redo = [name, from, to, now] { name(from, to, now, ".map"); };
    if (TEditSession* session = Session())
        session->Record(std::move(step));
}

bool TElementBrowser::MoveMapFile(const fs::path& from, const fs::path& to)
{
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(from, ec)))
        return true;
    fs::rename(from, to, ec);
    if (ec) {
        dialogs_.Error("Cannot rename file " + from.string() + " to " + to.string());
        return false;
    }
    return true;
}

void TElementBrowser::RenameElement()
{
    TListedList* library = Library();
    TListedItem* element = host_.ShownElement();
    if (!library || !element || library->IndexOf(element) < 0 || element->Shared)
        return;
    const std::optional<std::string> answer = AskNewName(*library, element->DefName, element->Name);
    if (!answer)
        return;
    const std::string old = element->Name;
    const int kind = project_.CurrentKind;
    TStepGroup group(Session(), "Rename " + KindWord(kind) + " " + old + " to " + *answer);
    // Whatever names the element takes the new name with it: the items and
    // monsters placed from a definition would read as missing once saved.
    CarryReferences(*library, old, *answer);
    auto name = [this, element, library](const std::string& n) {
        element->Name = n;
        for (TListedItem* placement : AllPlacements()) {
            auto* item = dynamic_cast<TItem*>(placement);
            auto* monster = dynamic_cast<TMonster*>(placement);
            if ((item && item->Def == element) || (monster && monster->Def == element))
                placement->Name = n;
        }
        library->NamesChanged();
    };
    name(*answer);
    SelectKind(project_.CurrentKind);

    const std::string now = *answer;
    TStep step;
    step.Name = "Rename " + KindWord(kind) + " " + old + " to " + now;
    step.Element = element;
    step.Undo = [this, name, old] {
        name(old);
        SelectKind(project_.CurrentKind);
        host_.SetModified();
    };
    step.Redo = [this, name, now] {
        name(now);
        SelectKind(project_.CurrentKind);
        host_.SetModified();
    };
    if (TEditSession* session = Session())
        session->Record(std::move(step));
}

void TElementBrowser::CarryReferences(const TLoadSaveList& library, const std::string& from, const std::string& to)
{
    std::vector<TParList*> lists;
    for (TLoadSaveList* kind : project_.LibraryTable)
        for (int i = 0; kind && kind != project_.Maps.get() && i < kind->Count(); ++i)
            if (auto* element = dynamic_cast<TListedItem*>(kind->Item(i)))
                lists.push_back(element->Params.get());
    for (int i = 0; project_.Objects && i < project_.Objects->Count(); ++i)
        lists.push_back(project_.Objects->Element(i)->Params.get());
    for (TMap* map : AllMaps())
        lists.push_back(map->Params.get());
    for (TListedItem* placement : AllPlacements())
        lists.push_back(placement->Params.get());
    for (int i = 0; project_.Npcs && i < project_.Npcs->Count(); ++i)
        lists.push_back(project_.Npcs->Element(i)->Params.get());
    lists.push_back(project_.GameParams.get());
    for (TParList* list : lists) {
        if (!list)
            continue;
        const std::vector<int> references = project_.ReferencesIn(*list, library, from);
        if (references.empty())
            continue;
        host_.ListChanging(*list);
        {
            TRecordListEdit record(Session(), "Carry the name", nullptr, list);
            for (int index : references)
                list->Par(index)->Value = to;
        }
        host_.ListChanged(*list);
    }
}

std::vector<TListedItem*> TElementBrowser::AllPlacements() const
{
    // Only those on the maps: a placement the history keeps off its map
    // comes back only once the steps after it (a rename among them) are
    // undone, and those held by undone steps go when a rename is recorded.
    std::vector<TListedItem*> placements;
    for (TMap* map : AllMaps())
        for (TItemList* list : {static_cast<TItemList*>(map->Items.get()), static_cast<TItemList*>(map->Monsters.get())})
            for (int i = 0; list && i < list->Count(); ++i)
                placements.push_back(list->Element(i));
    return placements;
}

std::vector<TMap*> TElementBrowser::AllMaps() const
{
    std::vector<TMap*> maps;
    for (int i = 0; project_.Maps && i < project_.Maps->Count(); ++i)
        maps.push_back(project_.Maps->MapAt(i));
    if (placeholder_)
        maps.push_back(placeholder_);
    return maps;
}

// ------------------------------------------------------ placing from the tree

void TElementBrowser::RightClickNode(QTreeWidgetItem* node)
{
    if (!node)
        return;
    if (SelectedNode() != node)
        SelectNode(node);
    const int kind = project_.CurrentKind;
    const int number = Number(node);
    TListedList* library = Library();
    if (!currentMap_ || !library || (kind != 5 && kind != 6) || number < 1 || number > MaxNumber ||
        number > library->Count())
        return;
    TMap& map = *currentMap_;
    TListedItem* element = library->Element(number - 1);
    TListedItem* placed = nullptr;
    if (kind == 5) {
        auto* def = dynamic_cast<TItemDef*>(element);
        if (!def || !(placed = map.AddItem(def, map.SelX, map.SelY)))
            return;
    } else {
        auto* def = dynamic_cast<TMonsterDef*>(element);
        if (!def)
            return;
        placed = map.AddMonster(def, map.SelX, map.SelY);
    }
    host_.Placed(map, *placed);
    host_.RepaintCell(map.SelX, map.SelY);
    host_.ListPlacements();
}

std::unique_ptr<QMimeData> TElementBrowser::BeginDrag(QTreeWidgetItem* node)
{
    host_.SetModified();
    auto data = std::make_unique<QMimeData>();
    const int number = Number(node);
    const int position = number >= 1 && number <= MaxNumber ? number - 1 : -1;
    data->setData(QString::fromLatin1(DragMimeType),
                  QByteArray::number(project_.CurrentKind) + ',' + QByteArray::number(position));
    return data;
}

std::optional<std::pair<int, int>> TElementBrowser::DragSource(const QMimeData& data)
{
    const QString type = QString::fromLatin1(DragMimeType);
    if (!data.hasFormat(type))
        return std::nullopt;
    const QList<QByteArray> parts = data.data(type).split(',');
    if (parts.size() != 2)
        return std::nullopt;
    bool kindOk = false, positionOk = false;
    const int kind = parts[0].toInt(&kindOk);
    const int position = parts[1].toInt(&positionOk);
    if (!kindOk || !positionOk)
        return std::nullopt;
    return std::make_pair(kind, position);
}

bool TElementBrowser::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == &tree_) {
        if (event->type() == QEvent::FocusIn)
            SelectionChanged();
        return false;
    }
    if (watched != tree_.viewport())
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        auto* me = static_cast<QMouseEvent*>(event);
        const QPoint at = me->position().toPoint();
        QTreeWidgetItem* node = tree_.itemAt(at);
        if (me->button() == Qt::RightButton) {
            RightClickNode(node);
            return true;
        }
        if (me->button() == Qt::LeftButton) {
            pressX_ = at.x();
            pressY_ = at.y();
            pressed_ = node != nullptr;
            if (node && node->childCount() > 0) {
                const int x = MarkLeft(node);
                if (at.x() >= x + 2 && at.x() < x + 13)
                    node->setExpanded(!node->isExpanded());
            }
        }
        return false;
    }
    case QEvent::MouseMove: {
        auto* me = static_cast<QMouseEvent*>(event);
        if (!pressed_ || !treeDrag_ || !(me->buttons() & Qt::LeftButton))
            return false;
        const QPoint at = me->position().toPoint();
        if ((at - QPoint(pressX_, pressY_)).manhattanLength() < QApplication::startDragDistance())
            return false;
        pressed_ = false;
        QTreeWidgetItem* node = tree_.itemAt(QPoint(pressX_, pressY_));
        if (!node)
            return false;
        auto* drag = new QDrag(&tree_);
        drag->setMimeData(BeginDrag(node).release());
        drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
        return true;
    }
    case QEvent::MouseButtonRelease: pressed_ = false; return false;
    default: return false;
    }
}

} // namespace kestrune
