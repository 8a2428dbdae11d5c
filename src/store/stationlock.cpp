#include "stationlock.h"

#include "errors.h"

#include <QFile>

#include <fcntl.h>
#include <unistd.h>

namespace sv {

namespace {

constexpr off_t StationLockOffset = 0x60000000;

} // namespace

StationLock &StationLock::operator=(StationLock &&other) noexcept
{
    if (this != &other) {
        release();
        m_fd = other.m_fd;
        other.m_fd = -1;
    }
    return *this;
}

bool StationLock::take(const QString &path, Kind kind, bool readOnly)
{
    release();
    const int fd =
        ::open(QFile::encodeName(path).constData(), (readOnly ? O_RDONLY : O_RDWR) | O_CLOEXEC);
    if (fd < 0) {
        setError(err::AccessDenied);
        return false;
    }
    struct flock lock = {};
    lock.l_type = kind == Kind::Exclusive ? F_WRLCK : F_RDLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = StationLockOffset;
    lock.l_len = 1;
    // Open-file-description locks: a second descriptor of the same file in this process
    // neither shares nor drops them.
    if (::fcntl(fd, F_OFD_SETLK, &lock) != 0) {
        ::close(fd);
        setError(err::FileLocked);
        return false;
    }
    m_fd = fd;
    clearError();
    return true;
}

void StationLock::release()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

bool StationLock::heldElsewhere(const QString &path)
{
    StationLock probe;
    return !probe.take(path, Kind::Exclusive) && errorCode() == err::FileLocked;
}

} // namespace sv
