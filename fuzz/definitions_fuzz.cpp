// The definition file reader, and what the property table makes of it.

#include "core/proptable.h"
#include "fuzz_common.h"

using namespace kestrune;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TValList defs;
    defs.LoadFromText(fuzz::Bytes(data, size));
    TPropertyTable table;
    for (int i = 0; i < defs.Count() && i < 8; ++i) {
        TParList params(defs.SectionName(i));
        defs.CreateDefault(defs.SectionName(i), params);
        params.ExpandToTable(table, "", &defs);
        for (const auto& row : table.Rows()) {
            if (TField* f = defs.GetField(defs.SectionName(i), row.name)) {
                f->IsValid(row.value);
                f->EditStyle();
            }
        }
        TEventList events(defs.SectionName(i));
        events.ExpandToTable(table, "", &defs);
    }
    return 0;
}
