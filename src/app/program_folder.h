// The per-user program folder that holds the settings file and the seed
// file: $KINVAR_HOME when set, else $XDG_CONFIG_HOME/kinvar, else
// ~/.config/kinvar. The report copy file is an anonymous temporary file, so
// nothing is cleaned out of this folder at start-up.
#pragma once

#include <string>

namespace kinvar {

// The folder, ending with '/', created when missing; "" when no folder can
// be determined or created (the settings then stay at their defaults).
std::string ProgramFolder();

}  // namespace kinvar
