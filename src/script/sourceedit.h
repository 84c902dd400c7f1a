#pragma once
// TSourceEdit: the syntax-colouring edit control of the code editor. A
// QPlainTextEdit whose QSyntaxHighlighter runs the Qt-free script tokenizer
// block by block, keeping the tokenizer's state (open span, parenthesis
// depth) per block so that spans crossing lines colour correctly after any
// edit.
//
// Offsets are character offsets into Text(), where a line break counts as
// two characters (CR LF; one for a text set with LF or CR breaks). Text is
// 8-bit (Latin-1) throughout.

#include "script/tokenizer.h"

#include <QPlainTextEdit>

#include <functional>
#include <string>
#include <vector>

class QMimeData;
class QSyntaxHighlighter;
class QTextBlock;

namespace kestrune {

// A syntax token of the text: Start is the offset of its first character,
// End the offset just after its last one. An empty Text means no token.
struct TSourceToken {
    std::string Text;
    int Start = 0;
    int End = 0;
    int Length = 0;
    TTokenKind Kind = TTokenKind::Plain;
};

class TSourceEdit : public QPlainTextEdit {
public:
    explicit TSourceEdit(QWidget* parent = nullptr);
    ~TSourceEdit() override;

    // --- colouring set-up -------------------------------------------------
    // The rules the tokenizer colours by (word lists, spans, colours).
    // Call RulesChanged() after changing them: the whole text is coloured again.
    TSyntaxRules& Rules() { return rules_; }
    const TSyntaxRules& Rules() const { return rules_; }
    void RulesChanged();
    // Replaces the words of word list `list` (0-based) and colours again.
    void SetWords(int list, std::vector<std::string> words);

    // --- text, caret, selection ---------------------------------------------
    // The whole text with CR LF line breaks (the line break the text was set
    // with, see SetText).
    std::string Text() const;
    // Replaces the whole text; its first line break (CR LF, LF or CR) is the
    // one Text() gives back. Clears neither history (see ClearUndo).
    void SetText(const std::string& text);
    int SelStart() const;           // caret offset (the selection's start while text is selected)
    void SetSelStart(int offset);   // moves the caret, clearing the selection
    int SelLength() const;          // 0 without a selection
    void SetSelLength(int length);  // selects from SelStart() on
    // Replaces the characters [start, end) with text (LF or CR LF breaks),
    // as one undo step; the caret goes after the inserted text.
    void ReplaceRange(int start, int end, const std::string& text);
    // The line break Text() uses.
    const std::string& LineBreak() const { return lineBreak_; }
    // Between offsets and positions of the document (where a line break is
    // one character). An offset inside a CR LF is taken as the line's end.
    int OffsetOfPosition(int position) const;
    int PositionOfOffset(int offset) const;

    // --- history ------------------------------------------------------------
    void Undo();
    void Redo();
    bool CanUndo() const;
    bool CanRedo() const;
    void ClearUndo();  // clears undo and redo

    // --- tokens -------------------------------------------------------------
    // The token holding the character at offset (empty token beyond the text).
    TSourceToken TokenAt(int offset) const;
    // The token holding the character just before the caret (empty at the start).
    TSourceToken CaretToken() const;
    // Replaces a token's text (one undo step) and leaves the caret after it.
    void ReplaceToken(const TSourceToken& token, const std::string& text);

    // --- view ---------------------------------------------------------------
    int FirstVisibleLine() const;   // 0-based
    // The line holding the character position at offset, in viewport
    // coordinates: from the line's top to the next line's top, with its left
    // edge where a caret at offset stands.
    QRect LineRect(int offset) const;
    void ScrollCaretIntoView();
    // Lines (blocks) the highlighter coloured since the counter was reset.
    long RecolouredLines() const { return recoloured_; }
    void ResetRecolouredLines() { recoloured_ = 0; }

    // --- notifications (all optional) ---------------------------------------
    // A key goes down, before the control's own handling: true consumes it.
    std::function<bool(QKeyEvent*)> OnKeyDown;
    // A character is about to be typed: true consumes it (nothing is inserted).
    // Enter comes as '\r' (then the line break and indentation are inserted).
    std::function<bool(char)> OnChar;
    // A typed character was inserted.
    std::function<void(char)> OnAfterInsert;
    std::function<void(QKeyEvent*)> OnKeyUp;
    std::function<void()> OnMouseDown;
    std::function<void()> OnFocusLost;
    // The text changed (typing, undo, redo, SetText, ReplaceRange).
    std::function<void()> OnChange;

protected:
    bool event(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void keyReleaseEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    // Pasted and dropped text is made 8-bit with LF breaks; copied text
    // keeps its bytes (a no-break space stays one).
    void insertFromMimeData(const QMimeData* source) override;
    QMimeData* createMimeDataFromSelection() const override;

private:
    friend class TSourceHighlighter;
    int BlockOffset(const QTextBlock& block) const;
    TLineState StateBefore(const QTextBlock& block) const;
    std::string Range(int start, int end) const;
    void TypeText(const QString& text);
    void NewLine();
    TSyntaxRules rules_;
    QSyntaxHighlighter* highlighter_ = nullptr;
    std::string lineBreak_ = "\r\n";
    long recoloured_ = 0;
};

} // namespace kestrune
