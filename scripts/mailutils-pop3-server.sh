#!/usr/bin/env bash
# mailutils-pop3-server.sh - a private, loopback-only GNU Mailutils pop3d for the
# integration tests: the second real POP3 peer beside Dovecot; with IMAP_PORT
# set, its imap4d on the same mailboxes too (the second real IMAP peer).
# Everything lives under DIR: pop3d.conf (imap4d.conf), the pid files and lock directory (run/),
# the log (log/pop3d.log), the certificate (tls/), the virtual domain's password
# file (domains/DOMAIN) and the mailboxes (mail/USER, whose INBOX is its Maildir),
# laid out as scripts/pop3-server.sh lays them out, so that its populate, clear
# and deliver fill these mailboxes too. No system user or service is involved;
# logins are USER@DOMAIN.
# Usage:
#   mailutils-pop3-server.sh start DIR USER...   (re)create USER... (empty mailboxes,
#                                                password $POP3_PASS) and start
#   mailutils-pop3-server.sh stop  DIR
#   mailutils-pop3-server.sh populate|clear|deliver DIR USER ...   as pop3-server.sh
# Environment:
#   POP3_PORT=31120  plain POP3 port (STLS offered)
#   POP3S_PORT=31121 implicit-TLS POP3S port
#   POP3_DOMAIN=test.invalid   the virtual domain of every login
#   POP3_PASS=secret
#   IMAP_PORT, IMAPS_PORT  when both are set, imap4d serves IMAP (STARTTLS) and
#                          IMAPS there; without imap4d
#                          installed, start says so and serves POP3 alone
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
# shellcheck source=lib/pidfile.sh
source "$here/lib/pidfile.sh"
POP3_PORT=${POP3_PORT:-31120}
POP3S_PORT=${POP3S_PORT:-31121}
POP3_DOMAIN=${POP3_DOMAIN:-test.invalid}
POP3_PASS=${POP3_PASS:-secret}
IMAP_PORT=${IMAP_PORT:-}
IMAPS_PORT=${IMAPS_PORT:-}

die() { echo "mailutils-pop3-server: $*" >&2; exit 1; }

mail_owner() { # uid:gid the mailboxes belong to (pop3d switches to it after login)
  if [ "$(id -u)" = 0 ]; then echo "$(id -u nobody):$(id -g nobody)"; else echo "$(id -u):$(id -g)"; fi
}

write_conf() {
  local dir=$1 daemon common
  for daemon in pop3d imap4d; do
    # What both daemons share: the logins, the locks and the certificate.
    common=$(cat <<CONF
pidfile "$dir/run/$daemon.pid";
foreground yes;
mode daemon;
logging { syslog no; };
authorization { backend virtdomain; };
authentication { backend generic; };
virtdomain { passwd-dir "$dir/domains"; };
mandatory-locking { enable no; lock-directory "$dir/run/lock"; };
tls { ssl-certificate-file "$dir/tls/cert.pem"; ssl-key-file "$dir/tls/key.pem"; };
tls-file-checks { key-file none; cert-file none; ca-file none; };
CONF
)
    if [ $daemon = pop3d ]; then
      printf '%s\nserver 127.0.0.1:%s { tls-mode stls; };\nserver 127.0.0.1:%s { tls-mode connection; };\n' \
        "$common" "$POP3_PORT" "$POP3S_PORT" >"$dir/pop3d.conf"
    elif [ -n "$IMAP_PORT" ]; then
      # The INBOX is the home's link to the Maildir, which imap4d opens as a
      # Maildir only when told.
      printf '%s\nmailbox { mailbox-type maildir; };\nserver 127.0.0.1:%s { tls-mode stls; };\nserver 127.0.0.1:%s { tls-mode connection; };\n' \
        "$common" "$IMAP_PORT" "$IMAPS_PORT" >"$dir/imap4d.conf"
    fi
  done
}

greeting_ok() { # [PORT GREETING BYE]: the POP3 port answers +OK
  local line port=${1:-$POP3_PORT} ok=${2:-+OK} bye=${3:-QUIT}
  { exec 3<>"/dev/tcp/127.0.0.1/$port"; } 2>/dev/null || return 1
  IFS= read -r -t 2 line <&3 || { exec 3<&-; return 1; }
  printf '%s\r\n' "$bye" >&3 2>/dev/null || true
  exec 3<&- 3>&-
  [[ $line == "$ok"* ]]
}

# Starts DAEMON (pop3d, imap4d) on DIR/DAEMON.conf and waits for its greeting on PORT.
start_daemon() { # DIR DAEMON PORT GREETING BYE
  local dir=$1 daemon=$2
  "$daemon" --config-file="$dir/$daemon.conf" --foreground </dev/null >"$dir/log/$daemon.log" 2>&1 &
  echo $! >"$dir/run/$daemon.pid"
  for _ in $(seq 200); do
    greeting_ok "$3" "$4" "$5" && return 0
    kill -0 "$(cat "$dir/run/$daemon.pid")" 2>/dev/null || die "$daemon exited: $(tail -3 "$dir/log/$daemon.log")"
    sleep 0.05
  done
  die "no $4 greeting on 127.0.0.1:$3 after 10 s; see $dir/log/$daemon.log"
}

cmd_start() {
  local dir=$1; shift
  command -v pop3d >/dev/null || die "pop3d missing (install mailutils-pop3d)"
  mkdir -p "$dir" && dir=$(cd "$dir" && pwd -P)
  stop_by_pidfile "$dir/run/pop3d.pid"
  stop_by_pidfile "$dir/run/imap4d.pid"
  rm -rf "${dir:?}/mail" "$dir/domains" "$dir/run"
  mkdir -p "$dir/run/lock" "$dir/log" "$dir/tls" "$dir/domains" "$dir/mail"
  chmod 755 "$dir" "$dir/mail"; chmod 1777 "$dir/run/lock"
  cp "$here/../tests/data/tls/cert.pem" "$here/../tests/data/tls/key.pem" "$dir/tls/"
  chmod 600 "$dir/tls/key.pem"
  local owner hash user home; owner=$(mail_owner)
  hash=$(openssl passwd -6 "$POP3_PASS")
  : >"$dir/domains/$POP3_DOMAIN"
  for user in "$@"; do
    [[ $user =~ ^[A-Za-z0-9._+-]+$ ]] || die "bad user name '$user'"
    home=$dir/mail/$user
    mkdir -p "$home/Maildir/cur" "$home/Maildir/new" "$home/Maildir/tmp"
    ln -s Maildir "$home/INBOX"
    chown -R "$owner" "$home"
    echo "$user:$hash:${owner%:*}:${owner#*:}::$home:/bin/false" >>"$dir/domains/$POP3_DOMAIN"
  done
  chmod 644 "$dir/domains/$POP3_DOMAIN"
  write_conf "$dir"
  start_daemon "$dir" pop3d "$POP3_PORT" "+OK" QUIT
  echo "mailutils-pop3-server: ready, pop3 127.0.0.1:$POP3_PORT (STLS), pop3s 127.0.0.1:$POP3S_PORT"
  [ -n "$IMAP_PORT" ] || return 0
  if ! command -v imap4d >/dev/null; then
    echo "mailutils-pop3-server: imap4d missing (install mailutils-imap4d): no IMAP"
    return 0
  fi
  start_daemon "$dir" imap4d "$IMAP_PORT" "* OK" "a LOGOUT"
  echo "mailutils-pop3-server: ready, imap 127.0.0.1:$IMAP_PORT (STARTTLS), imaps 127.0.0.1:$IMAPS_PORT"
}

case "${1:-}" in
  start) [ $# -ge 2 ] || die "usage: $0 start DIR USER..."; cmd_start "${@:2}" ;;
  stop) [ $# = 2 ] || die "usage: $0 stop DIR"
    stop_by_pidfile "$2/run/pop3d.pid"; stop_by_pidfile "$2/run/imap4d.pid" ;;
  populate | clear | deliver) exec bash "$here/pop3-server.sh" "$@" ;;
  *) die "usage: $0 start|stop|populate|clear|deliver DIR ..." ;;
esac
