// One stick of station mode: what its thread knows of it, the thread's work (writing, reading
// back, its last line), and the summary of all sticks at the end.
#pragma once

#include "app/station/station_output.h"
#include "drives/drive_info.h"
#include "extraction/package_extractor.h"
#include "platform/volume_events.h"
#include "platform/win32_strings.h"
#include "session/install_session.h"
#include "session/progress_detail.h"
#include "session/run_options.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

enum class StickState { Writing, Verifying, Installed, Failed, Pulled, Interrupted };

struct Stick {
    Stick(const DriveInfo& drive, std::wstring label, platform::VolumeEvents& wokenAtEnd)
        : loop(wokenAtEnd), root(drive.driveName),
          name(platform::Narrow(label.empty() ? drive.driveName : drive.driveName + L" " + label))
    {
    }

    platform::VolumeEvents& loop; // woken when the stick's thread ends
    const std::wstring root; // "E:"
    const std::string name; // "E: LABEL", how its lines begin
    // Its stop: the writing stops between two blocks, the file being written is removed.
    std::jthread thread;
    std::atomic<bool> gone{false}; // the drive left while its thread ran
    std::atomic<bool> ended{false};
    bool superseded = false; // failed by a damaged archive and written again (the loop's)

    // Written by the stick's thread before `ended`, read afterwards.
    StickState state = StickState::Writing;
    ExtractFailure failure = ExtractFailure::None;
    std::chrono::steady_clock::time_point start;
    std::chrono::steady_clock::time_point writeEnd;
    std::chrono::steady_clock::time_point end;
    std::uint64_t bytesWritten = 0;

    // Progress lines: the last phase and step printed, and the figures (stick's thread).
    StickState shownState = StickState::Writing;
    int shownStep = -1;
    std::optional<ProgressDetail> detail;
};

// Seconds on the steady clock, as the progress figures count them.
double SteadySeconds();

// A progress line with the step, the speed and the time left after it, once the speed is known.
std::string WithFigures(const std::wstring& line, ProgressDetail& detail, const ProgressValue& value);

// The drive's label, empty when it has none.
std::wstring VolumeLabel(const std::wstring& driveName);

// The stick's thread: writing, then reading back, then its last line; `stop` ends the writing
// between two blocks. Wakes the stick's loop when it has ended.
void InstallOntoStick(
    std::stop_token stop, Stick& stick, const InstallSession& session, const RunOptions& options, StationOutput& out);

// One line per stick with its result, time and speed, then the count installed.
void PrintSummary(const std::vector<std::unique_ptr<Stick>>& sticks, bool verified, StationOutput& out);
