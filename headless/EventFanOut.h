#pragma once

#include "recording/RecordingEvents.h"

#include <vector>

namespace svglogger {

// The recording's events to each of several followers, in the order they were added.
class EventFanOut final : public RecordingEvents
{
public:
    void add(RecordingEvents *follower) { m_followers.push_back(follower); }

    void lineRecorded(const LocalDateTime &time, const MeasurementSample &sample,
                      ControllerVersion controllerVersion) override
    {
        for (RecordingEvents *f : m_followers)
            f->lineRecorded(time, sample, controllerVersion);
    }
    void rowMade(std::string_view row) override
    {
        for (RecordingEvents *f : m_followers)
            f->rowMade(row);
    }
    void fileOpened(std::string_view path) override
    {
        for (RecordingEvents *f : m_followers)
            f->fileOpened(path);
    }
    void fileClosed(std::string_view path, std::int64_t rows) override
    {
        for (RecordingEvents *f : m_followers)
            f->fileClosed(path, rows);
    }
    void triggerFired() override
    {
        for (RecordingEvents *f : m_followers)
            f->triggerFired();
    }

private:
    std::vector<RecordingEvents *> m_followers;
};

} // namespace svglogger
