#pragma once

#include <QObject>

#include <atomic>
#include <cstdint>
#include <functional>
#include <thread>

namespace svglogger {

// One piece of the window's work on a thread of its own: a cancel flag it reads, progress it
// reports, and what it made handed to the GUI thread by a queued call once it has ended.
// Stopped or destroyed while it runs, it cancels and joins; a hand-over not yet delivered when
// the job is destroyed is dropped, and what it holds freed with it.
class BackgroundJob final : public QObject
{
    Q_OBJECT

public:
    // Heard on the job's thread: `done` of `total` in any unit.
    using Progress = std::function<void(std::uint64_t done, std::uint64_t total)>;
    // What the work leaves for the GUI thread; it runs there after the thread has been joined.
    using HandOver = std::function<void()>;
    using Work = std::function<HandOver(const std::atomic<bool> &cancel, const Progress &progress)>;

    explicit BackgroundJob(QObject *parent = nullptr);
    ~BackgroundJob() override;

    // From start until its hand-over has run.
    bool running() const { return m_thread.joinable(); }
    // False, and nothing started, while a run is on.
    bool start(Work work);
    void cancel() { m_cancel = true; }
    // Cancels and waits for the thread; its hand-over still comes (queued).
    void stop();

signals:
    // Queued from the job's thread: the part done in per mille (a large file's bytes do not
    // fit a progress bar's int).
    void progressed(int perMille);

private:
    std::thread m_thread;
    std::atomic<bool> m_cancel{false};
    std::uint64_t m_run = 0; // which start a hand-over belongs to: a late one joins no newer run
};

} // namespace svglogger
