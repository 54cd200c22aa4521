// tcmu_tray open|close DEVICE: moves the tray through the kernel's cdrom
// layer (CDROMEJECT, CDROMCLOSETRAY), as a desktop's eject does, so the
// guest's kernel learns of a changed disc the way it does with a real drive.
// The guest's busybox has no eject applet.
#include <fcntl.h>
#include <linux/cdrom.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

int main(int argc, char** argv) {
    const std::string action = argc == 3 ? argv[1] : "";
    if (action != "open" && action != "close") {
        std::fprintf(stderr, "usage: tcmu_tray open|close DEVICE\n");
        return 2;
    }
    int fd = open(argv[2], O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        std::fprintf(stderr, "tcmu_tray: %s: %s\n", argv[2], std::strerror(errno));
        return 1;
    }
    if (ioctl(fd, action == "open" ? CDROMEJECT : CDROMCLOSETRAY, 0) != 0) {
        std::fprintf(stderr, "tcmu_tray: %s %s: %s\n", action.c_str(), argv[2],
                     std::strerror(errno));
        close(fd);
        return 1;
    }
    close(fd);
    return 0;
}
