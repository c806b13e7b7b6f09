#include "viewer/BackgroundJob.h"

#include <QMetaObject>
#include <QThread>

namespace svglogger {

BackgroundJob::BackgroundJob(QObject *parent)
    : QObject(parent)
{
}

BackgroundJob::~BackgroundJob()
{
    stop();
}

bool BackgroundJob::start(Work work)
{
    Q_ASSERT(QThread::currentThread() == thread()); // its hand-over joins the thread on this one
    if (running())
        return false;
    m_cancel = false;
    const std::uint64_t run = ++m_run;
    m_thread = std::thread([this, run, work = std::move(work)] {
        const Progress progress = [this](std::uint64_t done, std::uint64_t total) {
            emit progressed(total == 0 ? 1000 : static_cast<int>(done * 1000 / total));
        };
        HandOver handOver = work(m_cancel, progress);
        QMetaObject::invokeMethod(this, [this, run, handOver = std::move(handOver)] {
            if (run == m_run && m_thread.joinable())
                m_thread.join(); // it has ended but for this call: what it made is the GUI's now
            if (handOver)
                handOver();
        }, Qt::QueuedConnection);
    });
    return true;
}

void BackgroundJob::stop()
{
    m_cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

} // namespace svglogger
