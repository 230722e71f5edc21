#include "diskfaults.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <limits.h>
#include <mutex>
#include <stdio.h>
#include <sys/types.h>
#include <unistd.h>

namespace lumetra::test::diskfaults {
namespace {

std::mutex g_lock;
Plan g_plan;
std::atomic<bool> g_armed{false};
qint64 g_written = 0;

template <typename F> F real(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

bool inFolder(const char* path) {
    const QByteArray& dir = g_plan.folder;
    return path && std::strncmp(path, dir.constData(), size_t(dir.size())) == 0 &&
           path[dir.size()] == '/';
}

bool fdInFolder(int fd) {
    char link[64];
    char target[PATH_MAX];
    std::snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = ::readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return false;
    target[n] = '\0';
    return inFolder(target);
}

// How much of a write of n bytes to fd the disk takes: n, fewer, or -1 (errno set).
ssize_t allowance(int fd, size_t n) {
    if (!g_armed.load() || !fdInFolder(fd))
        return ssize_t(n);
    const std::lock_guard lock(g_lock);
    if (g_plan.acceptBytes < 0) {
        g_written += qint64(n);
        return ssize_t(n);
    }
    const qint64 left = g_plan.acceptBytes - g_written;
    if (left <= 0) {
        errno = g_plan.error;
        return -1;
    }
    const ssize_t taken = ssize_t(std::min<qint64>(left, qint64(n)));
    g_written += taken;
    return taken;
}

bool refusedOpen(const char* path, int flags) {
    if (!g_armed.load() || !g_plan.readOnly)
        return false;
    const bool writing =
        (flags & (O_WRONLY | O_RDWR | O_CREAT | O_TRUNC)) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
    // O_TMPFILE names the folder itself.
    const bool folder = std::strcmp(path, g_plan.folder.constData()) == 0;
    return writing && (inFolder(path) || folder);
}

bool refusedName(const char* path) {
    return g_armed.load() && g_plan.readOnly && inFolder(path);
}

mode_t modeOf(int flags, va_list args) {
    return (flags & O_CREAT) || (flags & O_TMPFILE) == O_TMPFILE ? mode_t(va_arg(args, int)) : 0;
}

int openUnlessRefused(int (*next)(const char*, int, ...), const char* path, int flags,
                      mode_t mode) {
    if (refusedOpen(path, flags)) {
        errno = EACCES;
        return -1;
    }
    return next(path, flags, mode);
}

} // namespace

void arm(const Plan& plan) {
    const std::lock_guard lock(g_lock);
    g_plan = plan;
    g_written = 0;
    g_armed = true;
}

void disarm() {
    g_armed = false;
}

qint64 written() {
    const std::lock_guard lock(g_lock);
    return g_written;
}

} // namespace lumetra::test::diskfaults

using namespace lumetra::test::diskfaults;

extern "C" {

ssize_t write(int fd, const void* buf, size_t n) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t)>("write");
    const ssize_t take = allowance(fd, n);
    return take < 0 ? -1 : next(fd, buf, size_t(take));
}

ssize_t pwrite(int fd, const void* buf, size_t n, off_t at) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t, off_t)>("pwrite");
    const ssize_t take = allowance(fd, n);
    return take < 0 ? -1 : next(fd, buf, size_t(take), at);
}

ssize_t pwrite64(int fd, const void* buf, size_t n, off64_t at) {
    static const auto next = real<ssize_t (*)(int, const void*, size_t, off64_t)>("pwrite64");
    const ssize_t take = allowance(fd, n);
    return take < 0 ? -1 : next(fd, buf, size_t(take), at);
}

int open(const char* path, int flags, ...) {
    static const auto next = real<int (*)(const char*, int, ...)>("open");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return openUnlessRefused(next, path, flags, mode);
}

int open64(const char* path, int flags, ...) {
    static const auto next = real<int (*)(const char*, int, ...)>("open64");
    va_list args;
    va_start(args, flags);
    const mode_t mode = modeOf(flags, args);
    va_end(args);
    return openUnlessRefused(next, path, flags, mode);
}

int linkat(int olddir, const char* from, int newdir, const char* to, int flags) {
    static const auto next = real<int (*)(int, const char*, int, const char*, int)>("linkat");
    if (refusedName(to)) {
        errno = EACCES;
        return -1;
    }
    return next(olddir, from, newdir, to, flags);
}

int rename(const char* from, const char* to) {
    static const auto next = real<int (*)(const char*, const char*)>("rename");
    if (refusedName(to) || refusedName(from)) {
        errno = EACCES;
        return -1;
    }
    return next(from, to);
}

int renameat2(int olddir, const char* from, int newdir, const char* to, unsigned flags) {
    static const auto next =
        real<int (*)(int, const char*, int, const char*, unsigned)>("renameat2");
    if (refusedName(to) || refusedName(from)) {
        errno = EACCES;
        return -1;
    }
    return next(olddir, from, newdir, to, flags);
}

} // extern "C"
