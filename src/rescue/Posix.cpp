#include "rescue/Posix.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "rescue/Sha256.h"

namespace zorvane::rescue {

namespace {

constexpr std::size_t ChunkSize = 1 << 20;

}  // namespace

std::string ErrnoText(int code) {
    char buffer[128];
    return strerror_r(code, buffer, sizeof buffer);  // hashes run on a second thread
}

void ThrowErrno(std::string_view what) {
    const int code = errno;
    std::string text(what);
    text += ": ";
    text += ErrnoText(code);
    throw RescueError(text);
}

Fd& Fd::operator=(Fd&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) close(fd_);
        fd_ = other.Release();
    }
    return *this;
}

Fd::~Fd() {
    if (fd_ >= 0) close(fd_);
}

int Fd::Release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
}

std::string ProcPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

void WriteAll(int fd, std::string_view data, std::string_view what) {
    while (!data.empty()) {
        const ssize_t written = write(fd, data.data(), data.size());
        if (written < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(what);
        }
        if (written == 0) {
            errno = ENOSPC;
            ThrowErrno(what);
        }
        data.remove_prefix(static_cast<std::size_t>(written));
    }
}

void SyncOrThrow(int fd, std::string_view what) {
    if (fsync(fd) != 0) ThrowErrno(what);
}

std::string ReadPrefix(int fd, std::size_t limit) {
    std::string data(limit, '\0');
    std::size_t have = 0;
    while (have < limit) {
        const ssize_t got = pread(fd, data.data() + have, limit - have, static_cast<off_t>(have));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) break;
        have += static_cast<std::size_t>(got);
    }
    data.resize(have);
    return data;
}

std::string CopyAndHash(int from, int to, std::string_view what) {
    std::vector<char> buffer(ChunkSize);
    Sha256 hash;
    off_t at = 0;
    for (;;) {
        const ssize_t got = pread(from, buffer.data(), buffer.size(), at);
        if (got < 0) {
            if (errno == EINTR) continue;
            ThrowErrno(what);
        }
        if (got == 0) break;
        const std::string_view piece(buffer.data(), static_cast<std::size_t>(got));
        hash.Update(piece);
        if (to >= 0) WriteAll(to, piece, what);
        at += got;
    }
    return hash.HexDigest();
}

std::string HashOf(int fd) {
    return CopyAndHash(fd, -1, "reading");
}

}  // namespace zorvane::rescue
