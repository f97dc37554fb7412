#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace korvel::render {

// Runs korvel-render with the arguments after the program name. Results and
// --time figures go to `out`; errors go to `err` as one line and the return
// value is non-zero (2 for a malformed command line, 1 for anything else).
int runRenderer(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace korvel::render
