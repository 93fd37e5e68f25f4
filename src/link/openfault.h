#pragma once

#include "link/result.h"

namespace lumavera {

// Why a port did not open.
enum class OpenFault {
    None,
    Unassigned, // the port number has no device
    NoDevice,   // nothing at the path
    Denied,     // the user may not open it
    Held,       // another program has it
    Locked,     // a lock file of another program or user names it
    NotSerial,  // not a serial line
    Failed,     // the system refused for another reason
    Stopped,    // the open was called off before it was done
};
using OpenResult = Result<OpenFault>;

} // namespace lumavera
