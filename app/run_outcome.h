// How a run ended, for --unattended's exit code.
#pragma once

enum class RunOutcome {
    Pending, // nothing decided yet: the program ended before the installation did
    Installed, // the completion window was reached with the stick still there
    Failed, // a refusal, a failed download or write, a pulled stick, a closed window
    DrivesNotReady, // the first drive check refused, so start was never pressed
};

// 0 installed, 2 drives not ready, 1 anything else.
int UnattendedExitCode(RunOutcome outcome);
