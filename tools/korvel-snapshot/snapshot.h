#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvel::snapshot {

// Runs korvel-snapshot with the arguments after the program name: loads the
// bundle, applies the settings, processes audio the way a host does while its
// editor is open, opens the editor's view in a hidden window, has it draw one
// frame and writes that frame as a PNG. Errors go to `err` as one line and
// the return value is non-zero (2 for a malformed command line, 1 for
// anything else), as with korvel-render.
int runSnapshot(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace korvel::snapshot
