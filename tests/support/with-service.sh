#!/usr/bin/env bash
# with-service.sh <server-exe> <service-args> <command...>
#
# Runs <command> against a private local catalogue service. <service-args> is one argument,
# a CMake list (items separated by ";", may be empty) of extra switches for the service.
# The service listens on 127.0.0.1 on a free port; the command sees its address in
# LZF_SERVICE_URL, LANZIFANG_CATALOGUE_URL and LANZIFANG_UPDATE_URL (and LZF_SERVICE_TLS_URL
# when --tls-port was given, LZF_SERVICE_TRUSTED_TLS_URL when --trusted-tls-port was). Exits with the command's status; the service is stopped after.
set -u

if [ $# -lt 3 ]; then
  echo "usage: $0 <server-exe> <service-args> <command...>" >&2
  exit 2
fi
server=$1
service_args=$2
shift 2

svc=()
if [ -n "$service_args" ]; then
  IFS=';' read -r -a svc <<<"$service_args"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/lzf-service.XXXXXX")
server_pid=""

stop_server() {
  if [ -n "$server_pid" ] && kill -0 "$server_pid" 2>/dev/null; then
    kill -TERM "$server_pid" 2>/dev/null
    for _ in $(seq 50); do
      kill -0 "$server_pid" 2>/dev/null || break
      sleep 0.1
    done
    kill -KILL "$server_pid" 2>/dev/null
    wait "$server_pid" 2>/dev/null
  fi
  server_pid=""
}
cleanup() {
  stop_server
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

if [ ! -x "$server" ]; then
  echo "with-service: the service program $server does not exist (build the native tree)" >&2
  exit 1
fi

"$server" --host 127.0.0.1 --port 0 --exit-with-parent ${svc[@]+"${svc[@]}"} \
  >"$work/stdout" 2>"$work/stderr" </dev/null &
server_pid=$!

want_tls=0
want_trusted=0
for a in ${svc[@]+"${svc[@]}"}; do
  [ "$a" = "--tls-port" ] && want_tls=1
  [ "$a" = "--trusted-tls-port" ] && want_trusted=1
done

url=""
tls_url=""
trusted_url=""
for _ in $(seq 200); do
  if ! kill -0 "$server_pid" 2>/dev/null; then
    break
  fi
  first=$(head -n 1 "$work/stdout" 2>/dev/null)
  case "$first" in
    "listening on http://"*/)
      url=${first#listening on }
      [ $want_tls = 1 ] &&
        tls_url=$(sed -n 's/^tls listening on \(https:\/\/.*\/\)$/\1/p' "$work/stdout")
      [ $want_trusted = 1 ] &&
        trusted_url=$(sed -n 's/^trusted tls listening on \(https:\/\/.*\/\)$/\1/p' \
          "$work/stdout")
      { [ $want_tls = 0 ] || [ -n "$tls_url" ]; } &&
        { [ $want_trusted = 0 ] || [ -n "$trusted_url" ]; } && break
      ;;
  esac
  sleep 0.05
done

if [ -z "$url" ] || { [ $want_tls = 1 ] && [ -z "$tls_url" ]; } ||
  { [ $want_trusted = 1 ] && [ -z "$trusted_url" ]; }; then
  echo "with-service: the service did not start" >&2
  cat "$work/stderr" >&2
  exit 1
fi

export LZF_SERVICE_URL="$url"
export LANZIFANG_CATALOGUE_URL="$url"
export LANZIFANG_UPDATE_URL="${url}skin/update.html"
[ -n "$tls_url" ] && export LZF_SERVICE_TLS_URL="$tls_url"
[ -n "$trusted_url" ] && export LZF_SERVICE_TRUSTED_TLS_URL="$trusted_url"

"$@"
status=$?
stop_server
if [ -s "$work/stderr" ] && [ $status -ne 0 ]; then
  echo "--- service stderr ---" >&2
  tail -n 50 "$work/stderr" >&2
fi
exit $status
