#include "Error.h"

TiktakonError::TiktakonError(const std::string& text) : std::runtime_error(text) {}
