#!/usr/bin/env bash
# Installs what is needed, builds Trevalon and runs every test headless: the whole suite, each fuzz
# target for 20 seconds, then the whole suite again built with AddressSanitizer and
# UndefinedBehaviorSanitizer. Stops at the first part that fails; ends with CTest's summary line.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
(cd build && QT_QPA_PLATFORM=offscreen ctest --output-on-failure --parallel "$(nproc)" --timeout 600)
scripts/fuzz.sh 20
scripts/test-sanitized.sh
