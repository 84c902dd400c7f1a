// The scan of a help class page: any text gives a list of functions whose
// names are anchor names (nothing the anchor's end stops at) and whose
// parameter texts are empty or parenthesised, and never anything else.

#include "help/functionindex.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const TScannedFunction& f : ScanPageText(text)) {
        if (f.Name.find_first_of("> (") != std::string::npos)
            __builtin_trap();
        if (!f.Params.empty() && f.Params.front() != '(')
            __builtin_trap();
        if (f.Name.size() > size || f.Params.size() > size || f.Returns.size() > size + 1)
            __builtin_trap();
    }
    return 0;
}
