#pragma once

#include <QString>

namespace sv {

// A station's hold on a table file, on one byte far from those the engine locks and past
// the end of any real file: shared while a station has the file open, exclusive while one
// works on it alone (rebuilding, packing, repairing). Held through a descriptor of its own,
// so it stays whatever other descriptors of the file are closed, and it goes when the
// holder does, even when it is killed.
class StationLock
{
public:
    enum class Kind { Shared, Exclusive };

    StationLock() = default;
    ~StationLock() { release(); }
    StationLock(StationLock &&other) noexcept : m_fd(other.m_fd) { other.m_fd = -1; }
    StationLock &operator=(StationLock &&other) noexcept;
    StationLock(const StationLock &) = delete;
    StationLock &operator=(const StationLock &) = delete;

    // False when another station holds the file in a way that excludes this hold (the
    // store's error is then FileLocked) or the file cannot be opened (AccessDenied).
    [[nodiscard]] bool take(const QString &path, Kind kind, bool readOnly = false);
    void release();
    bool held() const { return m_fd >= 0; }

    // Whether some other station has the file open, without holding anything afterwards.
    static bool heldElsewhere(const QString &path);

private:
    int m_fd = -1;
};

} // namespace sv
