#pragma once

#include "ThingsLibrary.h"

namespace standin {

// A library that looks like someone's real Things 3: about sixty tags up to four levels deep (areas
// of life, places, people, energy, contexts), about 250 to-dos in all three states, and a few names
// that are hard to quote. It comes out the same every time, identifiers included.
class DemoLibrary final {
public:
    static ThingsLibrary build();
};

} // namespace standin
