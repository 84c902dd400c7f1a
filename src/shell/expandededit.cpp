#include "shell/expandededit.h"

#include "controls/textbox.h"
#include "controls/userdialogs.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>

namespace kestrune {


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
    lineBreak_ = LineBreakOf(text);
    Memo->setPlainText(ToQ(WithLfBreaks(text)));
    Memo->moveCursor(QTextCursor::Start);
    Memo->setFocus();
}

std::string TfrmExpandedEdit::Text() const
{
    const std::string edited = BoxText(Memo);
    if (edited == WithLfBreaks(original_))
        return original_;
    return WithLineBreaks(edited, lineBreak_);
}

} // namespace kestrune
