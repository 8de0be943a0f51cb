#!/usr/bin/env bash
# Fails when a file of the window program starts threads other than through WorkPool
# (outside/workpool.h): a pool of its own, Qt's global pool, QtConcurrent on either, or a
# thread of its own. Such work would share no window's end and no window's cancel.
# Usage: check_threads.sh SOURCE_DIR
set -euo pipefail
source=${1:?usage: check_threads.sh SOURCE_DIR}
cd "$source"
pattern='QThreadPool|globalInstance|QtConcurrent::|std::j?thread\b|std::async|QThread::create|new QThread\b|moveToThread'
found=$(grep -rnE "$pattern" --include='*.cpp' --include='*.h' app dialogs similar outside \
        | grep -vE '^outside/workpool\.(h|cpp):' \
        | grep -vE '^[^:]+:[0-9]+:[[:space:]]*//' || true)
if [[ -n $found ]]; then
    echo "Threads started without WorkPool:"
    echo "$found"
    exit 1
fi
echo "window program: every thread comes from a WorkPool"
