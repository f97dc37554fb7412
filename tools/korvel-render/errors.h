#pragma once

#include <stdexcept>

namespace korvel::render {

// A failure that ends the run; its message is shown to the user as one line.
struct RenderError : std::runtime_error
{
    using std::runtime_error::runtime_error;
};

// A malformed command line (the message is followed by a hint to --help).
struct UsageError : RenderError
{
    using RenderError::RenderError;
};

} // namespace korvel::render
