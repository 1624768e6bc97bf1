#!/usr/bin/env bash
# A throwaway PostgreSQL on a loopback port, for the tests.
#   scripts/pg.sh start DIR PORT   prints the connection URL
#   scripts/pg.sh stop DIR
# It is stopped by its own data directory (pg_ctl reads the postmaster's pid there), never by name.
set -euo pipefail
cmd=${1:?start|stop}; dir=${2:?directory}
bin=$(ls -d /usr/lib/postgresql/*/bin 2>/dev/null | sort -V | tail -n1)
[ -n "$bin" ] || { echo "PostgreSQL não instalado" >&2; exit 1; }
as_pg() { if [ "$(id -u)" -eq 0 ]; then su postgres -s /bin/sh -c "$1"; else sh -c "$1"; fi; }
case "$cmd" in
  start)
    port=${3:-54329}
    mkdir -p "$dir"; [ "$(id -u)" -eq 0 ] && chown postgres:postgres "$dir"
    as_pg "$bin/initdb -D $dir/data -U postgres -A trust -E UTF8 --no-locale" >/dev/null
    as_pg "$bin/pg_ctl -D $dir/data -l $dir/server.log -w -o \"-p $port -k $dir -c listen_addresses=127.0.0.1 -c fsync=off\" start" >/dev/null
    as_pg "$bin/createdb -h 127.0.0.1 -p $port -U postgres erp"
    echo "postgresql://postgres@127.0.0.1:$port/erp"
    ;;
  stop)
    as_pg "$bin/pg_ctl -D $dir/data -m fast -w stop" >/dev/null || true
    rm -rf "$dir"
    ;;
  *) echo "uso: $0 start|stop DIR [PORT]" >&2; exit 2 ;;
esac
