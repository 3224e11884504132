#!/usr/bin/env bash
# Smoke test of the desktop program: usage smoke.sh VELMORA_BIN [SCREENSHOT.png]
# Starts velmora on a virtual X display with a fresh data folder, lets the real page load,
# sends getInitialState through the page's own message API and the WebKit bridge, takes a
# screenshot of the window (when ImageMagick's import is there) and checks a clean exit.
# Also checks the one-line refusal without any display.
set -uo pipefail
bin=${1:?usage: smoke.sh VELMORA_BIN [SCREENSHOT.png]}
shot=${2:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

passed=0
failed=0
check() { # check NAME CONDITION...
  local name=$1; shift
  if "$@"; then passed=$((passed + 1)); echo "ok   $name"; else failed=$((failed + 1)); echo "FAIL $name"; fi
}

# GTK and WebKit keep allocations for the life of the process; leak reports would be noise.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"
export NO_AT_BRIDGE=1
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 -p "$XDG_RUNTIME_DIR"

# 1. No display: one clear line, non-zero exit.
env -u DISPLAY -u WAYLAND_DISPLAY VELMORA_DATA_DIR="$work/nodisplay" "$bin" >"$work/nodisplay.out" 2>&1
status=$?
check "without a display velmora says so and exits non-zero" \
  test "$status" -ne 0 -a "$(wc -l <"$work/nodisplay.out")" -eq 1
grep -q "no graphical display" "$work/nodisplay.out" || { cat "$work/nodisplay.out"; }

if ! command -v xvfb-run >/dev/null 2>&1; then
  echo "FAIL xvfb-run is not installed (scripts/setup installs xvfb)"
  echo "$passed passed, $((failed + 1)) failed"
  exit 1
fi

# 2. The window under Xvfb. The page may start a job sync at launch: point every job board
# at a closed loopback port so nothing leaves this machine.
export VELMORA_DATA_DIR="$work/data"
printf '{"himalayas":"http://127.0.0.1:9","jobicy":"http://127.0.0.1:9","arbeitnow":"http://127.0.0.1:9","arbeitnowUk":"http://127.0.0.1:9","weWorkRemotely":"http://127.0.0.1:9","remotive":"http://127.0.0.1:9","remoteOk":"http://127.0.0.1:9","remoteJobs":"http://127.0.0.1:9"}' >"$work/endpoints.json"
export VELMORA_SOURCE_ENDPOINTS="$work/endpoints.json"

# An application form on a loopback web server, and a resume to attach to it. The form is a
# hostile employer's: it spies on the page's built-ins and sends what they see to its server,
# whose every request path goes to requests.log.
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work/site"
cp "$here/hostile-employer.html" "$work/site/apply.html"
printf 'Ana Maria Lima\nStaff Engineer\n' >"$work/resume.txt"
python3 -c '
import functools, http.server, socketserver, sys
class Quiet(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *args): pass
    def do_GET(self):
        with open(sys.argv[2], "a") as log: log.write(self.path + "\n")
        super().do_GET()
handler = functools.partial(Quiet, directory=sys.argv[1])
with socketserver.TCPServer(("127.0.0.1", 0), handler) as server:
    print(server.server_address[1], flush=True)
    server.serve_forever()
' "$work/site" "$work/requests.log" >"$work/port" 2>/dev/null &
server=$!
trap 'kill "$server" 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 1 50); do [ -s "$work/port" ] && break; sleep 0.1; done
form="http://127.0.0.1:$(cat "$work/port")/apply.html"
# xvfb-run -a can lose the race for a display number to another X server starting at the
# same moment; such a start is retried.
for attempt in 1 2 3; do
  rm -f "$work/smoke.out" "$work/smoke.out.err"
  xvfb-run -a -s "-screen 0 1600x1000x24 -nolisten tcp" bash -c '
    bin=$1; out=$2; shot=$3; form=$4; resume=$5
    "$bin" --smoke-test --smoke-hold 60 --smoke-open "$form" --smoke-resume "$resume" >"$out" 2>"$out.err" &
    pid=$!
    for _ in $(seq 1 480); do
      grep -q "velmora smoke test" "$out" && break
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.5
    done
    # A second window on the same data folder refuses it while the first one runs.
    timeout 60 "$bin" --smoke-test >"$out.second" 2>&1
    echo "second=$?" >>"$out.second"
    sleep 6 # let the page finish painting before the picture
    if [ -n "$shot" ] && command -v import >/dev/null 2>&1; then import -window root "$shot" || true; fi
    kill -TERM "$pid" 2>/dev/null
    wait "$pid"
    echo "exit=$?" >>"$out"
  ' smoke "$bin" "$work/smoke.out" "$shot" "$form" "$work/resume.txt"
  grep -q "velmora smoke test" "$work/smoke.out" 2>/dev/null && break
  grep -q "no graphical display" "$work/smoke.out.err" 2>/dev/null || break
  echo "note: the virtual display was not reachable (attempt $attempt); retrying"
  sleep 2
done

check "the page received the getInitialState reply through the bridge" \
  grep -q '^reply: .*"version":"0.2.2"' "$work/smoke.out"
check "the reply names the database in the temporary data folder" \
  grep -qF "\"databasePath\":\"$VELMORA_DATA_DIR/velmora.db\"" "$work/smoke.out"
check "openJob through the page opened the form in the application browser" \
  grep -q '^openJob: .*"opened":true' "$work/smoke.out"
check "the trust badge rates the loopback page (plain http on its own port)" grep -q '^browser badge: High Risk · 2/100$' "$work/smoke.out"
check "the toolbar shows the address of the page, not a fixed title" grep -qF "browser address: $form" "$work/smoke.out"
check "Assist Apply filled the form and attached the resume through the upload prompt" \
  grep -q '^assist: Assist complete: [0-9]* fields · resume attached · review before submitting$' "$work/smoke.out"
check "the application browser gives file addresses no access to other files" \
  grep -q '^browser file urls: closed$' "$work/smoke.out"
check "the hostile page's spies were active" grep -q 'velmora-canary' "$work/requests.log"
check "the hostile page saw nothing of the profile through its spies (isolated script world)" \
  bash -c '! grep -Eq "Lima|912|ana%40example" "$1"' _ "$work/requests.log"
check "the whole smoke run passed" grep -q '^velmora smoke test passed$' "$work/smoke.out"
check "velmora exits cleanly on SIGTERM" grep -q '^exit=0$' "$work/smoke.out"
check "the data folder was created" test -f "$VELMORA_DATA_DIR/velmora.db"
second_refused() {
  grep -qF "Velmora is already running with this data folder: $VELMORA_DATA_DIR" "$work/smoke.out.second" &&
    ! grep -q '^second=0$' "$work/smoke.out.second"
}
check "a second window on the same folder says Velmora is already running and exits non-zero" second_refused
check "the data folder is private" test "$(stat -c %a "$VELMORA_DATA_DIR")" = 700
if [ -n "$shot" ] && command -v import >/dev/null 2>&1; then
  check "a screenshot was taken" test -s "$shot"
fi
# 3. A damaged database: a smoke test cannot answer the alert, so it fails at once, and the
# damaged file is left exactly as it was.
mkdir -p "$work/damaged"
head -c 8192 /dev/urandom >"$work/damaged/velmora.db"
cp "$work/damaged/velmora.db" "$work/damaged.orig"
start=$(date +%s)
VELMORA_DATA_DIR="$work/damaged" timeout 60 xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" \
  "$bin" --smoke-test >"$work/damaged.out" 2>"$work/damaged.err"
status=$?
check "a damaged database fails the smoke test with a non-zero exit, without waiting" \
  test "$status" -ne 0 -a "$status" -ne 124 -a $(($(date +%s) - start)) -lt 50
check "the damaged database is named in the output" grep -q "damaged database" "$work/damaged.out"
check "the damaged database file is untouched" cmp -s "$work/damaged/velmora.db" "$work/damaged.orig"

if [ "$failed" -ne 0 ]; then
  echo "--- velmora output"; cat "$work/smoke.out"; echo "--- velmora errors"; tail -n 40 "$work/smoke.out.err"
else
  cut -c1-300 "$work/smoke.out"
fi
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
