// The smallest stand-in for the converter, for load tests: writes a few bytes to the file named by
// its last argument and exits 0. Nothing but system calls, so thousands of starts stay cheap.
#include <fcntl.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    const int fd = ::open(argv[argc - 1], O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return 1;
    static const char bytes[] = "ok\n";
    const bool written =
        ::write(fd, bytes, sizeof bytes - 1) == static_cast<ssize_t>(sizeof bytes - 1);
    return ::close(fd) == 0 && written ? 0 : 1;
}
