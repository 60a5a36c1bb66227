#!/usr/bin/env bash
# Installs what is missing, builds, starts the local demo mailbox and opens Larkspan
# against it. Closing the program stops the demo mailbox.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh
source scripts/loopback-env.sh

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "Larkspan is a desktop program and needs a display, but none was found." >&2
  echo "Without a desktop, run it under a virtual display:" >&2
  echo "    xvfb-run -a scripts/run.sh" >&2
  exit 1
fi

# The demo keeps settings of its own, so the user's real settings are never touched.
demo_home="$PWD/build/demo"
mkdir -p "$demo_home/config" "$demo_home/cache" "$demo_home/temp"
export XDG_CONFIG_HOME="$demo_home/config"
export XDG_CACHE_HOME="$demo_home/cache"
export TEMP="$demo_home/temp"

details="$demo_home/mailbox.env"
rm -f "$details"
build/bin/larkspan-demo-mailbox demo/mailbox > "$details" &
server_pid=$!
stop_server() {
  if kill -0 "$server_pid" 2>/dev/null; then
    kill "$server_pid" 2>/dev/null || true
    wait "$server_pid" 2>/dev/null || true
  fi
}
trap stop_server EXIT

for _ in $(seq 1 300); do
  grep -q '^DEMO_READY=1' "$details" 2>/dev/null && break
  kill -0 "$server_pid" 2>/dev/null || { echo "The demo mailbox did not start." >&2; exit 1; }
  sleep 0.1
done
grep -q '^DEMO_READY=1' "$details" || { echo "The demo mailbox did not start in time." >&2; exit 1; }
source "$details"

export LARKSPAN_IMAP_PORT="$DEMO_IMAP_PORT"
export LARKSPAN_IMAP_SECURITY=tls
export LARKSPAN_IMAP_CA_FILE="$DEMO_IMAP_CA_FILE"

# First demo run: fill in the demo sign-in and pick the first folder.
settings="$XDG_CONFIG_HOME/Vornhelm.ini"
if [ ! -f "$settings" ]; then
  umask 077
  printf '[Larkspan]\nStayConnected=1\nUser=%s\nPassword=%s\nCombo2=0\n' "$DEMO_USER" "$DEMO_PASSWORD" > "$settings"
fi

echo "Demo mailbox on 127.0.0.1:$DEMO_IMAP_PORT"
echo "  user name: $DEMO_USER"
echo "  password:  $DEMO_PASSWORD"
echo "Press \"1. Connect\", then \"2a. Get All Emails\"."
build/bin/larkspan
