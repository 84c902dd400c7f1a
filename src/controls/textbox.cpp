#include "controls/textbox.h"

#include "controls/userdialogs.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextDocument>

namespace kestrune {

std::string LineBreakOf(const std::string& text)
{
    const size_t at = text.find_first_of("\r\n");
    if (at == std::string::npos)
        return "\r\n";
    if (text[at] == '\n')
        return "\n";
    return (at + 1 < text.size() && text[at + 1] == '\n') ? "\r\n" : "\r";
}

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

std::string WithLineBreaks(const std::string& text, const std::string& lineBreak)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n')
            out += lineBreak;
        else
            out += c;
    }
    return out;
}

std::string BoxText(const QPlainTextEdit* box)
{
    std::string out;
    const QTextDocument* doc = box->document();
    for (QTextBlock block = doc->begin(); block.isValid(); block = block.next()) {
        if (block != doc->begin())
            out += '\n';
        QString line = block.text();
        line.replace(QChar::LineSeparator, QLatin1Char('\n')); // Shift+Enter
        out += FromQ(line);
    }
    return out;
}

} // namespace kestrune
