#include "Errors.h"

#include <cstring>

namespace mirt {

void ThrowOsError(const std::string& what, int errorCode)
{
    throw EInOutError(what + ": " + std::strerror(errorCode), errorCode);
}

} // namespace mirt
