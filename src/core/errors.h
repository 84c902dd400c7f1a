#pragma once
// Errors that the user must see. Core and model code throw them; the window
// or the command-line tool that started the operation catches them and shows
// the text. The text is the message box's text, in the system's own words.

#include <stdexcept>
#include <string>

namespace kestrune {

class KestruneError : public std::runtime_error {
public:
    explicit KestruneError(const std::string& message) : std::runtime_error(message) {}
};

// Replaces the first "%s" of a message pattern with the argument.
std::string FormatMessage(const std::string& pattern, const std::string& argument);

} // namespace kestrune
