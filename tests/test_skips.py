"""How the Python tests skip: the reason printed and left in
$QUILLORN_SKIP_REASONS/<test>.txt for CTest's closing summary, then exit
status 77 (the tests' SKIP_RETURN_CODE). Under CI a skip that CI should
never need fails instead, saying what CI must have."""

import os
import sys

SKIP = 77


def skip(test, reason, ci_needs=None):
    """Skips the test named test (its CTest name) for reason; with ci_needs,
    under CI it fails instead, printing "CI must <ci_needs>"."""
    print("SKIPPED: " + reason)
    folder = os.environ.get("QUILLORN_SKIP_REASONS")
    if folder:
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, test + ".txt"), "w") as out:
            out.write(reason + "\n")
    if ci_needs and os.environ.get("CI"):
        print("CI must " + ci_needs)
        sys.exit(1)
    sys.exit(SKIP)
