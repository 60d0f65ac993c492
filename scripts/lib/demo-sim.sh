# Sourced by the run and screenshot scripts: starts kpx-sim on a pseudo-terminal with its own
# settings store and ports folder, and preselects its port with automatic connection.
#   start_demo_sim DEMO_FOLDER [kpx-sim options...]   sets DEMO_SIM_PID and DEMO_SIM_PORT
start_demo_sim() {
  local demo=$1; shift
  export XDG_CONFIG_HOME="$demo/config"
  export KELVORA_PORTS_DIR="$demo/ports"
  mkdir -p "$XDG_CONFIG_HOME/ardentix" "$KELVORA_PORTS_DIR"
  local ready="$demo/sim.ready"
  rm -f "$ready"
  build/bin/kpx-sim --rtu kpx-sim "$@" >"$ready" &
  DEMO_SIM_PID=$!
  for _ in $(seq 100); do
    grep -q '^READY' "$ready" 2>/dev/null && break
    kill -0 "$DEMO_SIM_PID" 2>/dev/null || { echo "kpx-sim did not start" >&2; return 1; }
    sleep 0.05
  done
  DEMO_SIM_PORT=$(sed -n 's/^READY.*rtu=\([^ ]*\).*/\1/p' "$ready")
  [ -n "$DEMO_SIM_PORT" ] || { echo "kpx-sim did not report its port" >&2; return 1; }
  local conf="$XDG_CONFIG_HOME/ardentix/KPX.conf"
  [ -f "$conf" ] || printf '[General]\n' >"$conf"
  grep -q '^\[General\]' "$conf" || sed -i '1i [General]' "$conf"
  sed -i -e '/^PORT=/d' -e '/^Autoconnect=/d' "$conf"
  sed -i "/^\[General\]/a PORT=$DEMO_SIM_PORT\nAutoconnect=1" "$conf"
}

stop_demo_sim() {
  [ -n "${DEMO_SIM_PID:-}" ] || return 0
  kill "$DEMO_SIM_PID" 2>/dev/null || true
  wait "$DEMO_SIM_PID" 2>/dev/null || true
}
