// One installation without any window: the network check, the work folder, the download of the
// package archive, the writing onto one or more sticks and the reading back. The window run and
// station mode drive it and show what it reports their own way; what each step's failure means
// to the user is decided here, once.
#pragma once

#include "extraction/package_extractor.h"
#include "net/file_downloader.h"
#include "session/install_failure.h"
#include "session/run_options.h"
#include "session/work_folder.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <stop_token>
#include <string>

// The steps of an installation that report bytes.
enum class SessionPhase {
    Download, // bytes of the archive in the work folder, of its whole length
    Write, // bytes written onto the stick, of the package's uncompressed size
    Verify, // bytes read back from the stick, of what was written
};

// What a session tells its driver, on whichever thread does the work (the download thread,
// the thread that writes a stick). Every call is brief.
class SessionEvents {
public:
    virtual ~SessionEvents() = default;
    // `total` is 0 while it is not known (a download without a length).
    virtual void Progress(SessionPhase phase, std::uint64_t done, std::uint64_t total) = 0;
    // A cut download waits `wait` before its try `attempt` (1 to 5).
    virtual void Retry(int /*attempt*/, std::chrono::milliseconds /*wait*/) {}
    // The server took the download's request and has sent nothing yet (a cache filling).
    virtual void Waiting() {}
};

// How a step (or a whole installation) ended.
struct SessionOutcome {
    enum class Status {
        Done, // the step's work is done (for a stick: installed and read back)
        Failed, // `failure` says what the user is told
        StickPulled, // the stick went away: the pulled-stick abort, nothing else is told
        Stopped, // the stop token was triggered: nothing is told
    };
    Status status = Status::Done;
    InstallFailure failure = InstallFailure::Extraction; // for Failed
    WorkFolderProblem workFolderProblem = WorkFolderProblem::None; // for WorkFolderUnsafe
    // For a stick: the extraction's own failure (station writes again after a damaged
    // archive) and the line that says more.
    ExtractFailure extractFailure = ExtractFailure::None;
    std::string detail;

    bool Ok() const { return status == Status::Done; }
    static SessionOutcome Stopped()
    {
        SessionOutcome outcome;
        outcome.status = Status::Stopped;
        return outcome;
    }
    static SessionOutcome Failure(InstallFailure failure)
    {
        SessionOutcome outcome;
        outcome.status = Status::Failed;
        outcome.failure = failure;
        return outcome;
    }
};

// What one stick's writing and reading back came to.
struct StickOutcome : SessionOutcome {
    std::uint64_t bytesWritten = 0;
    std::chrono::steady_clock::time_point writeEnd; // when the writing ended
};

// A session's outcome from before anything was written.
StickOutcome AsStickOutcome(SessionOutcome outcome);

struct SessionRequest {
    std::string downloadUrl;
    std::string archivePath; // letter path: "C:\kelvo\语文三年级上.zip"
    std::string workFolder; // letter path ending with a backslash: "C:\kelvo\"
    RemoteVersion probed; // the size probe's answer
    // How often the download's end is looked for while it runs.
    std::chrono::milliseconds downloadPoll{200};
};

class InstallSession {
public:
    // `options`: whether sticks are read back, and how requests reach their servers.
    InstallSession(SessionRequest request, RunOptions options, SessionEvents& events);
    InstallSession(const InstallSession&) = delete;
    InstallSession& operator=(const InstallSession&) = delete;

    // The probe server answers or, failing that, the system says it is online.
    SessionOutcome CheckNetwork(std::stop_token stop) const;
    // Opens (or makes) the work folder and takes it only when it is safe.
    SessionOutcome OpenWorkFolder();
    // The work folder once opened.
    const WorkFolder* Folder() const { return m_workFolder ? &*m_workFolder : nullptr; }
    const std::string& ArchiveName() const { return m_archiveName; }
    // The archive in the work folder, for the sticks to be written from.
    ArchiveInFolder Archive() const;

    // Downloads the archive into "NAME.part" (going on with one an earlier run left for the same
    // version) and makes it the archive once whole. A part the network cut stays for the next
    // run; one the disk refused is removed.
    SessionOutcome Download(std::stop_token stop);
    // Writes the archive onto the stick at `stickRoot` ("E:") and reads it back. Several sticks
    // may be written at once, each on its own thread.
    StickOutcome WriteStick(const std::wstring& stickRoot, std::stop_token stop) const
    {
        return WriteStick(stickRoot, stop, m_events);
    }
    // The same, reporting this stick's progress to `events`.
    StickOutcome WriteStick(const std::wstring& stickRoot, std::stop_token stop, SessionEvents& events) const;

    // Every step for one stick: network, work folder, download (the stick written while the
    // package downloads where the server allows it), writing, reading back.
    StickOutcome Install(const std::wstring& stickRoot, std::stop_token stop);
    // The download and the writing of one stick, once the work folder is open: overlapped where
    // the server answers the archive's tail as a range of the probed version (and not
    // SerialInstallForced), else one after the other.
    StickOutcome DownloadAndWrite(const std::wstring& stickRoot, std::stop_token stop);

private:
    // The download with the stick written from the growing part as its bytes come in; nullopt
    // when that cannot be done here (no ranges, no validator, a directory over the cap), and
    // nothing was downloaded or written: the serial path runs instead.
    std::optional<StickOutcome> InstallOverlapped(const std::wstring& stickRoot, std::stop_token stop);
    struct Overlap;
    // Hands the download's progress, version, retries and extent to the events and the archive.
    void ConnectDownloader(Overlap& overlap);
    // Runs the download and, beside it, the writing of `plan` from the growing archive; returns
    // once both have ended.
    ExtractionResult WriteWhileDownloading(Overlap& overlap, const extraction::ArchivePlan& plan,
        const std::wstring& stickRoot, const std::atomic<bool>& cancel, std::stop_token stop);
    // What the ended download and writing come to: the body checked against the plan's
    // version, the archive kept, then the reading back.
    StickOutcome EndOverlap(
        Overlap& overlap, ExtractionResult written, const std::wstring& stickRoot, std::stop_token stop);
    // The download's failure as the user is told it.
    SessionOutcome DownloadFailed(DownloadFailure failure, const std::stop_token& stop) const;
    // Reads back what `written` wrote.
    StickOutcome ReadBack(ExtractionResult written, const std::stop_token& stop, SessionEvents& events) const;

    const SessionRequest m_request;
    const RunOptions m_options;
    SessionEvents& m_events;
    std::optional<WorkFolder> m_workFolder;
    std::string m_archiveName;
};

// INSTALLER_SERIAL_INSTALL=1 (outside pkexec only): the package is downloaded whole before the
// stick is written, as for a server without ranges. For measuring.
bool SerialInstallForced();

// Waits `duration`, cut short by `stop`. False when stopped.
bool PauseUnlessStopped(std::chrono::milliseconds duration, std::stop_token stop);
