#pragma once
#include <stdexcept>
#include <string>

// The one exception type of the framework. Its message is the fixed user-facing text
// ("Unable to allocate memory for TVirtBuffer!", ...). Never let it cross the plug-in C interface.
class KovError : public std::runtime_error {
public:
    explicit KovError(const std::string& message) : std::runtime_error(message) {}
};
