"""How the support scripts end: when the test that started them closes their standard input,
or after their lifetime, whichever comes first."""

import os
import select
import sys


def wait_for_end(lifetime):
    """Returns when standard input reaches its end or `lifetime` seconds have passed."""
    remaining = lifetime
    while remaining > 0:
        ready, _, _ = select.select([sys.stdin], [], [], min(remaining, 1.0))
        remaining -= 1.0
        if ready and not os.read(sys.stdin.fileno(), 4096):
            return
