#pragma once

#include <iconv.h>

#include <stdexcept>
#include <string>

namespace svglogger::test {

// Shift-JIS (code page 932) bytes to UTF-8 through the C library's iconv: a decoder
// independent of the one that wrote the files.
inline std::string cp932ToUtf8(const std::string &bytes)
{
    iconv_t cd = iconv_open("UTF-8", "CP932");
    if (cd == reinterpret_cast<iconv_t>(-1))
        throw std::runtime_error("iconv has no CP932");
    std::string out(bytes.size() * 3 + 8, '\0');
    char *in = const_cast<char *>(bytes.data());
    std::size_t inLeft = bytes.size();
    char *outPtr = out.data();
    std::size_t outLeft = out.size();
    const std::size_t result = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    iconv_close(cd);
    if (result == static_cast<std::size_t>(-1))
        throw std::runtime_error("not valid CP932");
    out.resize(out.size() - outLeft);
    return out;
}

} // namespace svglogger::test
