// Speeds that termios has no Bxxx constant for (14400, 56000) go through
// termios2. Kept apart because <asm/termbits.h> clashes with <termios.h>.
#include <asm/termbits.h>
#include <cerrno>
#include <sys/ioctl.h>

namespace hub {

// 0 on success, else errno.
int setCustomBaud(int fd, int bitsPerSecond) {
    struct termios2 t;
    if (ioctl(fd, TCGETS2, &t) != 0) return errno;
    t.c_cflag &= ~CBAUD;
    t.c_cflag |= BOTHER;
    t.c_cflag &= ~(CBAUD << IBSHIFT);
    t.c_cflag |= BOTHER << IBSHIFT;
    t.c_ispeed = static_cast<speed_t>(bitsPerSecond);
    t.c_ospeed = static_cast<speed_t>(bitsPerSecond);
    if (ioctl(fd, TCSETS2, &t) != 0) return errno;
    return 0;
}

} // namespace hub
