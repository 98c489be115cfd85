// The second line of the progress: the phase's step ("第2步，共3步"), then, once the rate is
// known, the speed and the time left ("12.3 MB/s", "剩余约3分钟"). The rate is measured per
// phase (install/transfer_rate.h), so the line changes about once a second, not with each block.
#pragma once

#include "session/progress_value.h"
#include "session/transfer_rate.h"

#include <string>

class ProgressDetail {
public:
    // Three steps with the read-back, two without it.
    explicit ProgressDetail(bool verify) : m_steps(verify ? 3 : 2) {}

    // The line for `value` shown at `seconds` (any steady clock). At a phase's end (done of
    // done) it is the step alone.
    const std::wstring& Line(const ProgressValue& value, double seconds);
    // Only the speed and the time left, with the step before them; "" until the rate is known.
    std::wstring Figures() const;

private:
    const int m_steps;
    int m_step = 0;
    bool m_retry = false;
    TransferRate m_rate;
    std::wstring m_line;
    std::wstring m_figures;
};

// The step of a phase: the download (and its waits) 1, the writing 2, the read-back 3.
int ProgressStepOf(ProgressPhase phase);
// The progress bar's accessible name in a phase ("下载", "写入", "校验").
const wchar_t* ProgressPhaseName(ProgressPhase phase);
