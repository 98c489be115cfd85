#include "app/run_outcome.h"

int UnattendedExitCode(RunOutcome outcome)
{
    switch (outcome) {
    case RunOutcome::Installed:
        return 0;
    case RunOutcome::DrivesNotReady:
        return 2;
    case RunOutcome::Pending:
    case RunOutcome::Failed:
        break;
    }
    return 1;
}
