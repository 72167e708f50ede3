# Sourced by the tests and benchmarks that need a private Dovecot with fresh
# mailboxes. reset_pop3_server DIR USER...: stops the instance in DIR, removes
# every mailbox and user, adds USER... (empty mailboxes, the default password)
# and starts it again on $POP3_PORT / $POP3S_PORT.
reset_pop3_server() {
  local script dir=$1
  script=$(dirname "${BASH_SOURCE[0]}")/../pop3-server.sh
  shift
  bash "$script" stop "$dir" >/dev/null 2>&1 || true
  rm -rf "${dir:?}/mail" "$dir/passwd"
  for user in "$@"; do
    bash "$script" adduser "$dir" "$user" >/dev/null || return 1
  done
  bash "$script" start "$dir" >/dev/null
}
