// Output files that appear whole or not at all: every file is written to a temporary beside its
// target and renamed over the target only once it is complete.
#pragma once

#include <functional>
#include <string>

// Writes the file at target through write(temporaryPath, error), which must fill the temporary
// it is given. On any failure the temporary is removed, an existing target is left as it was,
// and error says why. A target that exists keeps its permission bits.
bool writeFileAtomically(const std::string& target,
                         const std::function<bool(const std::string&, std::string&)>& write,
                         std::string& error);
