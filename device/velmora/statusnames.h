// Plain English names of the device library's statuses, for log lines and error texts. Header-only, so that it
// serves any program on the library, test doubles included.
#pragma once

#include "velmora/flat.h"

#include <string>

namespace velmora {

inline std::string statusName(unsigned int status)
{
    switch (status) {
    case Ok: return "ok";
    case NotConnected: return "not connected";
    case PortError: return "port error";
    case Timeout: return "no answer";
    case BadReply: return "unexpected answer";
    case OutOfRange: return "out of range";
    default: return "error " + std::to_string(status);
    }
}

} // namespace velmora
