#include "reading/MappedFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace svglogger {

MappedFile::MappedFile(const std::string &path)
{
#ifndef _WIN32
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        m_error = std::strerror(errno);
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        m_error = S_ISDIR(info.st_mode) ? "a folder, not a file" : "not a regular file";
        ::close(fd);
        return;
    }
    m_size = static_cast<std::size_t>(info.st_size);
    if (m_size > 0) {
        void *mapping = ::mmap(nullptr, m_size, PROT_READ, MAP_PRIVATE, fd, 0);
        if (mapping != MAP_FAILED) {
            m_mapping = mapping;
            m_data = static_cast<const char *>(mapping);
            ::close(fd);
            return;
        }
    }
    ::close(fd);
#endif
    // Read whole where no mapping is made (an empty file, a file system that cannot map).
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        m_error = std::strerror(errno);
        return;
    }
    m_buffer.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    m_data = m_buffer.data();
    m_size = m_buffer.size();
}

void MappedFile::release(std::size_t offset, std::size_t length) const
{
#ifndef _WIN32
    if (!m_mapping || offset >= m_size)
        return;
    const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
    const std::size_t first = (offset + page - 1) / page * page;
    const std::size_t end = std::min(offset + length, m_size) / page * page;
    if (first < end)
        ::madvise(static_cast<char *>(m_mapping) + first, end - first, MADV_DONTNEED);
#else
    (void)offset;
    (void)length;
#endif
}

MappedFile::~MappedFile()
{
#ifndef _WIN32
    if (m_mapping)
        ::munmap(m_mapping, m_size);
#endif
}

} // namespace svglogger
