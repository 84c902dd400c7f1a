#include "script/sourceedit.h"

#include "controls/textbox.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QSyntaxHighlighter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <unordered_map>

namespace kestrune {

namespace {

std::string Latin1(const QString& s)
{
    const QByteArray bytes = s.toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

QString FromLatin1(const std::string& s) { return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size())); }

// Text coming from outside (clipboard, drops): LF breaks, 8-bit characters.
QString AsDocumentText(QString text)
{
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    for (QChar& ch : text) {
        if (ch == QLatin1Char('\r') || ch == QChar::LineSeparator || ch == QChar::ParagraphSeparator)
            ch = QLatin1Char('\n');
        else if (ch.unicode() > 0xFF)
            ch = QLatin1Char('?');
    }
    return text;
}

enum class OwnKey { None, Undo, Redo, Copy, Paste, Cut };

// The control's own editing keys, on every platform.
OwnKey OwnKeyOf(const QKeyEvent* event)
{
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool shift = mods & Qt::ShiftModifier;
    const bool alt = mods & Qt::AltModifier;
    const bool ctrlOnly = ctrl && !alt && !shift;
    const bool shiftOnly = shift && !ctrl && !alt;
    switch (event->key()) {
    case Qt::Key_Backspace:
        if (alt && !ctrl)
            return shift ? OwnKey::Redo : OwnKey::Undo;
        break;
    case Qt::Key_Z:
        if (ctrl && !alt)
            return shift ? OwnKey::Redo : OwnKey::Undo;
        break;
    case Qt::Key_C:
        return ctrlOnly ? OwnKey::Copy : OwnKey::None;
    case Qt::Key_V:
        return ctrlOnly ? OwnKey::Paste : OwnKey::None;
    case Qt::Key_X:
        return ctrlOnly ? OwnKey::Cut : OwnKey::None;
    case Qt::Key_Insert:
        return ctrlOnly ? OwnKey::Copy : shiftOnly ? OwnKey::Paste : OwnKey::None;
    case Qt::Key_Delete:
        return shiftOnly ? OwnKey::Cut : OwnKey::None;
    default:
        break;
    }
    return OwnKey::None;
}

bool IsBlank(QChar ch) { return ch == QLatin1Char(' ') || ch == QLatin1Char('\t'); }

QString LeadingBlanks(const QString& s)
{
    int n = 0;
    while (n < s.size() && IsBlank(s[n]))
        ++n;
    return s.left(n);
}

} // namespace

// Colours a block with the tokenizer, starting from the state the previous
// block ended in; the block's own end state is kept as its user state.
class TSourceHighlighter : public QSyntaxHighlighter {
public:
    explicit TSourceHighlighter(TSourceEdit* edit) : QSyntaxHighlighter(edit->document()), edit_(edit) {}

    void ForgetFormats() { formats_.clear(); }

protected:
    void highlightBlock(const QString& text) override
    {
        const QByteArray bytes = text.toLatin1();
        const std::string_view line(bytes.constData(), static_cast<size_t>(bytes.size()));
        tokens_.clear();
        const TLineState end =
            TokenizeLine(line, TLineState::Unpack(previousBlockState()), edit_->rules_, tokens_);
        const int n = static_cast<int>(line.size());
        for (const TToken& t : tokens_) {
            const int stop = std::min(t.End, n);
            if (stop <= t.Start)
                continue;
            const std::uint32_t colour = TokenColour(edit_->rules_, t);
            const bool bold = TokenBold(edit_->rules_, t);
            if (colour == kWindowTextColour && !bold)
                continue;
            setFormat(t.Start, stop - t.Start, Format(colour, bold));
        }
        setCurrentBlockState(end.Pack());
        ++edit_->recoloured_;
    }

private:
    const QTextCharFormat& Format(std::uint32_t colour, bool bold)
    {
        const std::uint64_t key = (static_cast<std::uint64_t>(colour) << 1) | (bold ? 1u : 0u);
        auto it = formats_.find(key);
        if (it == formats_.end()) {
            QTextCharFormat f;
            if (colour != kWindowTextColour)
                f.setForeground(QColor::fromRgb(static_cast<QRgb>(colour & 0xFFFFFF)));
            if (bold)
                f.setFontWeight(QFont::Bold);
            it = formats_.emplace(key, f).first;
        }
        return it->second;
    }

    TSourceEdit* edit_;
    std::vector<TToken> tokens_;
    std::unordered_map<std::uint64_t, QTextCharFormat> formats_;
};

// ---------------------------------------------------------------------------

TSourceEdit::TSourceEdit(QWidget* parent) : QPlainTextEdit(parent), rules_(TSyntaxRules::QV5Lang())
{
    QFont font(QStringLiteral("Courier New"), 10);
    font.setStyleHint(QFont::Monospace);
    font.setFixedPitch(true);
    if (!QFontInfo(font).fixedPitch()) {
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        font.setPointSize(10);
    }
    setFont(font);
    setTabStopDistance(2 * QFontMetricsF(font).horizontalAdvance(QLatin1Char(' ')));
    setLineWrapMode(QPlainTextEdit::NoWrap);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    document()->setDocumentMargin(2);

    // The highlighter first: the change notification then finds the
    // colouring state of every line up to date.
    highlighter_ = new TSourceHighlighter(this);
    connect(document(), &QTextDocument::contentsChange, this, [this](int, int removed, int added) {
        if ((removed != 0 || added != 0) && OnChange)
            OnChange();
    });
}

TSourceEdit::~TSourceEdit() = default;

void TSourceEdit::RulesChanged()
{
    auto* h = static_cast<TSourceHighlighter*>(highlighter_);
    h->ForgetFormats();
    h->rehighlight();
}

void TSourceEdit::SetWords(int list, std::vector<std::string> words)
{
    if (list < 0 || list >= static_cast<int>(rules_.Lists.size()))
        return;
    rules_.Lists[static_cast<size_t>(list)].SetWords(std::move(words));
    RulesChanged();
}

// --- offsets -----------------------------------------------------------------

int TSourceEdit::BlockOffset(const QTextBlock& block) const
{
    const int extra = static_cast<int>(lineBreak_.size()) - 1;
    return block.position() + block.blockNumber() * extra;
}

int TSourceEdit::OffsetOfPosition(int position) const
{
    const QTextDocument* doc = document();
    position = std::clamp(position, 0, std::max(0, doc->characterCount() - 1));
    const QTextBlock block = doc->findBlock(position);
    if (!block.isValid())
        return position;
    return BlockOffset(block) + (position - block.position());
}

int TSourceEdit::PositionOfOffset(int offset) const
{
    const QTextDocument* doc = document();
    if (offset <= 0)
        return 0;
    // The last block whose first offset is not beyond `offset`.
    int lo = 0, hi = doc->blockCount() - 1;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (BlockOffset(doc->findBlockByNumber(mid)) <= offset)
            lo = mid;
        else
            hi = mid - 1;
    }
    const QTextBlock block = doc->findBlockByNumber(lo);
    const int column = std::min(offset - BlockOffset(block), block.length() - 1);
    return block.position() + column;
}

std::string TSourceEdit::Range(int start, int end) const
{
    std::string out;
    if (end <= start)
        return out;
    QTextBlock block = document()->findBlock(PositionOfOffset(start));
    while (block.isValid()) {
        const int from = BlockOffset(block);
        if (from >= end)
            break;
        std::string line = Latin1(block.text());
        if (block.next().isValid())
            line += lineBreak_;
        const int a = std::max(start - from, 0);
        const int b = std::min(end - from, static_cast<int>(line.size()));
        if (b > a)
            out.append(line, static_cast<size_t>(a), static_cast<size_t>(b - a));
        block = block.next();
    }
    return out;
}

// --- text, caret, selection ----------------------------------------------------

std::string TSourceEdit::Text() const
{
    std::string out;
    for (QTextBlock block = document()->begin(); block.isValid(); block = block.next()) {
        if (block != document()->begin())
            out += lineBreak_;
        out += Latin1(block.text());
    }
    return out;
}

void TSourceEdit::SetText(const std::string& text)
{
    lineBreak_ = LineBreakOf(text);
    // Through a cursor rather than setPlainText, which would clear the history.
    QTextCursor cursor(document());
    cursor.beginEditBlock();
    cursor.select(QTextCursor::Document);
    cursor.insertText(FromLatin1(WithLfBreaks(text)));
    cursor.endEditBlock();
    cursor.setPosition(0);
    setTextCursor(cursor);
    ensureCursorVisible();
}

int TSourceEdit::SelStart() const { return OffsetOfPosition(textCursor().selectionStart()); }

void TSourceEdit::SetSelStart(int offset)
{
    QTextCursor cursor = textCursor();
    cursor.setPosition(PositionOfOffset(offset));
    setTextCursor(cursor);
}

int TSourceEdit::SelLength() const
{
    const QTextCursor cursor = textCursor();
    return OffsetOfPosition(cursor.selectionEnd()) - OffsetOfPosition(cursor.selectionStart());
}

void TSourceEdit::SetSelLength(int length)
{
    const int start = SelStart();
    QTextCursor cursor = textCursor();
    cursor.setPosition(PositionOfOffset(start));
    cursor.setPosition(PositionOfOffset(std::max(0, start + length)), QTextCursor::KeepAnchor);
    setTextCursor(cursor);
}

void TSourceEdit::ReplaceRange(int start, int end, const std::string& text)
{
    if (end < start)
        std::swap(start, end);
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.setPosition(PositionOfOffset(start));
    cursor.setPosition(PositionOfOffset(end), QTextCursor::KeepAnchor);
    cursor.insertText(FromLatin1(WithLfBreaks(text)));
    cursor.endEditBlock();
    setTextCursor(cursor);
}

// --- history -------------------------------------------------------------------

void TSourceEdit::Undo() { undo(); }
void TSourceEdit::Redo() { redo(); }
bool TSourceEdit::CanUndo() const { return document()->isUndoAvailable(); }
bool TSourceEdit::CanRedo() const { return document()->isRedoAvailable(); }
void TSourceEdit::ClearUndo() { document()->clearUndoRedoStacks(); }

// --- tokens --------------------------------------------------------------------

TLineState TSourceEdit::StateBefore(const QTextBlock& block) const
{
    const QTextBlock previous = block.previous();
    if (!previous.isValid())
        return {};
    if (previous.userState() >= 0)
        return TLineState::Unpack(previous.userState());
    // Not coloured yet: run the tokenizer from the top.
    TLineState state;
    std::vector<TToken> tokens;
    for (QTextBlock b = document()->begin(); b.isValid() && b != block; b = b.next()) {
        const QByteArray bytes = b.text().toLatin1();
        tokens.clear();
        state = TokenizeLine(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), state, rules_,
                             tokens);
    }
    return state;
}

TSourceToken TSourceEdit::TokenAt(int offset) const
{
    TSourceToken result;
    const QTextDocument* doc = document();
    const int length = OffsetOfPosition(doc->characterCount() - 1);
    if (offset < 0 || offset >= length)
        return result;

    const int lineBreak = static_cast<int>(lineBreak_.size());
    std::vector<TToken> tokens;
    // Tokenizes a block: its tokens and its end state.
    auto tokenize = [&](const QTextBlock& block, TLineState in) {
        const QByteArray bytes = block.text().toLatin1();
        tokens.clear();
        return TokenizeLine(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), in, rules_,
                            tokens);
    };
    // A token end inside a block as an offset (the break's end past the line).
    auto endOffset = [&](const QTextBlock& block, int end) {
        const int n = block.length() - 1;
        return BlockOffset(block) + (end <= n ? end : n + (block.next().isValid() ? lineBreak : 0));
    };

    const QTextBlock block = doc->findBlock(PositionOfOffset(offset));
    const int n = block.length() - 1;
    const int column = std::min(offset - BlockOffset(block), n);
    const TLineState in = StateBefore(block);
    const TLineState out = tokenize(block, in);
    auto it = std::find_if(tokens.begin(), tokens.end(),
                           [&](const TToken& t) { return t.Start <= column && column < t.End; });
    if (it == tokens.end())
        return result;
    const TToken token = *it;
    int start = BlockOffset(block) + token.Start;
    int end = endOffset(block, token.End);

    if (token.Kind == TTokenKind::Span) {
        // A span crossing lines: back to the line it begins on...
        if (token.Start == 0 && in.Span >= 0) {
            for (QTextBlock b = block.previous(); b.isValid(); b = b.previous()) {
                const TLineState bIn = StateBefore(b);
                tokenize(b, bIn);
                if (tokens.empty())
                    break;
                start = BlockOffset(b) + tokens.back().Start;
                if (tokens.back().Start != 0 || bIn.Span < 0)
                    break;
            }
        }
        // ...and on to the line it ends on.
        if (token.End > n && out.Span >= 0) {
            TLineState state = out;
            for (QTextBlock b = block.next(); b.isValid(); b = b.next()) {
                state = tokenize(b, state);
                if (tokens.empty())
                    break;
                end = endOffset(b, tokens.front().End);
                if (tokens.front().End <= b.length() - 1 || state.Span < 0)
                    break;
            }
        }
    }
    if (end <= start)
        return result;
    result.Text = Range(start, end);
    result.Start = start;
    result.End = end;
    result.Length = end - start;
    result.Kind = token.Kind;
    return result;
}

TSourceToken TSourceEdit::CaretToken() const
{
    const int caret = OffsetOfPosition(textCursor().position());
    if (caret <= 0)
        return {};
    return TokenAt(caret - 1);
}

void TSourceEdit::ReplaceToken(const TSourceToken& token, const std::string& text)
{
    ReplaceRange(token.Start, token.End, text);
}

// --- view ------------------------------------------------------------------------

int TSourceEdit::FirstVisibleLine() const { return firstVisibleBlock().blockNumber(); }

void TSourceEdit::ScrollCaretIntoView() { ensureCursorVisible(); }

QRect TSourceEdit::LineRect(int offset) const
{
    QTextCursor cursor(document());
    cursor.setPosition(PositionOfOffset(offset));
    const QRect caret = cursorRect(cursor);
    const QTextBlock block = cursor.block();
    const QTextLine line = block.layout() ? block.layout()->lineForTextPosition(cursor.positionInBlock()) : QTextLine();
    if (!line.isValid())
        return caret;
    // Rounding both edges the same way makes a line end where the next begins.
    const qreal blockTop = blockBoundingGeometry(block).translated(contentOffset()).top();
    const int top = qRound(blockTop + line.y());
    const int bottom = qRound(blockTop + line.y() + line.height());
    return QRect(caret.left(), top, std::max(1, caret.width()), std::max(1, bottom - top));
}

// --- typing --------------------------------------------------------------------

void TSourceEdit::TypeText(const QString& text)
{
    for (const QChar ch : text) {
        if (ch.unicode() > 0xFF)
            continue;  // not an 8-bit character
        const char c = static_cast<char>(ch.unicode());
        if (OnChar && OnChar(c))
            continue;
        QTextCursor cursor = textCursor();
        cursor.beginEditBlock();
        if (c == '}' && !cursor.hasSelection()) {
            // On a line holding only blanks so far, "}" goes one level back.
            const QString before = cursor.block().text().left(cursor.positionInBlock());
            if (!before.isEmpty() && LeadingBlanks(before).size() == before.size()) {
                int remove = 1;
                if (before.endsWith(QLatin1Char(' ')))
                    remove = before.endsWith(QStringLiteral("  ")) ? 2 : 1;
                for (int k = 0; k < remove; ++k)
                    cursor.deletePreviousChar();
            }
        } else if (overwriteMode() && !cursor.hasSelection() && !cursor.atBlockEnd()) {
            cursor.deleteChar();
        }
        cursor.insertText(QString(ch));
        cursor.endEditBlock();
        setTextCursor(cursor);
        ensureCursorVisible();
        if (OnAfterInsert)
            OnAfterInsert(c);
    }
}

void TSourceEdit::NewLine()
{
    if (OnChar && OnChar('\r'))
        return;
    QTextCursor cursor = textCursor();
    cursor.beginEditBlock();
    cursor.removeSelectedText();
    // The new line starts with the indentation of the text before the
    // caret, one level more after a "{".
    const QString before = cursor.block().text().left(cursor.positionInBlock());
    QString indent = LeadingBlanks(before);
    QString trimmed = before;
    while (!trimmed.isEmpty() && IsBlank(trimmed.back()))
        trimmed.chop(1);
    if (trimmed.endsWith(QLatin1Char('{')))
        indent += indent.contains(QLatin1Char('\t')) ? QStringLiteral("\t") : QStringLiteral("  ");
    cursor.insertBlock();
    cursor.insertText(indent);
    cursor.endEditBlock();
    setTextCursor(cursor);
    ensureCursorVisible();
    if (OnAfterInsert)
        OnAfterInsert('\r');
}

void TSourceEdit::keyPressEvent(QKeyEvent* event)
{
    if (OnKeyDown && OnKeyDown(event)) {
        event->accept();
        return;
    }
    const Qt::KeyboardModifiers mods = event->modifiers() & ~Qt::KeypadModifier;
    const bool ctrl = mods & Qt::ControlModifier;
    const bool alt = mods & Qt::AltModifier;
    const int key = event->key();
    event->accept();

    switch (OwnKeyOf(event)) {
    case OwnKey::Undo: Undo(); return;
    case OwnKey::Redo: Redo(); return;
    case OwnKey::Copy: copy(); return;
    case OwnKey::Paste: paste(); return;
    case OwnKey::Cut: cut(); return;
    case OwnKey::None: break;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !ctrl && !alt) {
        if (!isReadOnly())
            NewLine();
        return;
    }

    // A typed character: printable (or a tab), without Ctrl unless with Alt
    // as well (AltGr); Ctrl+Space types a blank.
    QString text = event->text();
    if (key == Qt::Key_Space && text.isEmpty())
        text = QStringLiteral(" ");
    bool typed = !text.isEmpty() && !isReadOnly();
    for (const QChar ch : text)
        if (!(ch == QLatin1Char('\t') || (ch.unicode() >= 0x20 && ch.unicode() != 0x7F)))
            typed = false;
    if (typed && ctrl && !alt && key != Qt::Key_Space)
        typed = false;
    if (typed && key == Qt::Key_Backtab)
        typed = false;
    if (typed) {
        TypeText(text);
        return;
    }
    QPlainTextEdit::keyPressEvent(event);
}

bool TSourceEdit::event(QEvent* event)
{
    // The own keys reach keyPressEvent (and OnKeyDown) even where a window
    // has them as shortcuts.
    if (event->type() == QEvent::ShortcutOverride && OwnKeyOf(static_cast<QKeyEvent*>(event)) != OwnKey::None) {
        event->accept();
        return true;
    }
    return QPlainTextEdit::event(event);
}

void TSourceEdit::keyReleaseEvent(QKeyEvent* event)
{
    QPlainTextEdit::keyReleaseEvent(event);
    if (OnKeyUp)
        OnKeyUp(event);
}

void TSourceEdit::mousePressEvent(QMouseEvent* event)
{
    if (OnMouseDown)
        OnMouseDown();
    QPlainTextEdit::mousePressEvent(event);
}

void TSourceEdit::focusOutEvent(QFocusEvent* event)
{
    QPlainTextEdit::focusOutEvent(event);
    if (OnFocusLost)
        OnFocusLost();
}

void TSourceEdit::paintEvent(QPaintEvent* event)
{
    QPlainTextEdit::paintEvent(event);
    // The caret stays visible while the focus is elsewhere.
    if (!hasFocus()) {
        const QRect r = cursorRect();
        QPainter painter(viewport());
        painter.fillRect(QRect(r.left(), r.top(), std::max(1, cursorWidth()), r.height()), palette().text());
    }
}

void TSourceEdit::insertFromMimeData(const QMimeData* source)
{
    if (!source || !source->hasText() || isReadOnly())
        return;
    QTextCursor cursor = textCursor();
    cursor.insertText(AsDocumentText(source->text()));
    setTextCursor(cursor);
    ensureCursorVisible();
}

QMimeData* TSourceEdit::createMimeDataFromSelection() const
{
    QString text = textCursor().selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    auto* data = new QMimeData;
    data->setText(text);
    return data;
}

} // namespace kestrune
