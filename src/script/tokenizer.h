#pragma once
// The QV5Lang colouring rules, Qt-free: splits text into syntax tokens.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kestrune {

enum class TTokenKind { Plain, Word, Number, Value, Symbol, Paren, Span };

struct TSyntaxRules {
};

} // namespace kestrune
