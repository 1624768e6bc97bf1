#!/usr/bin/env bash
# Starts the product on the embedded default: a SQLite database in var/ (created with demo data and a
# first administrator on the first run), the application server and the web host. Ctrl+C stops both.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
bin="${TIPOPER_BIN:-$root/build/bin}"
mkdir -p var
db="${TIPOPER_DB:-sqlite:$root/var/tipoper.db}"
appserver_port="${TIPOPER_APPSERVER_PORT:-7400}"
host_port="${TIPOPER_HOST_PORT:-8080}"

for exe in tipoper-appserver tipoper-host; do
  if [ ! -x "$bin/$exe" ]; then
    echo "Não encontrei $bin/$exe; rode 'make build' antes." >&2
    exit 1
  fi
done

demo=()
case "$db" in
  sqlite:*) [ -f "${db#sqlite:}" ] || demo=(--demo) ;;
esac

# Users live in the database. A database without any gets its first administrator, whose generated
# password is shown this once. People log in through the host's login page and each screen connects
# with its user's ticket: the host holds no credential of its own.
users=$("$bin/tipoper-appserver" --db "$db" user list) || {
  echo "Não foi possível ler os usuários da base de dados." >&2
  exit 1
}
if [ -z "$users" ]; then
  password=$(head -c 18 /dev/urandom | base64 | tr '+/' '-_')
  printf '%s\n' "$password" | "$bin/tipoper-appserver" --db "$db" user add admin --role admin
  echo
  echo "  Primeiro usuário criado: admin (papel admin)"
  echo "  Senha: $password"
  echo "  Anote a senha agora: ela não será mostrada de novo."
  echo "  (troque-a com: build/bin/tipoper-appserver --db $db user password admin)"
  echo
fi
# Tokens an earlier version of this script kept for the host are no longer used.
rm -f "$root"/var/appserver-*.token

appserver_pid=""
host_pid=""
stop() {
  trap - INT TERM EXIT
  [ -n "$host_pid" ] && kill "$host_pid" 2>/dev/null && wait "$host_pid" 2>/dev/null
  [ -n "$appserver_pid" ] && kill "$appserver_pid" 2>/dev/null && wait "$appserver_pid" 2>/dev/null
  echo
  echo "Servidores encerrados."
}
trap stop INT TERM EXIT

log="$root/var/log"
mkdir -p "$log"
"$bin/tipoper-appserver" --db "$db" --port "$appserver_port" "${demo[@]}" >"$log/appserver.out" 2>"$log/appserver.log" &
appserver_pid=$!
# Waits for a line in a log file written by a process that must stay alive meanwhile.
wait_for() { # $1 = file, $2 = pattern, $3 = pid, $4 = name
  for _ in $(seq 1 100); do
    grep -q "$2" "$1" 2>/dev/null && return 0
    if ! kill -0 "$3" 2>/dev/null; then
      echo "$4 não iniciou:" >&2
      cat "$1" "${1%.out}.log" >&2 2>/dev/null || true
      return 1
    fi
    sleep 0.1
  done
  echo "$4 não respondeu a tempo." >&2
  return 1
}
wait_for "$log/appserver.out" "ouvindo em" "$appserver_pid" "O servidor de aplicação"
[ ${#demo[@]} -gt 0 ] && echo "Base de demonstração criada em ${db#sqlite:}."

"$bin/tipoper-host" --port "$host_port" --appserver "127.0.0.1:$appserver_port" --db "$db" \
  >"$log/host.out" 2>"$log/host.log" &
host_pid=$!
wait_for "$log/host.out" "ouvindo em" "$host_pid" "O host web"

echo "Servidor de aplicação em 127.0.0.1:$appserver_port; registros em $log/."
echo "Abra http://127.0.0.1:$host_port/ no navegador e entre com seu usuário e senha."
echo "Ctrl+C encerra os dois servidores."
# Either server ending ends the other too (through the EXIT trap).
wait -n "$host_pid" "$appserver_pid" || true
