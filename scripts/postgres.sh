#!/usr/bin/env bash
# A PostgreSQL server of one's own, for the tests, the benchmark and trying a shared store by
# hand (Debian package postgresql).
#
#   scripts/postgres.sh run COMMAND [ARG...]
#       Makes a new cluster in a temporary directory, starts it listening on a Unix socket in
#       that directory only, runs COMMAND with CUSTOMFOLDER_STORE_URL set to the URL of its
#       database "customfolder", then stops the server and removes the directory, whatever
#       the command's outcome. Exits with the command's status.
#   scripts/postgres.sh stop | start
#       Inside COMMAND: stops the server, cutting its connections off, or starts it again.
#
# PostgreSQL refuses to run as root: as root the server runs as the unprivileged user nobody.
set -euo pipefail

fail() {
    echo "postgres.sh: $*" >&2
    exit 1
}

bin=$(find /usr/lib/postgresql -maxdepth 2 -name bin -type d 2>/dev/null | sort -V | tail -n 1)
[ -n "$bin" ] && [ -x "$bin/initdb" ] \
    || fail "PostgreSQL is not installed (Debian package postgresql; see scripts/install-deps.sh)"

as_owner=()
if [ "$(id -u)" -eq 0 ]; then
    as_owner=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi

server() {
    local dir=${CUSTOMFOLDER_POSTGRES_DIR:?not inside scripts/postgres.sh run}
    case $1 in
    start)
        "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
            -o "-c listen_addresses='' -c unix_socket_directories='$dir'" start >/dev/null \
            || { cat "$dir/server.log" >&2; fail "the server in $dir did not start"; }
        ;;
    stop)
        "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -m fast -w stop >/dev/null
        ;;
    esac
}

case ${1:-} in
start | stop)
    server "$1"
    exit 0
    ;;
run)
    shift
    [ $# -gt 0 ] || fail "usage: postgres.sh run COMMAND [ARG...]"
    ;;
*)
    fail "usage: postgres.sh run COMMAND [ARG...] | start | stop"
    ;;
esac

# A short path: a Unix socket's path may not be longer than about a hundred bytes.
dir=$(mktemp -d /tmp/cf-pg.XXXXXX)
export CUSTOMFOLDER_POSTGRES_DIR=$dir
cleanup() {
    "${as_owner[@]}" "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP # the server goes also when the run is cut short
chmod 755 "$dir"
[ ${#as_owner[@]} -eq 0 ] || chown 65534:65534 "$dir"

# A cluster for one run: initdb need not wait for the disk.
"${as_owner[@]}" "$bin/initdb" -D "$dir/data" -U customfolder --auth=trust -E UTF8 --no-sync \
    --locale=C.UTF-8 >"$dir/initdb.log" 2>&1 \
    || { cat "$dir/initdb.log" >&2; fail "initdb failed"; }
server start
"$bin/createdb" -h "$dir" -U customfolder customfolder || fail "cannot create the database"

export CUSTOMFOLDER_STORE_URL="postgresql://customfolder@/customfolder?host=$dir"
status=0
"$@" || status=$?
exit "$status"
