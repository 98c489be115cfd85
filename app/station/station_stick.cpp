#include "app/station/station_stick.h"

#include "app/stick_eject.h"
#include "extraction/extract_progress.h"
#include "platform/win32.h"
#include "session/download_progress.h"
#include "session/install_failure.h"
#include "ui/user_texts.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::string WithFigures(const std::wstring& line, ProgressDetail& detail, const ProgressValue& value)
{
    detail.Line(value, SteadySeconds());
    const std::wstring figures = detail.Figures();
    return platform::Narrow(figures.empty() ? line : line + text::kDetailSeparator + figures);
}

std::wstring VolumeLabel(const std::wstring& driveName)
{
    wchar_t label[261] = {};
    const std::wstring root = driveName + L"\\";
    if (!GetVolumeInformationW(root.c_str(), label, 261, nullptr, nullptr, nullptr, nullptr, 0))
        return {};
    return label;
}

namespace {

void ShowProgress(Stick& stick, StickState state, std::uint64_t done, std::uint64_t total, StationOutput& out)
{
    const double percent = ExtractPercent(done, total);
    const ProgressValue value{
        state == StickState::Writing ? ProgressPhase::Extract : ProgressPhase::Verify, percent, 0, 0, done, total};
    stick.detail->Line(value, SteadySeconds());
    const int step = static_cast<int>(std::floor(percent / out.Step()));
    if (state == stick.shownState && step == stick.shownStep)
        return;
    stick.shownState = state;
    stick.shownStep = step;
    const std::wstring text = state == StickState::Writing ? FormatExtractStatus(percent) : FormatVerifyStatus(percent);
    out.StickLine(stick.name, WithFigures(text, *stick.detail, value));
}

// One stick's progress as its line shows it.
class StickEvents : public SessionEvents {
public:
    StickEvents(Stick& stick, StationOutput& out) : m_stick(stick), m_out(out) {}
    void Progress(SessionPhase phase, std::uint64_t done, std::uint64_t total) override
    {
        if (phase != SessionPhase::Download)
            ShowProgress(m_stick, phase == SessionPhase::Write ? StickState::Writing : StickState::Verifying, done,
                total, m_out);
    }

private:
    Stick& m_stick;
    StationOutput& m_out;
};

} // namespace

void InstallOntoStick(
    std::stop_token stop, Stick& stick, const InstallSession& session, const RunOptions& options, StationOutput& out)
{
    stick.start = std::chrono::steady_clock::now();
    stick.detail.emplace(options.verify);
    StickEvents events(stick, out);
    const StickOutcome outcome = session.WriteStick(stick.root, stop, events);
    stick.writeEnd = outcome.writeEnd;
    stick.bytesWritten = outcome.bytesWritten;
    stick.failure = outcome.extractFailure;
    switch (outcome.status) {
    case SessionOutcome::Status::Done:
        stick.state = StickState::Installed;
        break;
    case SessionOutcome::Status::Stopped:
        stick.state = stick.gone ? StickState::Pulled : StickState::Interrupted;
        break;
    case SessionOutcome::Status::StickPulled:
        stick.state = StickState::Pulled;
        break;
    case SessionOutcome::Status::Failed:
        stick.state = StickState::Failed;
        break;
    }
    stick.end = std::chrono::steady_clock::now();

    std::string last;
    switch (stick.state) {
    case StickState::Installed:
        last = platform::Narrow(options.verify ? text::kInstalled : text::kInstalledUnverified);
        if (options.eject)
            last += "，" + platform::Narrow(EjectStick(stick.root));
        break;
    case StickState::Pulled:
        last = platform::Narrow(text::kStickPulled);
        break;
    case StickState::Interrupted:
        last = text::kStationStickStopped;
        break;
    case StickState::Failed:
        last = platform::Narrow(InstallFailureText(outcome.failure));
        if (!outcome.detail.empty())
            last += "（" + outcome.detail + "）";
        break;
    case StickState::Writing:
    case StickState::Verifying:
        break;
    }
    out.StickLine(stick.name, last);
    stick.ended.store(true, std::memory_order_release);
    stick.loop.Wake();
}

namespace {

const char* ResultText(StickState state, bool verified)
{
    switch (state) {
    case StickState::Installed:
        return verified ? text::kStationResultInstalled : text::kStationResultInstalledUnverified;
    case StickState::Pulled:
        return text::kStationResultPulled;
    case StickState::Interrupted:
        return text::kStationResultStopped;
    default:
        return text::kStationResultFailed;
    }
}

} // namespace

void PrintSummary(const std::vector<std::unique_ptr<Stick>>& sticks, bool verified, StationOutput& out)
{
    out.Line(text::kStationSummaryHeader);
    for (const auto& stick : sticks) {
        const double seconds = std::chrono::duration<double>(stick->end - stick->start).count();
        const double writeSeconds = std::chrono::duration<double>(stick->writeEnd - stick->start).count();
        const double rate = writeSeconds > 0 ? static_cast<double>(stick->bytesWritten) / 1e6 / writeSeconds : 0.0;
        char line[160];
        std::snprintf(line, sizeof line, "%-6s %s %8.1f %10.1f", platform::Narrow(stick->root).c_str(),
            ResultText(stick->state, verified), seconds, rate);
        out.Line(line);
    }
    out.Line("共" + std::to_string(sticks.size()) + "个U盘，成功" +
        std::to_string(std::count_if(
            sticks.begin(), sticks.end(), [](const auto& stick) { return stick->state == StickState::Installed; })) +
        "个");
}
