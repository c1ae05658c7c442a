// How the core says "a value, or the reason there is none". Every function below the
// acquisition control's dispatch boundary that can fail returns a Result<T> or a Status;
// the reason is a sentence a user can read, with a kind that callers may act on.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace qf {

enum class ErrorKind {
    kInvalid,       ///< the input is not what it must be (a bad header, a malformed frame)
    kNoSamples,     ///< a frame of no rows or columns: there is nothing to write
    kCannotRead,    ///< a file or folder could not be opened or read
    kMissing,       ///< a file or folder that was looked for is not there
    kNotAFile,      ///< a folder, a FIFO, a link to nothing where a data file was expected
    kCannotCreate,  ///< an output could not be created or put in place
    kFolderReadOnly,  ///< the output's folder takes no new files (a read-only share)
    kWriteFailed,   ///< a write, flush or close failed; no partial file stays
    kNoSpace,       ///< a write found the disk (or the user's quota) full; no partial file stays
    kExists,        ///< a file of that name exists and was not to be replaced
    kOutOfMemory,
    kControlFailed,  ///< the acquisition control failed a call without a reason: it cannot go on
};

struct Error {
    ErrorKind kind = ErrorKind::kInvalid;
    std::string message;  ///< plain words: "cannot create: Permission denied"
};

/// Done, or the reason not.
class [[nodiscard]] Status {
public:
    Status() = default;
    Status(Error error) : error_(std::move(error)) {}  // NOLINT: a reason is a failed status
    static Status Ok() { return {}; }

    bool ok() const { return !error_; }
    /// Only when !ok().
    const Error& error() const { return *error_; }
    ErrorKind kind() const { return error_->kind; }
    const std::string& message() const { return error_->message; }

private:
    std::optional<Error> error_;
};

/// A value, or the reason there is none.
template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : v_(std::move(value)) {}        // NOLINT: a value is a result
    Result(Error error) : v_(std::move(error)) {}    // NOLINT: so is a reason

    bool ok() const { return v_.index() == 0; }
    /// Only when ok().
    T& value() { return std::get<0>(v_); }
    const T& value() const { return std::get<0>(v_); }
    /// Only when !ok().
    const Error& error() const { return std::get<1>(v_); }
    const std::string& message() const { return error().message; }
    Status status() const { return ok() ? Status() : Status(error()); }

private:
    std::variant<T, Error> v_;
};

inline Error Fail(ErrorKind kind, std::string message) { return Error{kind, std::move(message)}; }

}  // namespace qf
