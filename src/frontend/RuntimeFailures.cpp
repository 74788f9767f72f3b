// How the C++ runtime reports its own failures, replaced to keep zorvane.exe small; linked into
// zorvane.exe only.
//
// The runtime's versions format their messages with its copy-on-write string and its
// logic_error and runtime_error classes, and its terminate handler prints demangled type names:
// together over 80 KB of a program whose own code is a tenth of that. The replacements throw
// errors that the program's guarded steps and its error report already handle (every error
// derives from std::exception).
#include <cstdlib>
#include <new>
#include <string>

#include "platform/Exceptions.h"

namespace __gnu_cxx {

// An exception that nothing catches: the run flow catches every error of the program, so this
// only ends a process that is broken beyond reporting.
void __verbose_terminate_handler() {
    std::abort();
}

}  // namespace __gnu_cxx

namespace std {

// Memory: a request that cannot be met, also one larger than a string or vector can hold.
void __throw_bad_alloc() {
    throw std::bad_alloc();
}
void __throw_bad_array_new_length() {
    throw std::bad_alloc();
}
void __throw_length_error(const char*) {
    throw std::bad_alloc();
}

// Misuse of a library operation (an index out of range and the like).
void __throw_logic_error(const char* message) {
    throw zorvane::Exception(message);
}
void __throw_domain_error(const char* message) {
    throw zorvane::Exception(message);
}
void __throw_invalid_argument(const char* message) {
    throw zorvane::Exception(message);
}
void __throw_out_of_range(const char* message) {
    throw zorvane::Exception(message);
}
void __throw_out_of_range_fmt(const char* message, ...) {
    throw zorvane::Exception(message);
}
void __throw_runtime_error(const char* message) {
    throw zorvane::Exception(message);
}
void __throw_range_error(const char* message) {
    throw zorvane::Exception(message);
}
void __throw_overflow_error(const char* message) {
    throw zorvane::Exception(message);
}
void __throw_underflow_error(const char* message) {
    throw zorvane::Exception(message);
}
void __throw_bad_cast() {
    throw zorvane::Exception("Invalid type cast");
}
void __throw_bad_typeid() {
    throw zorvane::Exception("Type of a null object");
}
void __throw_bad_exception() {
    throw zorvane::Exception("Unexpected exception");
}

}  // namespace std
