#include "platform/file.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

namespace qds::plat {

bool AppendToFile(const char* path, const void* data, size_t size) {
    if (path == nullptr || *path == '\0' || (data == nullptr && size > 0)) return false;
    int fd;
    do {
        fd = open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return false;
    const char* p = static_cast<const char*>(data);
    bool ok = true;
    while (size > 0) {
        const ssize_t n = write(fd, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    close(fd);
    return ok;
}

}  // namespace qds::plat
