#include "shell/expandededit.h"

#include "controls/userdialogs.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

namespace kestrune {

namespace {

// The first line break of a text: CR LF, LF or a lone CR; empty when none.
std::string FirstLineBreak(const std::string& text)
{
    const size_t at = text.find_first_of("\r\n");
    if (at == std::string::npos)
        return {};
    if (text[at] == '\n')
        return "\n";
    return (at + 1 < text.size() && text[at + 1] == '\n') ? "\r\n" : "\r";
}

// The text as the box holds it: every line break (CR LF, LF or CR) one LF.
std::string WithLfBreaks(const std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            out += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n')
                ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace

TfrmExpandedEdit::TfrmExpandedEdit(QWidget* parent) : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Expanded edit"));
    Memo = new QPlainTextEdit(this);
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    Memo->setFont(font);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(Memo);
    resize(553, 324);
}

std::string TfrmExpandedEdit::EditText(const std::string& text)
{
    SetText(text);
    exec();
    return Text();
}

void TfrmExpandedEdit::SetText(const std::string& text)
{
    original_ = text;
    const std::string first = FirstLineBreak(text);
    lineBreak_ = first.empty() ? "\r\n" : first;
    Memo->setPlainText(ToQ(WithLfBreaks(text)));
    Memo->moveCursor(QTextCursor::Start);
    Memo->setFocus();
}

std::string TfrmExpandedEdit::Text() const
{
    // Block by block: the document's plain-text export would turn the
    // no-break space (byte A0) into an ordinary space.
    std::string edited;
    for (QTextBlock block = Memo->document()->begin(); block.isValid(); block = block.next()) {
        if (block != Memo->document()->begin())
            edited += '\n';
        QString line = block.text();
        line.replace(QChar::LineSeparator, QLatin1Char('\n')); // Shift+Enter
        edited += FromQ(line);
    }
    if (edited == WithLfBreaks(original_))
        return original_;
    std::string out;
    out.reserve(edited.size() + edited.size() / 16);
    for (char c : edited) {
        if (c == '\n')
            out += lineBreak_;
        else
            out += c;
    }
    return out;
}

} // namespace kestrune
