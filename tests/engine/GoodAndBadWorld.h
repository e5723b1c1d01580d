#pragma once
// The world most scan tests start from: one sound type, one broken type, and an extension
// pointing at each.
#include "tests/engine/EngineTestSupport.h"

namespace kvtest {

inline void PlantGoodAndBad(EngineWorld& w) {
    w.SoundProgId(L"goodfile");
    w.BrokenProgId(L"badfile");
    w.ClassesDefault(L".good", L"goodfile");
    w.ClassesDefault(L".bad", L"badfile");
}

}  // namespace kvtest
