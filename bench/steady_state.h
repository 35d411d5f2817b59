// The state every start but the first meets: the control installed and
// registered in the prefix, the settings file in the working folder.
#pragma once

#include <string>

namespace bench {

// The floor program (bench_floor.exe) next to this benchmark.
std::string FloorPath();

// Removes the control's registration, starts the program once in dir,
// answers the first start's messages (overwrite questions, "Register
// finish", the settings file's "CreateFile") and leaves it; then checks
// that the control is registered from the system directory and that the
// settings file exists. False, with the reason on stderr, otherwise.
bool PrepareSteadyState(const std::string& exe, const std::string& dir);

}  // namespace bench
