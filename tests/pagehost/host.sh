# Sourced by the page host's test and benchmark scripts: starts the host under Wine on a
# free loopback port over a page folder, and stops it again.
#   start_host ROOT WORKERS [pagehost options]   sets HOST_PORT, HOST_PID, HOST_LOG
#   stop_host                                    quits it, checks that every object the
#                                                pages made was released, ends Wine
# The architecture is wine-env's KELV_WIN_ARCH; the host and the module come from
# KELV_WIN_BUILD.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
KELV_WIN_NEEDS_THREADS=1
source "$here/../../scripts/wine-env"

free_port() {
  node -e "const s=require('net').createServer().listen(0,'127.0.0.1',()=>{console.log(s.address().port);s.close()})"
}

start_host() {
  local root=$1 workers=$2
  shift 2
  local exe=$KELV_WIN_BUILD/tools/pagehost/pagehost.exe
  [ -f "$exe" ] || { echo "host.sh: $exe is not built (make windows)" >&2; return 1; }
  wine_prefix_ready || { echo "host.sh: no Wine prefix" >&2; return 1; }
  "$WINE" regsvr32 /s "$(winpath "$KELV_WIN_BUILD/kelvutil.dll")" || { echo "host.sh: registration failed" >&2; return 1; }
  HOST_PORT=$(free_port)
  HOST_LOG=$(mktemp)
  HOST_LOCKS=$(mktemp)
  rm -f "$HOST_LOCKS"
  KELVUTIL_LOCKCHECK=$(winpath "$HOST_LOCKS") "$WINE" "$exe" --root "$(winpath "$root")" --port "$HOST_PORT" \
    --workers "$workers" --allow-quit "$@" >"$HOST_LOG" 2>&1 &
  HOST_PID=$!
  for _ in $(seq 1 120); do
    if curl -s -o /dev/null "http://127.0.0.1:$HOST_PORT/.pagehost/status"; then return 0; fi
    kill -0 "$HOST_PID" 2>/dev/null || break
    sleep 0.5
  done
  echo "host.sh: the host did not start:" >&2
  cat "$HOST_LOG" >&2
  return 1
}

stop_host() {
  local ok=0
  curl -s -o /dev/null --max-time 30 "http://127.0.0.1:$HOST_PORT/.pagehost/quit" || true
  for _ in $(seq 1 60); do
    kill -0 "$HOST_PID" 2>/dev/null || break
    sleep 0.5
  done
  if kill -0 "$HOST_PID" 2>/dev/null; then
    echo "host.sh: the host did not stop when asked" >&2
    kill "$HOST_PID" 2>/dev/null
    ok=1
  fi
  wait "$HOST_PID" 2>/dev/null || true
  # The module writes its lock count as it unloads: every object a page made must have
  # been released by then.
  if [ -f "$HOST_LOCKS" ] && tr -d '\r' <"$HOST_LOCKS" | grep -qv '^locks=0$'; then
    echo "host.sh: objects were still alive when the module unloaded: $(tr -d '\r' <"$HOST_LOCKS")" >&2
    ok=1
  fi
  rm -f "$HOST_LOCKS"
  "${WINESERVER:-wineserver}" -k 2>/dev/null || true
  return $ok
}
