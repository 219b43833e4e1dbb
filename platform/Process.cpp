#include "platform/Process.h"

#include <fcntl.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cerrno>

namespace ferrodock {

void guardProcess() {
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    for (int fd = 0; fd <= 2; ++fd) {
        if (::fcntl(fd, F_GETFD) == -1 && errno == EBADF) {
            const int stand = ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
            if (stand >= 0 && stand != fd) {
                ::dup2(stand, fd);
                ::close(stand);
            }
        }
    }
}

}  // namespace ferrodock
