#pragma once

#include <string>
#include <string_view>

namespace svglogger {

// A file's bytes, memory-mapped where the system can, read into memory otherwise.
class MappedFile
{
public:
    explicit MappedFile(const std::string &path);
    ~MappedFile();
    MappedFile(const MappedFile &) = delete;
    MappedFile &operator=(const MappedFile &) = delete;

    bool ok() const { return m_error.empty(); }
    // The system's reason when the file could not be read.
    const std::string &error() const { return m_error; }
    std::string_view bytes() const { return {m_data, m_size}; }
    // The pages wholly inside [offset, offset + length) are read no more: they leave the
    // process's memory (read again from the file should they be).
    void release(std::size_t offset, std::size_t length) const;

private:
    const char *m_data = nullptr;
    std::size_t m_size = 0;
    void *m_mapping = nullptr;
    std::string m_buffer;
    std::string m_error;
};

} // namespace svglogger
