// The program's error classes. Guarded steps catch std::exception, so every error the program
// raises derives from it; nothing in the program catches anything else.
#pragma once

#include <exception>
#include <string>

namespace zorvane {

class Exception : public std::exception {
  public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& Message() const { return message_; }
    virtual const char* ClassName() const { return "Exception"; }

  private:
    std::string message_;
};

class ERegistryException : public Exception {
  public:
    using Exception::Exception;
    const char* ClassName() const override { return "ERegistryException"; }
};

class EInOutError : public Exception {
  public:
    EInOutError(int code, std::string message) : Exception(std::move(message)), code_(code) {}
    int Code() const { return code_; }
    const char* ClassName() const override { return "EInOutError"; }

  private:
    int code_;
};

}  // namespace zorvane
