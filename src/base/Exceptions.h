#pragma once

#include <exception>
#include <string>
#include <string_view>

namespace tw {

// Root of every error the program raises. Diagnostic lines carry the class
// name, so each class reports its own.
class Exception : public std::exception {
public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const noexcept { return message_; }
    virtual const char* ClassName() const noexcept { return "Exception"; }

private:
    std::string message_;
};

#define TW_DECLARE_EXCEPTION(Name, Base)                                  \
    class Name : public Base {                                            \
    public:                                                               \
        using Base::Base;                                                 \
        const char* ClassName() const noexcept override { return #Name; } \
    }

// The silent abort: unwinds an operation the user cancelled; never reported.
TW_DECLARE_EXCEPTION(EAbort, Exception);
TW_DECLARE_EXCEPTION(EConvertError, Exception);
TW_DECLARE_EXCEPTION(EAssertionFailed, Exception);
TW_DECLARE_EXCEPTION(EInvalidCast, Exception);
TW_DECLARE_EXCEPTION(EInvalidGraphic, Exception);
TW_DECLARE_EXCEPTION(ESQLiteException, Exception);
TW_DECLARE_EXCEPTION(EInOutError, Exception);

// A failed call into the operating system, with its error code.
class EOSError : public Exception {
public:
    EOSError(int code, std::string message) : Exception(std::move(message)), code_(code) {}
    const char* ClassName() const noexcept override { return "EOSError"; }
    int ErrorCode() const noexcept { return code_; }

private:
    int code_;
};

// "System Error.  Code: N.\nText" from errno, as the program reports system failures.
[[noreturn]] void RaiseLastOSError(int errorCode);
std::string SysErrorMessage(int errorCode);

// Precondition check: raises "Assertion failure (Unit)".
inline void Require(bool condition, std::string_view unit) {
    if (!condition) {
        throw EAssertionFailed("Assertion failure (" + std::string(unit) + ")");
    }
}

// Class name of any exception, for diagnostic lines.
const char* ExceptionClassName(const std::exception& e) noexcept;

// "ErrorClassName: <class>" + context + message: the one shape of every
// diagnostic line. The context literal carries its own separators.
std::string ErrorLine(const std::exception& e, std::string_view context);

}  // namespace tw
