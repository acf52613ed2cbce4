#!/usr/bin/env bash
# Sets up and builds Vexmoor, starts the demo game server on 127.0.0.1 and opens Vexmoor
# with a demo profile pointed at it. Without a display it runs the headless companion
# against the demo server with its web pages on http://127.0.0.1:8080/ and prints what
# happens until Ctrl-C.
# The demo keeps its own settings and data under .demo/, apart from the operator's.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
build="$root/build"
"$root/scripts/setup.sh" "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVEXMOOR_TESTS=OFF

port=28001
password=demo
export XDG_CONFIG_HOME="$root/.demo/config"
export XDG_DATA_HOME="$root/.demo/data"
mkdir -p "$XDG_CONFIG_HOME/vexmoor" "$XDG_DATA_HOME/vexmoor"
# A mission folder for the demo: the Missions page lists it, the demo server plays from it.
missions="$root/.demo/missions"
if [ ! -d "$missions" ]; then
    mkdir -p "$missions"
    for m in "Raindance:Capture the Flag" "Broadside:Capture the Flag" "Crossfire:Capture the Flag" \
             "IceRidge:Capture and Hold" "Saddle:Capture and Hold" "Lakeside:Defend and Destroy" \
             "Quarry:Deathmatch"; do
        printf '$MDESC::Type = "%s";\n' "${m#*:}" > "$missions/${m%%:*}.dsc"
    done
fi
ini="$XDG_CONFIG_HOME/vexmoor/Vexmoor.ini"
if [ ! -f "$ini" ]; then
    printf '[Vexmoor]\nCommitInterval=1\n[127.0.0.1:%s]\nPassword=%s\nVexmoorScript=vexmoor.cs\nLog=1\nStats=1\nMissionsPath=%s\n' \
        "$port" "$password" "$missions" > "$ini"
    chmod 600 "$ini"
fi

"$build/tools/vexmoor-sim/vexmoor-sim" --port "$port" --password "$password" --match random \
    --missions-dir "$missions" \
    > "$root/.demo/sim.log" 2>&1 &
sim=$!
trap 'kill $sim 2>/dev/null || true' EXIT
sleep 0.5

echo "Demo game server on 127.0.0.1:$port (password \"$password\"); its log: .demo/sim.log"
echo "Settings: $ini; profile data: $XDG_DATA_HOME/vexmoor/127.0.0.1.$port"
if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    echo "Press the connect button to go online."
    "$build/src/app/vexmoor"
else
    web="127.0.0.1:${VEXMOOR_WEB_PORT:-8080}"
    echo "No display: running the headless companion (Ctrl-C to stop)."
    echo "Web pages: http://$web/"
    "$build/src/app/vexmoord" --web "$web" &
    daemon=$!
    tail -n +1 -F "$XDG_DATA_HOME/vexmoor/127.0.0.1.$port/events.log" 2>/dev/null &
    tailer=$!
    stop() {
        kill -INT "$daemon" 2>/dev/null || true
        wait "$daemon" 2>/dev/null || true
        kill "$tailer" "$sim" 2>/dev/null || true
        exit 0
    }
    trap stop INT TERM
    wait "$daemon" || true
    kill "$tailer" 2>/dev/null || true
fi
