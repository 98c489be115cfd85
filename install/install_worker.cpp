// The install worker: network check, work folder, download, extraction, reading the package
// back from the stick, hand-over to the main window. It reaches the windows only through InstallJob::Post and ends soon after a
// stop request, without posting anything more.
#include "install/download_wnd.h"
#include "install/install_job.h"
#include "install/worker_messages.h"
#include "net/file_downloader.h"
#include "net/http_request.h"
#include "platform/win32.h"

#include <chrono>
#include <string>

namespace {

using std::chrono::milliseconds;

constexpr milliseconds kStartPause{1000};
constexpr milliseconds kDownloadPollInterval{200};

constexpr DWORD kCompleted = 0;
constexpr DWORD kEndedEarly = static_cast<DWORD>(-1);

enum class StepResult { Done, Failed, Stopped };

bool IsFolder(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The folder with every missing parent; true when it is a folder afterwards.
bool EnsureFolder(const std::wstring& folder)
{
    if (IsFolder(folder))
        return true;
    SHCreateDirectoryExW(nullptr, folder.c_str(), nullptr);
    return IsFolder(folder);
}

// Reachable when the probe server answers or, failing that, the system says it is online.
StepResult CheckNetwork(const InstallJob& job)
{
    if (ProbeServer() == 0)
        return StepResult::Done;
    if (job.StopRequested())
        return StepResult::Stopped;
    return IsInternetConnected() ? StepResult::Done : StepResult::Failed;
}

// Runs the transfer to its end; the downloader is gone (its thread ended, the file closed)
// when this returns. A failure says which side failed.
StepResult Download(DownloadWnd& window, InstallJob& job, DownloadFailure& failure)
{
    FileDownloader downloader(window.m_downloadUrl, window.m_archivePath);
    downloader.SetProgressCallback(
        [&window](double total, double received) { return window.OnDownloadProgress(total, received); });
    downloader.Start();
    while (!downloader.IsFinished()) {
        if (downloader.IsFailed()) {
            failure = downloader.Failure();
            return StepResult::Failed;
        }
        if (!job.Pause(kDownloadPollInterval))
            return StepResult::Stopped;
    }
    return StepResult::Done;
}

DWORD Fail(InstallJob& job, InstallFailure failure)
{
    job.Post({{job.Window(), WM_INSTALL_FAILED, static_cast<WPARAM>(failure), 0}});
    return kEndedEarly;
}

DWORD RunInstallPipeline(DownloadWnd& window, InstallJob& job)
{
    if (!job.Pause(kStartPause))
        return kEndedEarly;

    switch (CheckNetwork(job)) {
    case StepResult::Done:
        break;
    case StepResult::Stopped:
        return kEndedEarly;
    case StepResult::Failed:
        return Fail(job, InstallFailure::NetworkUnavailable);
    }
    if (job.StopRequested())
        return kEndedEarly;

    if (!EnsureFolder(platform::Widen(window.m_workFolder)))
        return Fail(job, InstallFailure::WorkFolder);

    DownloadFailure downloadFailure = DownloadFailure::None;
    switch (Download(window, job, downloadFailure)) {
    case StepResult::Done:
        break;
    case StepResult::Stopped:
        // Half an archive is of no use to anybody.
        DeleteFileA(window.m_archivePath.c_str());
        return kEndedEarly;
    case StepResult::Failed:
        DeleteFileA(window.m_archivePath.c_str());
        // A disk that cannot hold the archive is not the network's fault.
        return Fail(job,
            downloadFailure == DownloadFailure::LocalFile ? InstallFailure::DownloadSave : InstallFailure::Download);
    }
    if (job.StopRequested())
        return kEndedEarly;

    const ExtractFailure extracted = window.ExtractPackage(platform::Widen(window.m_archivePath), window.m_extractRoot);
    if (extracted != ExtractFailure::None) {
        if (job.StopRequested() || extracted == ExtractFailure::Cancelled)
            return kEndedEarly;
        if (extracted == ExtractFailure::StickPulled) {
            job.Post({{job.Owner(), WM_INSTALL_STICK_PULLED, 0, 0}});
            return kEndedEarly;
        }
        return Fail(job, FailureOf(extracted));
    }

    if (window.m_verifyWrittenFiles) {
        switch (window.VerifyPackage().status) {
        case ReadBackOutcome::Status::Verified:
            break;
        case ReadBackOutcome::Status::Stopped:
            return kEndedEarly;
        case ReadBackOutcome::Status::StickGone:
            job.Post({{job.Owner(), WM_INSTALL_STICK_PULLED, 0, 0}});
            return kEndedEarly;
        case ReadBackOutcome::Status::Differs:
            return job.StopRequested() ? kEndedEarly : Fail(job, InstallFailure::Verification);
        }
    }

    // Posted in this order to one thread, so the main window learns of the end before its
    // download window closes.
    const bool handedOver = job.Post({{job.Owner(), WM_INSTALL_DONE, 0, 0}, {job.Window(), WM_CLOSE, 1, 0}});
    return handedOver ? kCompleted : kEndedEarly;
}

} // namespace

DWORD DownloadWnd::InstallThreadProc(LPVOID window)
{
    auto& self = *static_cast<DownloadWnd*>(window);
    // The window's destructor waits for MarkEnded, so the object outlives this function's
    // use of it; the job is held here as well for the MarkEnded itself.
    const std::shared_ptr<InstallJob> job = self.m_job;
    const DWORD result = RunInstallPipeline(self, *job);
    // The stick is not held open beyond the installation: it can be ejected.
    self.m_extraction.stickRoot = platform::FolderHandle();
    job->MarkEnded();
    return result;
}
