// The kinds of failure the program raises. Every failure is an exception
// derived from Exception; ClassName() names its kind for the error boxes
// ("ERangeError", ...), what() carries the message.
#pragma once

#include <stdexcept>
#include <string>

namespace mirt {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    virtual const char* ClassName() const { return "Exception"; }
};

// An index outside an array's bounds, or a store that is full.
class ERangeError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const override { return "ERangeError"; }
};

// Integer arithmetic that does not fit its type.
class EIntOverflow : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const override { return "EIntOverflow"; }
};

// A file that cannot be opened or read; ErrorCode() is the OS error (errno).
class EInOutError : public Exception {
public:
    EInOutError(const std::string& message, int errorCode)
        : Exception(message), errorCode_(errorCode) {}
    const char* ClassName() const override { return "EInOutError"; }
    int ErrorCode() const { return errorCode_; }

private:
    int errorCode_;
};

// A picture that cannot be loaded: unknown extension, bad or unsupported content.
class EPictureError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const override { return "EPictureError"; }
};

// A story that cannot be played: no script loaded, a jump cycle, ...
class EScriptError : public Exception {
public:
    using Exception::Exception;
    const char* ClassName() const override { return "EScriptError"; }
};

// Builds "<what>: <OS message>" for errno and throws EInOutError with it.
[[noreturn]] void ThrowOsError(const std::string& what, int errorCode);

} // namespace mirt
