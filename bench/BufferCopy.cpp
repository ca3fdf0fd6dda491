// Reads a file into one buffer of its size and writes a synced copy of it:
// the least an update that holds the whole file in memory can cost. Like the
// program's, the buffer is backed by huge pages where the system offers them.
//
// usage: corvane-buffer-copy <source> <copy>
#include <cstdio>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: corvane-buffer-copy <source> <copy>\n");
        return 1;
    }
    const int source = ::open(argv[1], O_RDONLY | O_CLOEXEC);
    struct stat status {};
    if (source < 0 || ::fstat(source, &status) != 0 || status.st_size == 0) {
        std::perror(argv[1]);
        return 1;
    }
    const auto size = static_cast<size_t>(status.st_size);
    void* mapping =
        ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapping == MAP_FAILED) {
        std::perror("mmap");
        return 1;
    }
    ::madvise(mapping, size, MADV_HUGEPAGE);
    auto* buffer = static_cast<char*>(mapping);
    for (size_t done = 0; done < size;) {
        const ssize_t count = ::read(source, buffer + done, size - done);
        if (count <= 0) {
            std::perror(argv[1]);
            return 1;
        }
        done += static_cast<size_t>(count);
    }
    const int copy = ::open(argv[2], O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    for (size_t done = 0; copy >= 0 && done < size;) {
        const ssize_t count = ::write(copy, buffer + done, size - done);
        if (count <= 0) {
            break;
        }
        done += static_cast<size_t>(count);
    }
    if (copy < 0 || ::fsync(copy) != 0 || ::close(copy) != 0) {
        std::perror(argv[2]);
        return 1;
    }
    return 0;
}
