// The one exception type of the core: a failure with its status (an HRESULT) and a
// sentence for the user.
#pragma once

#include <stdexcept>
#include <string>

#include "platform/oleauto.h"

namespace qf {

class StatusError : public std::runtime_error {
public:
    StatusError(HRESULT status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    HRESULT status() const { return status_; }

private:
    HRESULT status_;
};

/// Memory ran out (E_OUTOFMEMORY, or an allocation that failed).
class OutOfMemoryError : public StatusError {
public:
    explicit OutOfMemoryError(const std::string& message) : StatusError(E_OUTOFMEMORY, message) {}
};

/// Throws OutOfMemoryError for E_OUTOFMEMORY, StatusError for any other failure. The
/// user reads `reason` in plain words; the status follows in brackets for a bug report:
/// "the file shrank while being read ... [E_FAIL (0x80004005)]".
[[noreturn]] void ThrowStatusWithReason(HRESULT status, const std::string& reason);
/// The same; `context` says in words which call failed.
[[noreturn]] void ThrowStatus(HRESULT status, const std::string& context);

/// "E_INVALIDARG (0x80070057)" for the codes we know, the hex value for others.
std::string DescribeStatus(HRESULT status);

}  // namespace qf
