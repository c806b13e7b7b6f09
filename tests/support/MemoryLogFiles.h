#pragma once

#include "recording/LogFileWriter.h"

#include <map>
#include <set>
#include <string>
#include <vector>

namespace svglogger::test {

// Log files kept in memory, line by line, by path. Folders listed in `unwritable` refuse
// new files; `fullAfterLines` makes writes fail once that many lines are in a file.
class MemoryLogFiles final : public LogFileWriter
{
public:
    std::map<std::string, std::vector<std::string>> files;
    std::vector<std::string> opened; // paths in the order they were created
    std::set<std::string> unwritable;
    std::size_t fullAfterLines = static_cast<std::size_t>(-1);
    std::string current;
    bool isOpen = false;
    std::string reason; // what errorString() says after a failure
    std::vector<std::string> discarded;

    OpenResult createNew(const std::string &path) override
    {
        for (const std::string &folder : unwritable)
            if (path.rfind(folder, 0) == 0)
                return OpenResult::Failed;
        if (files.count(path))
            return OpenResult::NameTaken;
        files[path];
        opened.push_back(path);
        current = path;
        isOpen = true;
        return OpenResult::Opened;
    }
    bool writeLine(std::string_view text) override
    {
        if (!isOpen || files[current].size() >= fullAfterLines)
            return false;
        files[current].emplace_back(text);
        return true;
    }
    void close() override { isOpen = false; }
    void discard() override
    {
        if (isOpen && files[current].empty()) {
            files.erase(current);
            discarded.push_back(current);
        }
        isOpen = false;
    }
    std::string errorString() const override { return reason; }

    const std::vector<std::string> &lines(const std::string &path) { return files.at(path); }
};

} // namespace svglogger::test
