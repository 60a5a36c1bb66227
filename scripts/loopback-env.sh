# Sourced by every script that runs the program, a test, a benchmark or the demo:
# keeps the mail host, the connectivity probe and remote mail content on loopback.
export LARKSPAN_IMAP_HOST=127.0.0.1
export LARKSPAN_PROBE_HOST=127.0.0.1
export LARKSPAN_REMOTE_CONTENT=block
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking"
if [ "$(id -u)" -eq 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
