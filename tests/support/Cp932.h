#pragma once

#include <stdexcept>
#include <string>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace svglogger::test {

// Shift-JIS (code page 932) bytes to UTF-8 through the system's own converter (the C
// library's iconv, or Windows' code page 932): a decoder independent of the one that wrote
// the files.
inline std::string cp932ToUtf8(const std::string &bytes)
{
#ifdef _WIN32
    if (bytes.empty())
        return {};
    const int size = static_cast<int>(bytes.size());
    const int wide = MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
    if (wide <= 0)
        throw std::runtime_error("not valid CP932");
    std::wstring text(static_cast<std::size_t>(wide), L'\0');
    MultiByteToWideChar(932, MB_ERR_INVALID_CHARS, bytes.data(), size, text.data(), wide);
    const int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), wide, out.data(), length, nullptr, nullptr);
    return out;
#else
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
#endif
}

} // namespace svglogger::test
