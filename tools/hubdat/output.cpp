#include "output.h"

#include "command.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace hubdat {

int finishStdout(const char* program, int code) {
    errno = 0;
    // ferror keeps a failure of any earlier write, whose errno is long gone.
    bool failed = std::fflush(stdout) != 0 || std::ferror(stdout) != 0;
    int e = errno;
    if (std::fclose(stdout) != 0 && !failed) {
        failed = true;
        e = errno;
    }
    if (!failed) return code;
    std::fprintf(stderr, "%s: cannot write the standard output: %s\n", program,
                 std::strerror(e != 0 ? e : EIO));
    return kFileError;
}

} // namespace hubdat
