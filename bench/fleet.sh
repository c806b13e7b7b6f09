#!/usr/bin/env bash
# A fleet on one machine: N simulated controllers, each with its own svg-logger-headless
# publishing to one mosquitto, all scraped by one Prometheus every 5 s, for SECONDS. Prints each
# box's CPU share and resident memory, and whether the broker got every row the CSV files hold
# (each sample's run and sequence, once, against the rows of the box's files).
#   bench/fleet.sh [N] [SECONDS] [BUILD_DIR]      (defaults: 20 180 build)
# Needs mosquitto, mosquitto_sub (mosquitto-clients) and prometheus: ./scripts/deps.sh installs them.
set -euo pipefail
boxes=${1:-20}
seconds=${2:-180}
build=$(cd "${3:-build}" && pwd)
for tool in mosquitto mosquitto_sub prometheus python3; do
  command -v "$tool" >/dev/null || { echo "fleet: $tool is missing (./scripts/deps.sh installs it)" >&2; exit 2; }
done
work=$(mktemp -d /tmp/svg-fleet.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }

broker_port=$(free_port)
cat >"$work/mosquitto.conf" <<EOF
listener $broker_port 127.0.0.1
allow_anonymous true
max_queued_messages 0
EOF
mosquitto -c "$work/mosquitto.conf" >"$work/mosquitto.log" 2>&1 & pids+=($!)
sleep 0.5
# One subscriber for the whole fleet, a persistent session at QoS 1: what the broker acknowledged
# reaches it even across its own reconnects.
mosquitto_sub -h 127.0.0.1 -p "$broker_port" -q 1 -c -i fleet-counter -t 'fleet/+/sample' -F '%t %p' \
  >"$work/received.txt" 2>"$work/sub.log" & sub=$!
sleep 0.5

targets=()
for i in $(seq -w 1 "$boxes"); do
  name="fleet-box$i"
  mkdir -p "$work/box$i/logs" "$work/box$i/state"
  "$build/tools/svg-controller-sim" --name "$name" --seed "$((10#$i))" >"$work/box$i/sim.log" 2>&1 & pids+=($!)
  port=$(free_port)
  targets+=("127.0.0.1:$port")
  echo "$port" >"$work/box$i/metrics-port"
done
sleep 1
for i in $(seq -w 1 "$boxes"); do
  link=$(sed -n 's/^virtual port \(.*\) -> .*/\1/p' "$work/box$i/sim.log")
  STATE_DIRECTORY="$work/box$i/state" "$build/app/svg-logger-headless" --port "$link" \
    --folder "$work/box$i/logs/" --mqtt "mqtt://127.0.0.1:$broker_port" --mqtt-topic "fleet/box$i" \
    --mqtt-client-id "fleet-box$i" --metrics-listen "127.0.0.1:$(cat "$work/box$i/metrics-port")" --quiet \
    >"$work/box$i/headless.log" 2>&1 & echo $! >"$work/box$i/pid"; pids+=($!)
done

{
  echo "global: {scrape_interval: 5s, scrape_timeout: 4s}"
  echo "scrape_configs:"
  echo "  - job_name: svg-logger"
  echo "    static_configs:"
  echo "      - targets: [$(IFS=,; echo "${targets[*]}")]"
} >"$work/prometheus.yml"
prom_port=$(free_port)
prometheus --config.file="$work/prometheus.yml" --storage.tsdb.path="$work/tsdb" \
  --web.listen-address="127.0.0.1:$prom_port" >"$work/prometheus.log" 2>&1 & pids+=($!)

ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }
sleep 5 # the start: the wake-up, the first files, the first scrapes
declare -A before
for i in $(seq -w 1 "$boxes"); do before[$i]=$(ticks "$(cat "$work/box$i/pid")"); done
start=$(date +%s.%N)
sleep "$((seconds - 5))"
elapsed=$(python3 -c "import time; print(time.time() - $start)")
hz=$(getconf CLK_TCK)
echo "box    cpu %   rss MiB  peak MiB"
for i in $(seq -w 1 "$boxes"); do
  pid=$(cat "$work/box$i/pid")
  after=$(ticks "$pid")
  rss=$(awk '/^VmRSS/ {print $2}' "/proc/$pid/status")
  hwm=$(awk '/^VmHWM/ {print $2}' "/proc/$pid/status")
  python3 -c "print('box$i  %6.2f  %8.1f  %8.1f' % (($after - ${before[$i]}) / $hz / $elapsed * 100, $rss / 1024, $hwm / 1024))"
done | tee "$work/usage.txt"
up=$(curl -s "http://127.0.0.1:$prom_port/api/v1/query?query=sum(up%7Bjob%3D%22svg-logger%22%7D)" | python3 -c 'import json,sys; r=json.load(sys.stdin)["data"]["result"]; print(r[0]["value"][1] if r else 0)')
scrapes=$(curl -s "http://127.0.0.1:$prom_port/api/v1/query?query=sum(count_over_time(up%7Bjob%3D%22svg-logger%22%7D%5B10m%5D))" | python3 -c 'import json,sys; r=json.load(sys.stdin)["data"]["result"]; print(r[0]["value"][1] if r else 0)')

for i in $(seq -w 1 "$boxes"); do kill -TERM "$(cat "$work/box$i/pid")"; done
for i in $(seq -w 1 "$boxes"); do
  pid=$(cat "$work/box$i/pid")
  while kill -0 "$pid" 2>/dev/null; do sleep 0.2; done
done
sleep 3
kill "$sub" 2>/dev/null || true

python3 - "$work" "$boxes" <<'EOF'
import glob, json, os, sys
work, boxes = sys.argv[1], int(sys.argv[2])
got = {}
for line in open(os.path.join(work, "received.txt"), encoding="utf-8", errors="replace"):
    topic, _, payload = line.partition(" ")
    box = topic.split("/")[1]
    try:
        sample = json.loads(payload)
    except ValueError:
        continue
    got.setdefault(box, set()).add((sample.get("run"), sample.get("sequence")))
rows_all = delivered_all = 0
for i in range(1, boxes + 1):
    box = "box%0*d" % (len(str(boxes)), i)
    rows = 0
    for path in glob.glob(os.path.join(work, box, "logs", "*.csv")):
        with open(path, "rb") as f:
            rows += sum(1 for l in f.read().split(b"\r\n")[1:] if l.strip())
    delivered = len(got.get(box, ()))
    rows_all += rows
    delivered_all += delivered
    if rows != delivered:
        print(f"{box}: {rows} rows in the CSV files, {delivered} samples at the broker")
print(f"rows in the CSV files: {rows_all}; samples delivered, each once: {delivered_all}")
sys.exit(0 if rows_all == delivered_all and rows_all > 0 else 1)
EOF
status=$?
echo "scrapes answered: sum(up) = $up of $boxes at the end, $scrapes scrapes in all"
python3 -c "
import statistics
rows=[l.split() for l in open('$work/usage.txt')]
cpu=[float(r[1]) for r in rows]; rss=[float(r[2]) for r in rows]
print('per box: cpu %% mean %.2f (max %.2f), rss MiB mean %.1f (max %.1f)' % (statistics.mean(cpu), max(cpu), statistics.mean(rss), max(rss)))"
echo "files in $work"
exit $status
