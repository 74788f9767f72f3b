// Preloaded into zorvane-rescue: fails the Nth call (ZRV_FAULT_AT=N; 0 fails none) among the
// calls that change files, as a full disk (ENOSPC, for writes) or a failing disk (EIO) would,
// and logs each such call to ZRV_FAULT_LOG as "<n> <call> <path or fd>".
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

static long calls, fail_at;
static int log_fd = -1;

__attribute__((constructor)) static void start(void) {
    const char* at = getenv("ZRV_FAULT_AT");
    const char* log = getenv("ZRV_FAULT_LOG");
    fail_at = at ? atol(at) : 0;
    if (log) log_fd = (int)syscall(SYS_openat, AT_FDCWD, log, O_WRONLY | O_CREAT | O_APPEND, 0600);
}

// Counts a call; true when this one is to fail (errno set).
static int fault(const char* call, const char* what, int fd, int error) {
    char line[600];
    int length = what ? snprintf(line, sizeof line, "%ld %s %s\n", ++calls, call, what)
                      : snprintf(line, sizeof line, "%ld %s fd %d\n", ++calls, call, fd);
    if (log_fd >= 0) syscall(SYS_write, log_fd, line, (size_t)length);
    if (calls != fail_at) return 0;
    errno = error;
    return 1;
}

#define REAL(name) ((__typeof__(&name))dlsym(RTLD_NEXT, #name))
#define WRITES(flags) ((flags) & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC))

int open(const char* path, int flags, ...) {
    va_list list;
    va_start(list, flags);
    mode_t mode = va_arg(list, mode_t);
    va_end(list);
    if (WRITES(flags) && fault("open", path, 0, EIO)) return -1;
    return REAL(open)(path, flags, mode);
}

int openat(int dir, const char* path, int flags, ...) {
    va_list list;
    va_start(list, flags);
    mode_t mode = va_arg(list, mode_t);
    va_end(list);
    if (WRITES(flags) && fault("openat", path, 0, EIO)) return -1;
    return REAL(openat)(dir, path, flags, mode);
}

ssize_t write(int fd, const void* data, size_t size) {
    return fd > 2 && fault("write", NULL, fd, ENOSPC) ? -1 : REAL(write)(fd, data, size);
}
ssize_t pwrite(int fd, const void* data, size_t size, off_t at) {
    return fault("pwrite", NULL, fd, ENOSPC) ? -1 : REAL(pwrite)(fd, data, size, at);
}
int fsync(int fd) {
    return fault("fsync", NULL, fd, EIO) ? -1 : REAL(fsync)(fd);
}
int fdatasync(int fd) {
    return fault("fdatasync", NULL, fd, EIO) ? -1 : REAL(fdatasync)(fd);
}
int ftruncate(int fd, off_t size) {
    return fault("ftruncate", NULL, fd, ENOSPC) ? -1 : REAL(ftruncate)(fd, size);
}
int rename(const char* from, const char* to) {
    return fault("rename", to, 0, EIO) ? -1 : REAL(rename)(from, to);
}
int renameat(int d1, const char* from, int d2, const char* to) {
    return fault("renameat", to, 0, EIO) ? -1 : REAL(renameat)(d1, from, d2, to);
}
int unlink(const char* path) {
    return fault("unlink", path, 0, EIO) ? -1 : REAL(unlink)(path);
}
int unlinkat(int dir, const char* path, int flags) {
    return fault("unlinkat", path, 0, EIO) ? -1 : REAL(unlinkat)(dir, path, flags);
}
int mkdir(const char* path, mode_t mode) {
    return fault("mkdir", path, 0, EIO) ? -1 : REAL(mkdir)(path, mode);
}
int mkdirat(int dir, const char* path, mode_t mode) {
    return fault("mkdirat", path, 0, EIO) ? -1 : REAL(mkdirat)(dir, path, mode);
}
