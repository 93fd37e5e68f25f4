#pragma once

#include <QString>

namespace lumavera {

// How an operation that can fail went: a fault of the operation's own kind,
// None when it went through, and the reason a person reads.
template <typename Fault> struct Result
{
    Fault fault = Fault::None;
    QString reason;

    bool ok() const { return fault == Fault::None; }
    explicit operator bool() const { return ok(); }
};

} // namespace lumavera
