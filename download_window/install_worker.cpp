#include "download_window/install_worker.h"

#include "download_window/worker_messages.h"
#include "extraction/extract_progress.h"
#include "extraction/package_extractor.h"
#include "platform/diagnostics.h"
#include "platform/sleep_inhibitor.h"
#include "platform/win32.h"
#include "session/download_progress.h"
#include "session/install_session.h"
#include "ui/user_texts.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kStartPause{1000};
// Who holds off sleep, as the system shows it.
constexpr const char* kProgramName = "installer";
constexpr milliseconds kDownloadPollInterval{200};

constexpr DWORD kCompleted = 0;
constexpr DWORD kEndedEarly = static_cast<DWORD>(-1);

// Every worker started, so that any thread (a stop signal's, a display's loss, the main
// window's) can stop them, and the program can wait for their end before it returns. The
// threads themselves belong to CreateThread's table.
struct WorkerRegistry {
    std::mutex mutex;
    std::vector<std::shared_ptr<InstallJob>> jobs;
};

WorkerRegistry& Registry()
{
    static WorkerRegistry registry;
    return registry;
}

std::vector<std::shared_ptr<InstallJob>> StopAll()
{
    WorkerRegistry& registry = Registry();
    std::vector<std::shared_ptr<InstallJob>> jobs;
    {
        const std::lock_guard lock(registry.mutex);
        jobs = registry.jobs;
    }
    for (const auto& job : jobs)
        job->RequestStop();
    return jobs;
}

void ForgetEnded()
{
    WorkerRegistry& registry = Registry();
    const std::lock_guard lock(registry.mutex);
    std::erase_if(registry.jobs, [](const std::shared_ptr<InstallJob>& job) { return job->Ended(); });
}

// The session's reports as the download window shows them: the percentages of the three
// phases, the line of a try again.
class WindowEvents : public SessionEvents {
public:
    explicit WindowEvents(InstallJob& job) : m_job(job) {}

    void Progress(SessionPhase phase, std::uint64_t done, std::uint64_t total) override
    {
        switch (phase) {
        case SessionPhase::Download:
            if (const auto percent = DownloadPercent(static_cast<double>(total), static_cast<double>(done))) {
                m_lastDownloadPercent.store(*percent, std::memory_order_relaxed);
                m_job.PublishProgress({ProgressPhase::Download, *percent, 0, 0, done, total});
            }
            break;
        case SessionPhase::Write: {
            g_extractTotalBytes = total; // the writing thread's, as the extraction sets it
            const double percent = ExtractPercent(done, g_extractTotalBytes);
            m_job.PublishProgress({ProgressPhase::Extract, percent, 0, 0, done, g_extractTotalBytes});
            OutputDebugStringW(FormatExtractDebugLine(percent).c_str());
            break;
        }
        case SessionPhase::Verify:
            m_job.PublishProgress({ProgressPhase::Verify, ExtractPercent(done, total), 0, 0, done, total});
            break;
        }
    }

    void Retry(int attempt, milliseconds wait) override
    {
        const int seconds = static_cast<int>(std::chrono::ceil<std::chrono::seconds>(wait).count());
        m_job.PublishProgress(
            {ProgressPhase::Retry, m_lastDownloadPercent.load(std::memory_order_relaxed), attempt, seconds});
    }

    void Waiting() override
    {
        m_job.PublishProgress({ProgressPhase::Waiting, m_lastDownloadPercent.load(std::memory_order_relaxed)});
    }

private:
    InstallJob& m_job;
    std::atomic<double> m_lastDownloadPercent{0.0};
};

// One installation, start to end, on the worker's thread: the session does the work, this
// tells the windows.
class InstallRun {
public:
    InstallRun(InstallRequest request, std::shared_ptr<InstallJob> job)
        : m_request(std::move(request)), m_job(std::move(job)), m_events(*m_job),
          m_session({m_request.downloadUrl, m_request.archivePath, m_request.workFolder, m_request.probed,
                        kDownloadPollInterval},
              m_request.options, m_events)
    {
    }

    DWORD Run();
    std::shared_ptr<InstallJob> SharedJob() const { return m_job; }

private:
    // What the windows are told of a step that did not succeed.
    DWORD Ended(const SessionOutcome& outcome);

    const InstallRequest m_request;
    const std::shared_ptr<InstallJob> m_job;
    WindowEvents m_events;
    InstallSession m_session;
};

DWORD InstallRun::Ended(const SessionOutcome& outcome)
{
    if (!outcome.detail.empty())
        platform::WriteDiagnosticLine(outcome.detail);
    switch (outcome.status) {
    case SessionOutcome::Status::Done:
        return kCompleted;
    case SessionOutcome::Status::Stopped:
        return kEndedEarly;
    case SessionOutcome::Status::StickPulled:
        m_job->Post({{m_job->Owner(), WM_INSTALL_STICK_PULLED, 0, 0}});
        return kEndedEarly;
    case SessionOutcome::Status::Failed:
        break;
    }
    m_job->Post({{m_job->Window(), WM_INSTALL_FAILED, static_cast<WPARAM>(outcome.failure),
        static_cast<LPARAM>(outcome.workFolderProblem)}});
    return kEndedEarly;
}

DWORD InstallRun::Run()
{
    InstallJob& job = *m_job;
    const std::stop_token stop = job.StopToken();
    if (!job.Pause(kStartPause))
        return kEndedEarly;

    if (const SessionOutcome network = m_session.CheckNetwork(stop); !network.Ok())
        return Ended(network);
    if (job.StopRequested())
        return kEndedEarly;
    if (const SessionOutcome opened = m_session.OpenWorkFolder(); !opened.Ok())
        return Ended(opened);

    // No sleep, no shutdown from the download's start to the read-back's end; every return
    // below lets go of it.
    const platform::SleepInhibitor awake = platform::SleepInhibitor::Take(kProgramName, text::kSleepInhibitReason);
    if (const StickOutcome installed = m_session.DownloadAndWrite(m_request.stickRoot, stop); !installed.Ok())
        return Ended(installed);

    // Posted in this order to one thread, so the main window learns of the end before its
    // download window closes.
    const bool handedOver = job.Post({{job.Owner(), WM_INSTALL_DONE, 0, 0}, {job.Window(), WM_CLOSE, 1, 0}});
    return handedOver ? kCompleted : kEndedEarly;
}

DWORD InstallThreadProc(LPVOID parameter)
{
    std::unique_ptr<InstallRun> run(static_cast<InstallRun*>(parameter));
    const std::shared_ptr<InstallJob> job = run->SharedJob();
    const DWORD result = run->Run();
    // The stick's handle goes with the run: the stick is not held open beyond the
    // installation, and can be ejected.
    run.reset();
    job->MarkEnded();
    return result;
}

} // namespace

bool StartInstallWorker(InstallRequest request, std::shared_ptr<InstallJob> job)
{
    ForgetEnded();
    {
        WorkerRegistry& registry = Registry();
        const std::lock_guard lock(registry.mutex);
        registry.jobs.push_back(job);
    }
    auto run = std::make_unique<InstallRun>(std::move(request), job);
    const HANDLE thread = CreateThread(nullptr, 0, &InstallThreadProc, run.get(), 0, nullptr);
    if (!thread) {
        job->MarkEnded();
        return false;
    }
    run.release(); // the thread owns it now
    CloseHandle(thread);
    return true;
}

bool StopInstallWorker(milliseconds wait)
{
    const std::vector<std::shared_ptr<InstallJob>> jobs = StopAll();
    const auto deadline = std::chrono::steady_clock::now() + wait;
    bool allEnded = true;
    for (const auto& job : jobs) {
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - std::chrono::steady_clock::now());
        allEnded = job->WaitForEnd(std::max(left, milliseconds(0))) && allEnded;
    }
    ForgetEnded();
    return allEnded;
}

void StopInstallWorkerAndWait()
{
    for (const auto& job : StopAll())
        job->WaitForEnd();
    ForgetEnded();
}
