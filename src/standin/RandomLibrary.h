#pragma once

#include "ThingsLibrary.h"

namespace standin {

// A library of a chosen size for load and speed tests: `tagCount` tags up to `depth` levels deep
// and `todoCount` to-dos carrying up to three tags each. The same seed gives the same library.
class RandomLibrary final {
public:
    static ThingsLibrary build(int tagCount, int depth, int todoCount, quint32 seed = 1);
};

} // namespace standin
