// Plain POSIX file work for the rescue: an owned descriptor and errors that say what failed.
// Every change to the volume goes through these calls (openat, read, write, fsync, renameat,
// unlinkat), so that what happens on the disk is exactly what the code says, step by step.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace zorvane::rescue {

// A step that could not be done; the text is what the user reads after "NOT removed <path>: ".
struct RescueError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// "<what>: <the system's text for errno>".
[[noreturn]] void ThrowErrno(std::string_view what);
std::string ErrnoText(int code);

class Fd {
  public:
    Fd() = default;
    explicit Fd(int fd) : fd_(fd) {}
    Fd(Fd&& other) noexcept : fd_(other.Release()) {}
    Fd& operator=(Fd&& other) noexcept;
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd();

    int Get() const { return fd_; }
    explicit operator bool() const { return fd_ >= 0; }
    int Release();

  private:
    int fd_ = -1;
};

// The name by which a library that takes only a path (hivex) reaches exactly the file behind
// `fd`, opened before without following any link.
std::string ProcPath(int fd);

void WriteAll(int fd, std::string_view data, std::string_view what);
void SyncOrThrow(int fd, std::string_view what);

// Up to `limit` bytes from the start of the file.
std::string ReadPrefix(int fd, std::size_t limit);

// Copies the whole of `from` (from its start) to `to`, answering the SHA-256 of what was copied.
std::string CopyAndHash(int from, int to, std::string_view what);
std::string HashOf(int fd);

}  // namespace zorvane::rescue
