#include "tools/render/ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

namespace vireon::tools {
namespace {

std::string systemReason(int error) {
    std::string reason = std::strerror(error);
    if (!reason.empty()) {
        reason[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(reason[0])));
    }
    return reason;
}

}  // namespace

std::optional<std::string> readWholeFile(const std::string& path, std::size_t maxBytes,
                                         std::string& contents) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return systemReason(errno);
    }
    std::optional<std::string> failure;
    struct stat info {};
    if (::fstat(fd, &info) != 0) {
        failure = systemReason(errno);
    } else if (S_ISDIR(info.st_mode)) {
        failure = "it is a directory";
    } else {
        // Read until end of file rather than trusting st_size, so pipes and /dev/stdin work too.
        contents.clear();
        char buffer[65536];
        for (;;) {
            const ssize_t got = ::read(fd, buffer, sizeof buffer);
            if (got < 0 && errno == EINTR) {
                continue;
            }
            if (got < 0) {
                failure = systemReason(errno);
                break;
            }
            if (got == 0) {
                break;
            }
            if (contents.size() + static_cast<std::size_t>(got) > maxBytes) {
                failure = "it is larger than " + std::to_string(maxBytes) + " bytes";
                break;
            }
            contents.append(buffer, static_cast<std::size_t>(got));
        }
    }
    ::close(fd);
    return failure;
}

}  // namespace vireon::tools
