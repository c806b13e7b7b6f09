#pragma once

#include <QTemporaryDir>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace svglogger::test {

// A small file system of the test's own: a tmpfs of `megabytes` mounted on a temporary folder,
// unmounted with the object. Mounting needs root (CAP_SYS_ADMIN), as ./test.sh has in CI; where
// it cannot be had, error() says so and the test fails with it: never skipped.
class SmallDisk
{
public:
    explicit SmallDisk(int megabytes)
    {
        const std::string options = "size=" + std::to_string(megabytes) + "m,mode=0700";
        if (::mount("tmpfs", path().c_str(), "tmpfs", 0, options.c_str()) != 0)
            m_error = "cannot mount a tmpfs of " + std::to_string(megabytes) + " MiB on " + path() + ": "
                + std::strerror(errno) + " — this test needs root (CAP_SYS_ADMIN) for a small disk of its own; run "
                "it as root, as ./test.sh does in CI";
        else
            m_mounted = true;
    }
    ~SmallDisk()
    {
        if (m_mounted)
            ::umount2(path().c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk &) = delete;
    SmallDisk &operator=(const SmallDisk &) = delete;

    const std::string &error() const { return m_error; }
    std::string path() const { return m_dir.path().toStdString(); }

    // Free bytes for a user without privilege, as statvfs says.
    std::int64_t free() const
    {
        struct statvfs space {};
        if (::statvfs(path().c_str(), &space) != 0)
            return -1;
        return static_cast<std::int64_t>(space.f_bavail) * static_cast<std::int64_t>(space.f_frsize);
    }
    // Another program takes the disk until `leave` bytes are free (or as near as pages allow):
    // a file `name` grows or shrinks by as much.
    void leaveFree(std::int64_t leave, const std::string &name = "ballast")
    {
        const std::string file = path() + "/" + name;
        std::ifstream in(file, std::ios::binary | std::ios::ate);
        const std::int64_t now = in ? static_cast<std::int64_t>(in.tellg()) : 0;
        const std::int64_t size = std::max<std::int64_t>(0, now + free() - leave);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        const std::vector<char> block(64 * 1024, 'b');
        for (std::int64_t done = 0; done < size;) {
            const std::int64_t n = std::min<std::int64_t>(size - done, static_cast<std::int64_t>(block.size()));
            out.write(block.data(), n);
            done += n;
        }
    }

private:
    QTemporaryDir m_dir;
    bool m_mounted = false;
    std::string m_error;
};

} // namespace svglogger::test
