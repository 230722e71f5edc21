// Faults for lumetra-cli in its own process, put in front of the C library with LD_PRELOAD:
//   LUMETRA_FAULT_SLOW_HOST=NAME  a lookup of NAME never returns (a name server that is silent)
//   LUMETRA_FAULT_SYNC=1          every fdatasync fails with EIO (a disk that cannot sync)
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <netdb.h>
#include <unistd.h>

extern "C" {

int getaddrinfo(const char* node, const char* service, const addrinfo* hints, addrinfo** res) {
    const char* slow = std::getenv("LUMETRA_FAULT_SLOW_HOST");
    if (slow && node && std::strcmp(node, slow) == 0) {
        for (;;)
            ::sleep(60);
    }
    using Real = int (*)(const char*, const char*, const addrinfo*, addrinfo**);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "getaddrinfo"));
    return real(node, service, hints, res);
}

int fdatasync(int fd) {
    if (std::getenv("LUMETRA_FAULT_SYNC")) {
        errno = EIO;
        return -1;
    }
    using Real = int (*)(int);
    static const auto real = reinterpret_cast<Real>(::dlsym(RTLD_NEXT, "fdatasync"));
    return real(fd);
}
}
