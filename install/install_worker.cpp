#include "install/install_worker.h"

#include "install/download_progress.h"
#include "install/extract_progress.h"
#include "install/package_extractor.h"
#include "install/read_back.h"
#include "install/work_folder.h"
#include "install/worker_messages.h"
#include "net/file_downloader.h"
#include "net/http_request.h"
#include "platform/diagnostics.h"
#include "platform/win32.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kStartPause{1000};
constexpr milliseconds kDownloadPollInterval{200};

constexpr DWORD kCompleted = 0;
constexpr DWORD kEndedEarly = static_cast<DWORD>(-1);

enum class StepResult { Done, Failed, Stopped };

// Every worker started, so that the program can stop them and wait for them before it ends.
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

// One installation, start to end, on the worker's thread.
class InstallRun {
public:
    InstallRun(InstallRequest request, std::shared_ptr<InstallJob> job)
        : m_request(std::move(request)), m_job(std::move(job))
    {
    }

    DWORD Run();
    std::shared_ptr<InstallJob> SharedJob() const { return m_job; }

private:
    StepResult CheckNetwork();
    StepResult Download(DownloadFailure& failure);
    ExtractFailure Extract();
    ReadBackOutcome Verify();
    DWORD Fail(InstallFailure failure);
    DWORD StickPulled();

    const InstallRequest m_request;
    const std::shared_ptr<InstallJob> m_job;
    // The files written, and the handle on the stick's root they were written through.
    ExtractionResult m_extraction;
};

// Reachable when the probe server answers or, failing that, the system says it is online.
StepResult InstallRun::CheckNetwork()
{
    if (ProbeServer() == 0)
        return StepResult::Done;
    if (m_job->StopRequested())
        return StepResult::Stopped;
    return IsInternetConnected() ? StepResult::Done : StepResult::Failed;
}

// Runs the transfer to its end; the downloader is gone (its thread ended, the file closed)
// when this returns. A failure says which side failed.
StepResult InstallRun::Download(DownloadFailure& failure)
{
    FileDownloader downloader(m_request.downloadUrl, m_request.archivePath);
    downloader.SetProgressCallback([this](double total, double received) {
        if (const auto percent = DownloadPercent(total, received))
            m_job->PublishProgress({ProgressPhase::Download, *percent});
        return 0;
    });
    downloader.Start();
    while (!downloader.IsFinished()) {
        if (downloader.IsFailed()) {
            failure = downloader.Failure();
            return StepResult::Failed;
        }
        if (!m_job->Pause(kDownloadPollInterval))
            return StepResult::Stopped;
    }
    return StepResult::Done;
}

ExtractFailure InstallRun::Extract()
{
    m_extraction = ExtractZipArchive(
        platform::Widen(m_request.archivePath), m_request.stickRoot,
        [this](std::uint64_t processed, std::uint64_t) {
            const double percent = ExtractPercent(processed, g_extractTotalBytes);
            m_job->PublishProgress({ProgressPhase::Extract, percent});
            OutputDebugStringW(FormatExtractDebugLine(percent).c_str());
        },
        &m_job->StopFlag());
    if (!m_extraction.Ok())
        platform::WriteDiagnosticLine(m_extraction.error);
    return m_extraction.failure;
}

// Reads the files written back from the stick through its root handle and compares them
// with what was written, as a third phase of the progress.
ReadBackOutcome InstallRun::Verify()
{
    const ReadBackOutcome outcome = VerifyWrittenFiles(
        m_extraction.stickRoot, m_extraction.writtenFiles,
        [this](std::uint64_t done, std::uint64_t total) {
            m_job->PublishProgress({ProgressPhase::Verify, ExtractPercent(done, total)});
        },
        &m_job->StopFlag());
    if (!outcome.diagnostic.empty())
        platform::WriteDiagnosticLine(outcome.diagnostic);
    return outcome;
}

DWORD InstallRun::Fail(InstallFailure failure)
{
    m_job->Post({{m_job->Window(), WM_INSTALL_FAILED, static_cast<WPARAM>(failure), 0}});
    return kEndedEarly;
}

DWORD InstallRun::StickPulled()
{
    m_job->Post({{m_job->Owner(), WM_INSTALL_STICK_PULLED, 0, 0}});
    return kEndedEarly;
}

DWORD InstallRun::Run()
{
    InstallJob& job = *m_job;
    if (!job.Pause(kStartPause))
        return kEndedEarly;

    switch (CheckNetwork()) {
    case StepResult::Done:
        break;
    case StepResult::Stopped:
        return kEndedEarly;
    case StepResult::Failed:
        return Fail(InstallFailure::NetworkUnavailable);
    }
    if (job.StopRequested())
        return kEndedEarly;

    if (const platform::Result<void> folder = MakeWorkFolder(m_request.workFolder); !folder) {
        platform::WriteDiagnosticLine(folder.Failure().Text());
        return Fail(InstallFailure::WorkFolder);
    }

    DownloadFailure downloadFailure = DownloadFailure::None;
    switch (Download(downloadFailure)) {
    case StepResult::Done:
        break;
    case StepResult::Stopped:
        // Half an archive is of no use to anybody.
        DeleteFileA(m_request.archivePath.c_str());
        return kEndedEarly;
    case StepResult::Failed:
        DeleteFileA(m_request.archivePath.c_str());
        // A disk that cannot hold the archive is not the network's fault.
        return Fail(
            downloadFailure == DownloadFailure::LocalFile ? InstallFailure::DownloadSave : InstallFailure::Download);
    }
    if (job.StopRequested())
        return kEndedEarly;

    const ExtractFailure extracted = Extract();
    if (extracted != ExtractFailure::None) {
        if (job.StopRequested() || extracted == ExtractFailure::Cancelled)
            return kEndedEarly;
        if (extracted == ExtractFailure::StickPulled)
            return StickPulled();
        return Fail(FailureOf(extracted));
    }

    if (m_request.verify) {
        switch (Verify().status) {
        case ReadBackOutcome::Status::Verified:
            break;
        case ReadBackOutcome::Status::Stopped:
            return kEndedEarly;
        case ReadBackOutcome::Status::StickGone:
            return StickPulled();
        case ReadBackOutcome::Status::Differs:
            return job.StopRequested() ? kEndedEarly : Fail(InstallFailure::Verification);
        }
    }

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
