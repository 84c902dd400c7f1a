#include "script/completion.h"

#include "controls/userdialogs.h"
#include "core/text.h"
#include "help/functionindex.h"
#include "script/sourceedit.h"

#include <QFontMetrics>
#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygon>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <functional>

namespace kestrune {

namespace {

// Item roles of a function row (names rows carry only their text).
constexpr int kEntryRole = Qt::UserRole;        // entry in FunctionNames, -1 for a name
constexpr int kClassRole = Qt::UserRole + 1;    // class name, empty for "index"
constexpr int kParamsRole = Qt::UserRole + 2;   // parameter text or "()", ": " appended
constexpr int kReturnsRole = Qt::UserRole + 3;  // return type without "#"
constexpr int kClassTypeRole = Qt::UserRole + 4;

const QColor kClassGray(0x80, 0x80, 0x80);
const QColor kClassSilver(0xC0, 0xC0, 0xC0);
const QColor kTeal(0x00, 0x80, 0x80);

QFont PanelFont(bool bold = false)
{
    QFont font(QStringLiteral("Tahoma"));
    font.setPixelSize(11);
    font.setBold(bold);
    return font;
}

QColor RuleColour(std::uint32_t colour, const QColor& windowText)
{
    if (colour == kWindowTextColour)
        return windowText;
    return QColor((colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF);
}

// Draws the rows of the completion list: names in the list's font, functions
// as class, bold name, parameters and return type.
class TCompletionDelegate : public QStyledItemDelegate {
public:
    explicit TCompletionDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const override
    {
        return {option.rect.width(), TCodeCompletion::kRowHeight};
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const bool selected = option.state & QStyle::State_Selected;
        const QPalette& pal = option.palette;
        const QRect rect = option.rect;
        painter->save();
        painter->fillRect(rect, selected ? pal.highlight() : pal.base());
        const QColor text = selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::WindowText);

        const QString item = index.data(Qt::DisplayRole).toString();
        const int entry = index.data(kEntryRole).toInt();
        const QFont listFont = option.widget ? option.widget->font() : PanelFont();
        if (entry < 0 || item.isEmpty() || item.startsWith(QLatin1Char('@'))) {
            painter->setFont(listFont);
            painter->setPen(selected ? pal.color(QPalette::HighlightedText) : pal.color(QPalette::Text));
            painter->drawText(QRect(rect.left() + 1, rect.top(), rect.width() - 1, rect.height()),
                              Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, item);
            painter->restore();
            return;
        }

        QFont normal = listFont;
        normal.setBold(false);
        QFont bold = listFont;
        bold.setBold(true);
        int x = rect.left() + 1;
        const int top = rect.top() + 1;
        const int height = rect.height() - 1;
        auto draw = [&](const QString& s, const QFont& font, const QColor& colour) {
            if (s.isEmpty())
                return;
            painter->setFont(font);
            painter->setPen(colour);
            const int w = QFontMetrics(font).horizontalAdvance(s);
            painter->drawText(QRect(x, top, w + 1, height), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, s);
            x += w;
        };

        const QString cls = index.data(kClassRole).toString();
        if (!cls.isEmpty()) {
            draw(cls, normal, selected ? kClassSilver : kClassGray);
            x += QFontMetrics(normal).horizontalAdvance(QLatin1Char(' '));
        }
        draw(item, bold, text);
        draw(index.data(kParamsRole).toString(), normal, text);
        const bool classType = index.data(kClassTypeRole).toBool();
        draw(index.data(kReturnsRole).toString(), normal, classType && !selected ? kTeal : text);
        painter->restore();
    }
};

// An arrow image of the hint; a click steps the overload.
class THintArrow : public QLabel {
public:
    THintArrow(bool next, QWidget* parent) : QLabel(parent)
    {
        setFocusPolicy(Qt::NoFocus);
        QPixmap image(11, 15);
        image.fill(Qt::transparent);
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing, false);
        painter.setPen(Qt::NoPen);
        painter.setBrush(QColor(0, 0, 0));
        const QPolygon triangle = next ? QPolygon({QPoint(3, 3), QPoint(8, 7), QPoint(3, 11)})
                                       : QPolygon({QPoint(8, 3), QPoint(3, 7), QPoint(8, 11)});
        painter.drawPolygon(triangle);
        painter.end();
        setPixmap(image);
        setAlignment(Qt::AlignCenter);
    }

    std::function<void()> OnClick;

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        event->accept();
        if (OnClick)
            OnClick();
    }
};

} // namespace

// The hint's drawing surface: the text before the bold run, the run in bold
// and the rest, from x = 4, y = 1.
class THintSurface : public QWidget {
public:
    explicit THintSurface(QWidget* parent) : QWidget(parent) { setFocusPolicy(Qt::NoFocus); }

    void SetText(const std::string& text, TTextRun bold)
    {
        const int size = static_cast<int>(text.size());
        const int start = std::clamp(bold.Start, 0, size);
        const int end = std::clamp(bold.Start + bold.Length, start, size);
        before_ = ToQ(text.substr(0, start));
        bold_ = ToQ(text.substr(start, end - start));
        after_ = ToQ(text.substr(end));
        update();
    }

    // The widths of the three parts.
    int TextWidth() const
    {
        return QFontMetrics(PanelFont()).horizontalAdvance(before_) +
               QFontMetrics(PanelFont(true)).horizontalAdvance(bold_) +
               QFontMetrics(PanelFont()).horizontalAdvance(after_);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), palette().color(QPalette::ToolTipBase));
        painter.setPen(palette().color(QPalette::ToolTipText));
        int x = 4;
        const int y = 1;
        auto draw = [&](const QString& s, const QFont& font) {
            painter.setFont(font);
            const int w = QFontMetrics(font).horizontalAdvance(s);
            painter.drawText(QRect(x, y, w + 1, height() - y), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, s);
            x += w;
        };
        draw(before_, PanelFont());
        draw(bold_, PanelFont(true));
        draw(after_, PanelFont());
    }

private:
    QString before_, bold_, after_;
};

TCodeCompletion::TCodeCompletion(TSourceEdit* edit, QWidget* panelParent) : QObject(edit), edit_(edit)
{
    timer_ = new QTimer(this);
    timer_->setSingleShot(true);
    timer_->setInterval(delay_);
    connect(timer_, &QTimer::timeout, this, [this] { DelayTimeout(); });
    BuildPanels(panelParent ? panelParent : edit);
}

TCodeCompletion::~TCodeCompletion()
{
    delete listPanel_.data();
    delete hintPanel_.data();
}

void TCodeCompletion::BuildPanels(QWidget* parent)
{
    listPanel_ = new QFrame(parent);
    listPanel_->setObjectName(QStringLiteral("completionList"));
    listPanel_->setFocusPolicy(Qt::NoFocus);
    listPanel_->resize(kListWidth, kListHeight);
    auto* layout = new QVBoxLayout(listPanel_);
    layout->setContentsMargins(0, 0, 0, 0);
    list_ = new QListWidget(listPanel_);
    list_->setFocusPolicy(Qt::NoFocus);
    list_->setUniformItemSizes(true);
    list_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setItemDelegate(new TCompletionDelegate(list_));
    list_->setFont(PanelFont(true));
    layout->addWidget(list_);
    connect(list_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        SelectRow(list_->row(item));
        AcceptCompletion(true);
    });
    listPanel_->hide();

    hintPanel_ = new QFrame(parent);
    hintPanel_->setObjectName(QStringLiteral("parameterHint"));
    hintPanel_->setFocusPolicy(Qt::NoFocus);
    hintPanel_->setFrameStyle(QFrame::Box | QFrame::Plain);
    hintPanel_->setLineWidth(1);
    hintPanel_->setAutoFillBackground(true);
    QPalette pal = hintPanel_->palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::ToolTipBase));
    pal.setColor(QPalette::WindowText, pal.color(QPalette::ToolTipText));
    hintPanel_->setPalette(pal);
    hintPanel_->setFont(PanelFont());
    hintPanel_->resize(100, kHintHeight);
    surface_ = new THintSurface(hintPanel_);
    auto* prev = new THintArrow(false, hintPanel_);
    auto* next = new THintArrow(true, hintPanel_);
    prev->OnClick = [this] { StepOverload(-1); };
    next->OnClick = [this] { StepOverload(1); };
    prevArrow_ = prev;
    nextArrow_ = next;
    prevArrow_->hide();
    nextArrow_->hide();
    hintPanel_->hide();
}

void TCodeCompletion::SetIndex(const TFunctionIndex* index)
{
    HideAll();
    index_ = index;
}

void TCodeCompletion::SetNameChoices(std::vector<std::string> names)
{
    names_ = std::move(names);
}

void TCodeCompletion::SetDelay(int ms)
{
    delay_ = std::max(0, ms);
    if (delay_ == 0)
        StopTimer();
    else
        timer_->setInterval(delay_);
}

void TCodeCompletion::SetPanelParent(QWidget* parent)
{
    if (!parent)
        return;
    HideAll();
    if (listPanel_)
        listPanel_->setParent(parent);
    if (hintPanel_)
        hintPanel_->setParent(parent);
    if (listPanel_)
        listPanel_->hide();
    if (hintPanel_)
        hintPanel_->hide();
}

// ------------------------------------------------------------ text area

std::string TCodeCompletion::Text() const { return edit_->Text(); }

int TCodeCompletion::Caret() const { return edit_->SelStart(); }

TTokenLookup TCodeCompletion::Tokens() const
{
    const TSourceEdit* edit = edit_;
    return [edit](int offset) {
        const TSourceToken t = edit->TokenAt(offset);
        return TTokenSpan{t.Text, t.Start, t.End};
    };
}

TTokenSpan TCodeCompletion::CaretToken() const
{
    const TSourceToken t = edit_->CaretToken();
    return {t.Text, t.Start, t.End};
}

QPoint TCodeCompletion::ToPanelParent(int x, int y) const
{
    QWidget* area = edit_->viewport();
    QWidget* parent = listPanel_ ? listPanel_->parentWidget() : nullptr;
    if (!parent)
        return {x, y};
    if (parent == area || parent->isAncestorOf(area))
        return area->mapTo(parent, QPoint(x, y));
    return parent->mapFromGlobal(area->mapToGlobal(QPoint(x, y)));
}

void TCodeCompletion::StopTimer() { timer_->stop(); }

bool TCodeCompletion::CompletionAllowed() const
{
    return kestrune::CompletionAllowed(CaretToken(), Caret());
}

bool TCodeCompletion::ListShown() const { return listPanel_ && !listPanel_->isHidden(); }

bool TCodeCompletion::HintShown() const { return hintPanel_ && !hintPanel_->isHidden(); }

bool TCodeCompletion::DelayTimerActive() const { return timer_->isActive(); }

QWidget* TCodeCompletion::HintSurface() const { return hintPanel_ ? surface_ : nullptr; }

QLabel* TCodeCompletion::HintArrow(bool next) const
{
    if (!hintPanel_)
        return nullptr;
    return next ? nextArrow_ : prevArrow_;
}

// ------------------------------------------------------------ notifications

bool TCodeCompletion::KeyDown(QKeyEvent* event)
{
    StopTimer();
    if (!event)
        return false;
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const bool alt = mods & Qt::AltModifier;
    const int key = event->key();
    const bool ctrlArrow = (key == Qt::Key_Left || key == Qt::Key_Right) && ctrl && !alt && !shift;

    if (ListShown()) {
        const int count = list_->count();
        const int row = list_->currentRow();
        switch (key) {
        case Qt::Key_Up:
            SelectRow(row - 1);
            return true;
        case Qt::Key_Down:
            SelectRow(row + 1);
            return true;
        case Qt::Key_PageUp:
            SelectRow(row - 10);
            return true;
        case Qt::Key_PageDown:
            SelectRow(row + 10);
            return true;
        case Qt::Key_Home:
            SelectRow(0);
            return true;
        case Qt::Key_End:
            SelectRow(count - 1);
            return true;
        case Qt::Key_Return:
        case Qt::Key_Enter:
            AcceptCompletion(!shift);
            return true;
        case Qt::Key_Escape:
            HideCompletion();
            return true;
        case Qt::Key_Shift:
        case Qt::Key_Control:
        case Qt::Key_Alt:
        case Qt::Key_AltGr:
        case Qt::Key_Meta:
        case Qt::Key_CapsLock:
        case Qt::Key_NumLock:
        case Qt::Key_Delete:
            return false;  // the list stays as it is
        case Qt::Key_Backspace:
            if (!ctrl && !alt) {
                const std::string text = Text();
                const int caret = Caret();
                if (edit_->SelLength() == 0 && caret >= 2 && caret <= static_cast<int>(text.size()) &&
                    text[caret - 1] != ':' && text[caret - 1] != '.') {
                    int at = caret - 1;
                    if (text[at] == '\n' && text[at - 1] == '\r')
                        --at;  // a CR LF goes as one
                    FillCompletion(WordBefore(text, at), context_);
                } else {
                    HideCompletion();
                }
                return false;
            }
            break;
        default:
            break;
        }
        if (ctrlArrow && HintShown()) {
            HideCompletion();
            StepOverload(key == Qt::Key_Left ? -1 : 1);
            return true;
        }
        const QString typed = event->text();
        if (typed.size() == 1 && typed.at(0).unicode() < 0x80 && !(ctrl && !alt)) {
            const char c = static_cast<char>(typed.at(0).unicode());
            if (IsIdentChar(c)) {
                FillCompletion(WordBefore(Text(), Caret()) + c, context_);
                return false;
            }
        }
        HideCompletion();
        return false;
    }

    if (key == Qt::Key_Space && ctrl && !shift && !alt) {
        if (!CompletionAllowed())
            return false;  // the control types the blank
        ShowCompletion();
        return true;
    }
    if (key == Qt::Key_Space && shift && !ctrl && !alt) {
        ShowParameterHint();
        return true;
    }
    if (ctrlArrow && HintShown()) {
        StepOverload(key == Qt::Key_Left ? -1 : 1);
        return true;
    }
    if (key == Qt::Key_Escape && HintShown()) {
        HideHint();
        return true;
    }
    return false;
}

void TCodeCompletion::AfterInsert(char c)
{
    if (c == '.' || c == ':') {
        MemberTrigger();
    } else if (c == '(' || c == ',') {
        HideCompletion();
        ShowParameterHint();
    } else if (!ListShown() && !HintShown() && IsIdentChar(c) && delay_ > 0 && CompletionAllowed()) {
        timer_->start(delay_);
    }
}

void TCodeCompletion::KeyUp()
{
    if (HintShown())
        ShowParameterHint();
}

void TCodeCompletion::HideAll()
{
    StopTimer();
    HideCompletion();
    HideHint();
}

void TCodeCompletion::DelayTimeout()
{
    ShowCompletion();
}

void TCodeCompletion::MemberTrigger()
{
    if (!CaretInString(CaretToken(), Caret()))
        ShowCompletion();
}

// ------------------------------------------------------------ the list

void TCodeCompletion::ShowCompletion()
{
    StopTimer();
    if (!listPanel_)
        return;
    const std::string text = Text();
    const int caret = std::clamp(Caret(), 0, static_cast<int>(text.size()));
    const std::string prefix = WordBefore(text, caret);
    const int start = caret - static_cast<int>(prefix.size());

    // Just below the caret's line at the word's first character; when that
    // reaches below the text area, above it, ending 3 pixels into the line.
    const QRect line = edit_->LineRect(start);
    int y = line.bottom() + 1 + 3;
    if (y + kListHeight > edit_->viewport()->height())
        y = line.top() + 3 - kListHeight;
    listPanel_->move(ToPanelParent(line.left(), y));

    FillCompletion(prefix, ContextBefore(text, start, index_, Tokens()));
    if (list_->count() > 0) {
        listPanel_->show();
        listPanel_->raise();
    }
}

void TCodeCompletion::FillCompletion(const std::string& prefix, const std::string& context)
{
    context_ = context;
    if (!listPanel_)
        return;
    const bool names = StartsWith(prefix, "@");
    const TSyntaxRules& rules = edit_->Rules();
    const int listIndex = names ? TSyntaxRules::kNames : TSyntaxRules::kCommands;
    const QColor windowText = list_->palette().color(QPalette::WindowText);
    bool bold = true;
    listColour_ = names ? kTeal : windowText;
    if (listIndex < static_cast<int>(rules.Lists.size())) {
        bold = rules.Lists[listIndex].Bold;
        listColour_ = RuleColour(rules.Lists[listIndex].Colour, windowText);
    }
    list_->setFont(PanelFont(bold));
    QPalette pal = list_->palette();
    pal.setColor(QPalette::Text, listColour_);
    list_->setPalette(pal);

    const std::vector<TCompletionRow> rows = CompletionRows(prefix, context, index_, names_);
    list_->clear();
    for (const TCompletionRow& row : rows) {
        auto* item = new QListWidgetItem(ToQ(row.Text));
        item->setData(kEntryRole, row.Entry);
        if (row.Entry >= 0 && index_) {
            const TRowParts parts = RowPartsOf(*index_, row.Entry);
            item->setData(kClassRole, ToQ(parts.ClassName));
            item->setData(kParamsRole, ToQ(parts.Params));
            item->setData(kReturnsRole, ToQ(parts.Returns));
            item->setData(kClassTypeRole, parts.ClassType);
        }
        list_->addItem(item);
    }
    if (!rows.empty())
        SelectRow(0);
}

void TCodeCompletion::SelectRow(int row)
{
    if (!listPanel_)
        return;
    const int count = list_->count();
    if (count == 0)
        return;
    list_->setCurrentRow(std::clamp(row, 0, count - 1));
    list_->scrollToItem(list_->currentItem());
}

void TCodeCompletion::AcceptCompletion(bool wholeWord)
{
    if (!listPanel_)
        return;
    const int count = list_->count();
    if (count == 0) {
        HideCompletion();
        return;
    }
    const int row = std::clamp(list_->currentRow(), 0, count - 1);
    const QListWidgetItem* item = list_->item(row);
    const TCompletionRow chosen{FromQ(item->text()), item->data(kEntryRole).toInt()};
    const TAcceptance a = AcceptText(Text(), Caret(), wholeWord, chosen, index_, addParentheses_);

    HideCompletion();
    edit_->ReplaceRange(a.Start, a.End, a.Text);
    edit_->SetSelStart(a.Caret);
    if (a.Member)
        MemberTrigger();
    else if (a.HasParams)
        ShowParameterHint();
}

void TCodeCompletion::HideCompletion()
{
    if (listPanel_)
        listPanel_->hide();
}

std::vector<std::string> TCodeCompletion::RowTexts() const
{
    std::vector<std::string> rows;
    if (!listPanel_)
        return rows;
    for (int i = 0; i < list_->count(); ++i)
        rows.push_back(FromQ(list_->item(i)->text()));
    return rows;
}

int TCodeCompletion::SelectedRow() const { return listPanel_ ? list_->currentRow() : -1; }

// ------------------------------------------------------------ the hint

bool TCodeCompletion::ShowParameterHint()
{
    if (!hintPanel_)
        return false;
    const std::string text = Text();
    const int caret = std::clamp(Caret(), 0, static_cast<int>(text.size()));
    const TTokenSpan token = CaretToken();
    const bool inComment = IsCommentToken(token.Text) && CaretInSpan(token, caret);
    if (inComment || caret == 0 || edit_->SelLength() > 0 || ListShown() || !index_) {
        HideHint();
        return false;
    }
    const TTokenLookup tokens = Tokens();
    const THintCall call = FindHintCall(text, caret, tokens);
    const TOverloads overloads = call.Found ? OverloadsOf(index_, call.Name) : TOverloads{};
    if (overloads.Count == 0) {
        HideHint();
        return false;
    }

    const bool wasHidden = !HintShown();
    if (wasHidden)
        overload_ = ChooseOverload(*index_, overloads, ContextBefore(text, call.NameStart, index_, tokens));
    else
        overload_ = WrapOverload(overload_, overloads.Count);
    overloadCount_ = overloads.Count;
    paramIndex_ = call.ParamIndex;
    hintText_ = kestrune::HintText(*index_, overloads, overload_);
    bold_ = BoldRun(HintSignature(*index_, overloads.First + overload_), call.ParamIndex);
    surface_->SetText(hintText_, bold_);

    const bool several = overloads.Count > 1;
    const int width = 4 + surface_->TextWidth() + 6 + (several ? 20 : 0);
    hintPanel_->resize(width, kHintHeight);
    const int inner = kHintHeight - 2;
    prevArrow_->setGeometry(1, 1, 11, inner);
    nextArrow_->setGeometry(width - 12, 1, 11, inner);
    prevArrow_->setVisible(several);
    nextArrow_->setVisible(several);
    const int left = several ? 12 : 1;
    const int right = several ? width - 12 : width - 1;
    surface_->setGeometry(left, 1, std::max(0, right - left), inner);
    prevArrow_->raise();
    nextArrow_->raise();

    // Just above the caret's line, ending 3 pixels into it, 5 pixels right of
    // the caret; along a line it stays where it is.
    const QRect line = edit_->LineRect(caret);
    const int top = line.top() + 3 - kHintHeight;
    if (wasHidden || top != hintTop_) {
        hintPanel_->move(ToPanelParent(line.left() + 5, top));
        hintTop_ = top;
    }
    hintPanel_->show();
    hintPanel_->raise();
    return true;
}

void TCodeCompletion::HideHint()
{
    if (hintPanel_)
        hintPanel_->hide();
}

void TCodeCompletion::StepOverload(int delta)
{
    if (!HintShown())
        return;
    overload_ += delta;
    ShowParameterHint();
}

} // namespace kestrune
