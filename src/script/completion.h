#pragma once
// TCodeCompletion: the completion list and the parameter hint of the code
// editor's text area. The list offers the functions of the language help's
// index (those of the classes the text before a "." or ":" names) and the
// game's names; the hint shows the signature of the function whose argument
// list holds the caret, with the current parameter in bold.
//
// The code editor passes the text area's notifications on: key down
// (KeyDown, before the control handles the key), a typed character after its
// insertion (AfterInsert), key up (KeyUp), mouse down and focus loss
// (HideAll). Both panels float over a panel parent (the main window's work
// area) and never take the keyboard focus.

#include "script/completionlogic.h"

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QObject>
#include <QPointer>
#include <QString>

#include <string>
#include <vector>

class QKeyEvent;
class QLabel;
class QListWidget;
class QTimer;
class QWidget;

namespace kestrune {

class TFunctionIndex;
class TSourceEdit;
class THintSurface;

class TCodeCompletion : public QObject {
    Q_OBJECT
public:
    // The list is 449 x 149 pixels; rows are 16 pixels high.
    static constexpr int kListWidth = 449;
    static constexpr int kListHeight = 149;
    static constexpr int kRowHeight = 16;
    static constexpr int kHintHeight = 17;

    TCodeCompletion(TSourceEdit* edit, QWidget* panelParent);
    ~TCodeCompletion() override;

    void SetIndex(const TFunctionIndex* index);           // null: no functions
    void SetNameChoices(std::vector<std::string> names);  // "@Name", sorted without regard to case
    void SetAddParentheses(bool on) { addParentheses_ = on; }
    bool AddParentheses() const { return addParentheses_; }
    // The auto-show delay in milliseconds; 0 turns auto-show off.
    void SetDelay(int ms);
    int Delay() const { return delay_; }
    // Moves both panels onto another widget (they are hidden by the move).
    void SetPanelParent(QWidget* parent);

    // --- notifications of the text area --------------------------------------
    // A key goes down: true when the key is consumed.
    bool KeyDown(QKeyEvent* event);
    // A typed character has been inserted.
    void AfterInsert(char c);
    void KeyUp();
    // Mouse down in the text area or focus loss: both panels go.
    void HideAll();

    // --- operations ---------------------------------------------------------
    void ShowCompletion();
    void FillCompletion(const std::string& prefix, const std::string& context);
    // Replaces the word at the caret (wholeWord) or its part before the caret
    // by the selected row.
    void AcceptCompletion(bool wholeWord);
    void HideCompletion();
    // Shows, updates or hides the hint; true when it is shown.
    bool ShowParameterHint();
    void HideHint();
    // Moves the hint's overload by delta (wrapping) and shows it again.
    void StepOverload(int delta);
    // False while the caret stands in a string literal or a comment.
    bool CompletionAllowed() const;
    bool ListShown() const;
    bool HintShown() const;

    // What the delay timer does when it fires.
    void DelayTimeout();
    bool DelayTimerActive() const;

    // --- state, for the panels' drawing and for tests ---------------------------
    std::vector<std::string> RowTexts() const;
    int SelectedRow() const;
    const std::string& CurrentContext() const { return context_; }
    const std::string& HintText() const { return hintText_; }
    TTextRun HintBold() const { return bold_; }
    int OverloadIndex() const { return overload_; }
    int OverloadCount() const { return overloadCount_; }
    int ParamIndex() const { return paramIndex_; }
    QColor ListColour() const { return listColour_; }

    QFrame* ListPanel() const { return listPanel_; }
    QListWidget* List() const { return listPanel_ ? list_ : nullptr; }
    QFrame* HintPanel() const { return hintPanel_; }
    QWidget* HintSurface() const;
    QLabel* HintArrow(bool next) const;

private:
    std::string Text() const;
    int Caret() const;
    TTokenLookup Tokens() const;
    TTokenSpan CaretToken() const;
    // The member trigger: after "." or ":" outside a string, the list at once.
    void MemberTrigger();
    void SelectRow(int row);
    void StopTimer();
    // A point of the text area (its viewport) in panel-parent coordinates.
    QPoint ToPanelParent(int x, int y) const;
    void BuildPanels(QWidget* parent);

    TSourceEdit* edit_;
    const TFunctionIndex* index_ = nullptr;
    std::vector<std::string> names_;
    bool addParentheses_ = true;
    int delay_ = 400;
    QTimer* timer_ = nullptr;

    // The panels belong to their parent widget, which may go first; their
    // children are used only while the panel lives.
    QPointer<QFrame> listPanel_;
    QListWidget* list_ = nullptr;
    QColor listColour_;
    std::string context_;

    QPointer<QFrame> hintPanel_;
    THintSurface* surface_ = nullptr;
    QLabel* prevArrow_ = nullptr;
    QLabel* nextArrow_ = nullptr;
    std::string hintText_;
    TTextRun bold_;
    int overload_ = 0;
    int overloadCount_ = 0;
    int paramIndex_ = 0;
    int hintTop_ = 0;
};

} // namespace kestrune
