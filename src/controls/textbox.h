#pragma once
// Multi-line values in a plain-text box: the box holds one LF per line
// break, the value keeps the line breaks it had (CR LF, LF or CR), and the
// bytes come back as they were.

#include <string>

class QPlainTextEdit;

namespace kestrune {

// The first line break of a text (CR LF, LF or a lone CR); CR LF when none.
std::string LineBreakOf(const std::string& text);
// Every line break of a text as one LF.
std::string WithLfBreaks(const std::string& text);
// Every LF of a text as the given line break.
std::string WithLineBreaks(const std::string& text, const std::string& lineBreak);
// A box's text block by block, LF between lines (the document's plain-text
// export would turn the no-break space, byte A0, into an ordinary space).
std::string BoxText(const QPlainTextEdit* box);

} // namespace kestrune
