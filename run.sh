#!/usr/bin/env bash
# Installs what the build needs, builds into build/ and starts qlon98 with the
# given arguments (on Qt's offscreen platform when there is no display).
set -euo pipefail
QLON_TOP=$(cd "$(dirname "$0")" && pwd)
source "$QLON_TOP/tools/setup.sh"
qlon_install_packages
qlon_build build -DCMAKE_BUILD_TYPE=RelWithDebInfo
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
fi
if [ ! -x "$QLON_TOP/build/bin/qlon98" ]; then
  echo "qlon98 is not part of this build yet" >&2
  exit 1
fi
exec "$QLON_TOP/build/bin/qlon98" "$@"
