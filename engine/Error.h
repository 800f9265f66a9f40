#pragma once

#include <stdexcept>
#include <string>

// The one error type of the program's file layers. Its text (UTF-8) is what the user
// reads in the "Tiktakon" box, e.g. "File access denied" or "Unable to write to /x/tiktakon.ini".
class TiktakonError final : public std::runtime_error
{
public:
    explicit TiktakonError(const std::string& text);
};
