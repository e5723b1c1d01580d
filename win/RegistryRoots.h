#pragma once
// The three registry roots that the product reads and writes. Production uses the predefined
// keys; tests pass keys of a sandbox so nothing outside it is touched. The roots are borrowed:
// whoever supplies them keeps them open for as long as they are used.
#include <windows.h>

namespace win {

struct RegistryRoots {
    HKEY classesRoot = HKEY_CLASSES_ROOT;
    HKEY currentUser = HKEY_CURRENT_USER;
    HKEY localMachine = HKEY_LOCAL_MACHINE;
};

}  // namespace win
