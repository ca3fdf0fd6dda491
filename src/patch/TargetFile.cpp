#include "TargetFile.h"

#include "UpdateFailure.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <cerrno>
#include <new>
#include <optional>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif
#ifdef __linux__
#include <cstdint>
#include <sys/mman.h>
#endif

namespace corvane {
namespace {

std::string SystemReason(int error) {
    return std::system_category().message(error);
}

// The reason a file operation failed: the system's own words. Qt's text is
// used when it has one; for some failures (a full disk during a commit, for
// one) it only says "Unknown error", and then errno, saved right after the
// failing call, tells what happened.
std::string FailureReason(const QFileDevice& file, int savedErrno) {
    const QString qtReason = file.errorString();
    if (savedErrno != 0 && (qtReason.isEmpty() || qtReason == QLatin1String("Unknown error"))) {
        return SystemReason(savedErrno);
    }
    return qtReason.isEmpty() ? SystemReason(savedErrno) : qtReason.toStdString();
}

bool HasEmbeddedNul(const std::string& path) {
    return path.find('\0') != std::string::npos;
}

#ifndef _WIN32
QByteArray NativePath(const std::string& path) {
    return QFile::encodeName(QString::fromStdString(path));
}

std::string NotRegularReason(mode_t mode) {
    return S_ISDIR(mode) ? SystemReason(EISDIR) : std::string("Not a regular file");
}
#endif

// Opens path for reading when it names a regular file. On failure returns
// false with the reason. Special files are turned down by their type before
// anything opens them, and the open itself does not wait, so a FIFO put in the
// file's place meanwhile cannot block it.
bool OpenRegularFile(const std::string& path, QFile& file, std::string& reason) {
    if (HasEmbeddedNul(path)) {
        reason = SystemReason(EINVAL);
        return false;
    }
#ifdef _WIN32
    const QString name = QString::fromStdString(path);
    if (!QFileInfo(name).isFile()) {
        reason = "Not a regular file";
        return false;
    }
    file.setFileName(name);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered)) {
        reason = file.errorString().toStdString();
        return false;
    }
    return true;
#else
    const QByteArray native = NativePath(path);
    struct stat status {};
    if (::stat(native.constData(), &status) != 0) {
        reason = SystemReason(errno);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        reason = NotRegularReason(status.st_mode);
        return false;
    }
    int fd;
    do {
        fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        reason = SystemReason(errno);
        return false;
    }
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        reason = NotRegularReason(status.st_mode);
        ::close(fd);
        return false;
    }
    if (!file.open(fd, QIODevice::ReadOnly | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        reason = file.errorString().toStdString();
        ::close(fd);
        return false;
    }
    return true;
#endif
}

#ifndef _WIN32
// The new file is created by this process; give it the owner and group of the
// file it replaces where the system allows it (it does for root), then the
// mode again, since a change of owner clears the set-id bits.
void KeepOwnership(const std::string& path, int newFd) {
    struct stat original {};
    if (::stat(NativePath(path).constData(), &original) != 0) {
        return;
    }
    if (::fchown(newFd, original.st_uid, original.st_gid) == 0) {
        ::fchmod(newFd, original.st_mode & 07777);
    }
}

// Makes the rename itself durable: without this a power cut right after the
// update could bring back the old directory entry.
void SyncParentDirectory(const std::string& path) {
    const QString canonical = QFileInfo(QString::fromStdString(path)).canonicalFilePath();
    const QByteArray folder = QFile::encodeName(QFileInfo(canonical).absolutePath());
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}
#endif

// Asks for the buffer of a whole program file to be backed by huge pages.
// Faulting in hundreds of MiB page by page, and the TLB misses of the
// searches that follow, can cost more than reading and writing the file.
// Must come before the buffer is first touched.
void PreferHugePages(std::span<char> buffer) {
#ifdef __linux__
    constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
    const auto address = reinterpret_cast<std::uintptr_t>(buffer.data());
    const std::uintptr_t begin = (address + kHugePage - 1) & ~(kHugePage - 1);
    const std::uintptr_t end = (address + buffer.size()) & ~(kHugePage - 1);
    if (begin < end) {
        // Only a hint: without it the buffer works the same, only slower.
        ::madvise(reinterpret_cast<void*>(begin), end - begin, MADV_HUGEPAGE);
    }
#else
    (void)buffer;
#endif
}

} // namespace

bool CanOpenForReading(const std::string& path) {
    QFile file;
    std::string reason;
    return OpenRegularFile(path, file, reason);
}

TargetBytes ReadTargetBytes(const std::string& path) {
    const std::string operation = "read the file";
    QFile file;
    std::string reason;
    if (!OpenRegularFile(path, file, reason)) {
        throw UpdateFailure(path, "open the file for reading", reason);
    }
    const qint64 size = file.size();
    std::optional<TargetBytes> target;
    try {
        target.emplace(static_cast<std::size_t>(size));
    } catch (const std::bad_alloc&) {
        throw UpdateFailure(path, operation, SystemReason(ENOMEM));
    }
    PreferHugePages(target->bytes());
    char* data = target->bytes().data();
    qint64 done = 0;
    while (done < size) {
        errno = 0;
        const qint64 count = file.read(data + done, size - done);
        if (count < 0) {
            throw UpdateFailure(path, operation, FailureReason(file, errno));
        }
        if (count == 0) {
            throw UpdateFailure(path, operation, "The file became shorter while it was read");
        }
        done += count;
    }
    char extra;
    if (file.read(&extra, 1) > 0) {
        throw UpdateFailure(path, operation, "The file grew while it was read");
    }
    return std::move(*target);
}

void ReplaceFileContents(const std::string& path, std::span<const char> bytes) {
    QSaveFile file(QString::fromStdString(path));
    // Never fall back to writing into the file itself: a failure half-way
    // would leave it damaged.
    file.setDirectWriteFallback(false);

#ifndef _WIN32
    // QSaveFile turns this down in words of its own; the system's say why.
    if (::access(NativePath(path).constData(), W_OK) != 0) {
        throw UpdateFailure(path, "create the updated copy of the file", SystemReason(errno));
    }
#endif
    errno = 0;
    if (!file.open(QIODevice::WriteOnly)) {
        throw UpdateFailure(path, "create the updated copy of the file",
                            FailureReason(file, errno));
    }
#ifndef _WIN32
    KeepOwnership(path, file.handle());
#endif

    errno = 0;
    const auto size = static_cast<qint64>(bytes.size());
    if (file.write(bytes.data(), size) != size || !file.flush()) {
        const std::string reason = FailureReason(file, errno);
        file.cancelWriting();
        throw UpdateFailure(path, "write the updated copy of the file", reason);
    }
#ifndef _WIN32
    // Synced here, apart from the rename, so that a failure can say which of
    // the two it was.
    if (::fsync(file.handle()) != 0) {
        const std::string reason = SystemReason(errno);
        file.cancelWriting();
        throw UpdateFailure(path, "save the updated copy of the file to disk", reason);
    }
#endif

    errno = 0;
    if (!file.commit()) {
        throw UpdateFailure(path, "put the updated copy in place of the file",
                            FailureReason(file, errno));
    }
#ifndef _WIN32
    SyncParentDirectory(path);
#endif
}

} // namespace corvane
