#!/usr/bin/env bash
# Download speed from a local nginx: `quorlin download` in N parts against one
# `curl` command fetching the same archive, side by side in MB/s.
#
#   bench/download_bench.sh [BUILD_DIR] [SIZE_MB] [RUNS] [PARTS]
#
# Defaults: build, 200 MB, 3 runs, 4 parts. Run by hand at a quiet moment
# (the load average is printed with the figures); not part of the tests.
# nginx listens on a free port of 127.0.0.1 and is stopped at the end; all
# files live in one temporary folder that is removed at the end.
set -euo pipefail

build=${1:-build}
size_mb=${2:-200}
runs=${3:-3}
parts=${4:-4}
quorlin=$(realpath "$build/bin/quorlin")
nginx=$(command -v nginx || echo /usr/sbin/nginx)
[ -x "$quorlin" ] || { echo "no $quorlin: build the quorlin target first" >&2; exit 1; }
[ -x "$nginx" ] || { echo "no nginx: run scripts/install-deps.sh" >&2; exit 1; }

work=$(mktemp -d)
nginx_pid=""
cleanup() {
  if [ -n "$nginx_pid" ]; then kill "$nginx_pid" 2>/dev/null || true; wait "$nginx_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/www" "$work/tmp" "$work/curl"

# A stored (uncompressed) archive of random bytes, so that nothing compresses.
python3 - "$work/www/bench.zip" "$size_mb" <<'PY'
import os, sys, zipfile
path, size_mb = sys.argv[1], int(sys.argv[2])
with zipfile.ZipFile(path, "w", zipfile.ZIP_STORED) as z:
    per_file = 8
    for i in range((size_mb + per_file - 1) // per_file):
        mb = min(per_file, size_mb - i * per_file)
        z.writestr("Bases/bench%03d.bin" % i, os.urandom(mb << 20))
PY
archive_bytes=$(stat -c %s "$work/www/bench.zip")

port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
cat >"$work/nginx.conf" <<EOF
daemon off;
master_process off;
pid $work/nginx.pid;
error_log $work/error.log;
events { worker_connections 64; }
http {
  access_log off;
  types { application/zip zip; }
  client_body_temp_path $work/body; proxy_temp_path $work/proxy; fastcgi_temp_path $work/fastcgi;
  uwsgi_temp_path $work/uwsgi; scgi_temp_path $work/scgi;
  sendfile on;
  server { listen 127.0.0.1:$port; location /files/ { alias $work/www/; } }
}
EOF
"$nginx" -p "$work" -c "$work/nginx.conf" -e "$work/error.log" &
nginx_pid=$!
url="http://127.0.0.1:$port/files/bench.zip"
for _ in $(seq 100); do curl -sfI "$url" >/dev/null 2>&1 && break; sleep 0.05; done

mbps() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f", (s > 0 ? b / 1048576 / s : 0) }'; }

echo "archive: $archive_bytes bytes; load average: $(cut -d' ' -f1-3 /proc/loadavg); cores: $(nproc)"
printf "%-4s %14s %22s %22s\n" run "curl MB/s" "quorlin $parts parts MB/s" "quorlin with unpack"
for run in $(seq "$runs"); do
  rm -f "$work/curl/bench.zip"
  curl_time=$(curl -s -o "$work/curl/bench.zip" -w '%{time_total}' "$url")

  rm -rf "$work/to" "$work/tmp"/*
  start=$(date +%s.%N)
  out=$(TMPDIR="$work/tmp" "$quorlin" download "$url" --to "$work/to" --parts "$parts")
  end=$(date +%s.%N)
  # "Downloaded X MB in N parts in S s: Y MB/s"
  q_seconds=$(sed -n 's/^Downloaded .* in \([0-9.]*\) s: .*/\1/p' <<<"$out")
  total=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
  printf "%-4s %14s %22s %22s\n" "$run" "$(mbps "$archive_bytes" "$curl_time")" \
    "$(mbps "$archive_bytes" "$q_seconds")" "$(mbps "$archive_bytes" "$total")"
done
