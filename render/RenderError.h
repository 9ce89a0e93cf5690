#pragma once

#include <stdexcept>
#include <string>

// A problem with what the user asked for or gave us (an option, a performance file, the
// output folder). Its message is the one line the user sees; main() turns it into exit
// status 2.
class RenderError : public std::runtime_error
{
public:
    explicit RenderError(const std::string& message) : std::runtime_error(message)
    {
    }
};
