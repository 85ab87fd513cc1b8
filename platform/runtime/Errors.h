// The kinds of failure the program raises. Every failure is an exception
// derived from Exception; ClassName() names its kind for the error boxes
// ("ERangeError", ...), what() carries the message.
#pragma once

#include <exception>
#include <string>
#include <utility>

namespace mirt {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    virtual const char* ClassName() const { return "Exception"; }
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const { return message_; }
    // Adds where the failure happened, e.g. " (dat\story.txt, line 12)";
    // the kind of the error stays, so a handler can rethrow it with `throw;`.
    void AppendContext(const std::string& context) { message_ += context; }

private:
    std::string message_;
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
    EInOutError(const std::string& message, int errorCode) : Exception(message), errorCode_(errorCode) {}
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
