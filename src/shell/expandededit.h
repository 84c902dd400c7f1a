#pragma once
// "Expanded edit": a window with one multi-line text box for a long value.
// There is no cancel: whatever the box holds when the window closes is the
// result. The text is 8-bit and keeps its bytes; line breaks come back as the
// original text wrote them.

#include <QDialog>

#include <string>

class QPlainTextEdit;

namespace kestrune {

class TfrmExpandedEdit : public QDialog {
    Q_OBJECT
public:
    explicit TfrmExpandedEdit(QWidget* parent = nullptr);

    // Shows `text` in the box, runs the window modally and returns the box's
    // text once it is closed.
    std::string EditText(const std::string& text);

    // The two halves of EditText.
    void SetText(const std::string& text);
    // The box's text. Unchanged text (as far as the box can tell) is the
    // original, byte for byte; changed text ends its lines with the first
    // line break the original used, or CR LF when it had none.
    std::string Text() const;

    QPlainTextEdit* Memo;

private:
    std::string original_;
    std::string lineBreak_ = "\r\n";
};

} // namespace kestrune
