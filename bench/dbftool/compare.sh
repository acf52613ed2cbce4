#!/usr/bin/env bash
# Times vexmoor-dbf against the usual dBASE tools on a 1,000,000-row Kills table and prints
# the ratios (below 1: vexmoor-dbf is faster).
#
#   bench/dbftool/compare.sh [BUILD_DIR] [ROWS]
#
# BUILD_DIR defaults to build-bench (configure it with -DCMAKE_BUILD_TYPE=Release); dbview,
# pgdbf and hyperfine are installed with apt-get when missing (hyperfine is optional: without
# it every command runs five times under /usr/bin/time and the median counts).
set -euo pipefail
root="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-$root/build-bench}"
rows="${2:-1000000}"
tool="$build/tools/vexmoor-dbf/vexmoor-dbf"

if [ ! -x "$tool" ]; then
    export CMAKE_CXX_COMPILER_LAUNCHER="${CMAKE_CXX_COMPILER_LAUNCHER:-$(command -v ccache || true)}"
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVEXMOOR_TESTS=OFF \
        -DVEXMOOR_GUI=OFF >/dev/null
    cmake --build "$build" --target vexmoor-dbf
fi

need=()
command -v dbview >/dev/null || need+=(dbview)
command -v pgdbf >/dev/null || need+=(pgdbf)
command -v hyperfine >/dev/null || need+=(hyperfine)
if [ ${#need[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null ||
        echo "could not install ${need[*]}" >&2
fi
for t in dbview pgdbf; do
    command -v $t >/dev/null || { echo "compare.sh: $t is missing" >&2; exit 1; }
done

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
table="$work/Kills.dbf"

# The statistics Kills table: the structure through vexmoor-dbf, the records written at once.
defs=(KillerID,N,10,0 VictimID,N,10,0 Kills,N,8,0 TeamKills,N,8,0)
for w in Fall Chaingun Turret Plasma Disc Grenade Laser Mortar Blaster Elf Mine Explosion \
         Crushed Rocket Suicide Other; do
    defs+=("$w,N,8,0")
done
"$tool" create "$table" "${defs[@]}"
python3 - "$table" "$rows" <<'PY'
import random, struct, sys
path, rows = sys.argv[1], int(sys.argv[2])
rng = random.Random(1)
with open(path, "r+b") as f:
    head = bytearray(f.read(32))
    header_length, record_length = struct.unpack("<HH", head[8:12])
    f.seek(header_length)
    chunk = []
    for n in range(rows):
        killer, victim = rng.randint(0, 5000), rng.randint(1, 5000)
        counts = [rng.randint(0, 999) for _ in range(18)]
        rec = b" " + b"%10d%10d" % (killer, victim) + b"".join(b"%8d" % c for c in counts)
        chunk.append(rec)
        if len(chunk) == 65536:
            f.write(b"".join(chunk)); chunk = []
    f.write(b"".join(chunk) + b"\x1a")
    head[4:8] = struct.pack("<I", rows)
    f.seek(0); f.write(head)
PY
ls -l "$table" | awk '{printf "table: %s rows, %.1f MB\n", '"$rows"', $5 / 1e6}'

names=(text csv json sqlite dbview pgdbf)
cmds=("$tool dump $table"
      "$tool dump --csv $table"
      "$tool dump --json $table"
      "$tool export --force --sqlite $work/out.db $table"
      "dbview -b -t -d , $table"
      "pgdbf $table")

declare -A secs
if command -v hyperfine >/dev/null; then
    for i in "${!names[@]}"; do
        hyperfine -N --warmup 1 --runs 5 --export-json "$work/h.json" "${cmds[$i]}" >/dev/null 2>&1
        secs[${names[$i]}]=$(python3 -c 'import json,sys; print(json.load(open(sys.argv[1]))["results"][0]["median"])' "$work/h.json")
    done
else
    for i in "${!names[@]}"; do
        runs=()
        for r in 1 2 3 4 5 6; do
            t=$( { /usr/bin/time -f %e ${cmds[$i]} >/dev/null 2>/dev/null; } 2>&1 | tail -1)
            [ "$r" -gt 1 ] && runs+=("$t")
        done
        secs[${names[$i]}]=$(printf '%s\n' "${runs[@]}" | sort -n | sed -n 3p)
    done
fi

printf '\n%-28s %9s %10s %10s\n' "command" "seconds" "/ dbview" "/ pgdbf"
for n in "${names[@]}"; do
    printf '%-28s %9.3f %10.2f %10.2f\n' "$n" "${secs[$n]}" \
        "$(awk -v a="${secs[$n]}" -v b="${secs[dbview]}" 'BEGIN { print a / b }')" \
        "$(awk -v a="${secs[$n]}" -v b="${secs[pgdbf]}" 'BEGIN { print a / b }')"
done
echo "(text, csv, json: vexmoor-dbf dump; sqlite: vexmoor-dbf export --sqlite;"
echo " dbview -b -t -d ,; pgdbf with its default CREATE TABLE and COPY output)"
