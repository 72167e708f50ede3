#!/usr/bin/env bash
# popa3d-server.sh - a private, loopback-only popa3d instance, a second kind
# of real POP3 peer for the integration tests (no CAPA, no STLS, mbox spool).
#
#   popa3d-server.sh start DIR PORT USER PASSWORD   unpack (first time), start, wait for +OK
#   popa3d-server.sh stop  DIR                      stop it (by the PID in DIR/run/popa3d.pid)
#   popa3d-server.sh adduser DIR USER PASSWORD      add (or replace) a user while it runs
#   popa3d-server.sh deliver DIR USER FILE...       append message files to USER's mbox
#   popa3d-server.sh clear DIR USER                 empty USER's mbox
#   popa3d-server.sh populate DIR USER N [SIZE]     append N generated messages of about
#                                                   SIZE bytes (pop3-server.sh's generator)
#
# The package conflicts with dovecot-pop3d, so it is never installed: the .deb
# is fetched with `apt-get download` (package lists only) and unpacked into
# DIR/root. popa3d insists on the system's files: PAM service "popa3d", the
# user in /etc/passwd + /etc/shadow, an unprivileged "popa3d" user with the
# empty chroot /var/lib/popa3d, and mailboxes in /var/mail/USER. It runs in a
# private mount namespace (unshare -m) where copies under DIR are bound over
# /etc/passwd, /etc/shadow, /etc/group and /etc/pam.d, DIR/mail over /var/mail
# and an overlay over /var/lib; the machine's own files are never changed.
# Its standalone mode only listens on port 110 of every interface, so its
# inetd mode (one session on stdin/stdout) runs behind systemd-socket-activate
# on 127.0.0.1:PORT. Needs root (namespaces, PAM reading shadow).
#
# Keep mailboxes small: every command's answer is a few small writes that
# meet delayed ACKs, so a pass takes seconds even on a handful of messages.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=lib/pidfile.sh
source "$here/lib/pidfile.sh"

die() { echo "popa3d-server: $*" >&2; exit 1; }
usage() { die "usage: $0 start DIR PORT USER PASSWORD | stop DIR | adduser DIR USER PASSWORD | deliver DIR USER FILE... | clear DIR USER | populate DIR USER N [SIZE]"; }

# Unused ids for the private users; they only exist inside the namespace.
readonly daemon_uid=64100 first_test_uid=64101

unpack() { # DIR: the package tree in DIR/root
  local dir=$1 debs
  [[ -x $dir/root/usr/sbin/popa3d ]] && return 0
  mkdir -p "$dir/deb"
  (cd "$dir/deb" && apt-get download popa3d >/dev/null 2>&1) || die "apt-get download popa3d failed"
  debs=("$dir"/deb/popa3d_*.deb)
  dpkg -x "${debs[0]}" "$dir/root"
}

write_system_files() { # DIR: copies of the system's files, without test users
  local dir=$1 file
  mkdir -p "$dir/etc" "$dir/mail" "$dir/varlib/up" "$dir/varlib/work" "$dir/run"
  for file in passwd shadow group; do
    grep -v '^popa3d:' "/etc/$file" >"$dir/etc/$file"
  done
  printf 'popa3d:x:%d:%d::/nonexistent:/usr/sbin/nologin\n' $daemon_uid $daemon_uid >>"$dir/etc/passwd"
  printf 'popa3d:*:20000:0:99999:7:::\n' >>"$dir/etc/shadow"
  printf 'popa3d:x:%d:\n' $daemon_uid >>"$dir/etc/group"
  chmod 644 "$dir/etc/passwd" "$dir/etc/group"
  chmod 640 "$dir/etc/shadow"
  : >"$dir/etc/test-users"
  rm -rf "$dir/etc/pam.d"
  cp -a /etc/pam.d "$dir/etc/pam.d"
  cp "$dir/root/etc/pam.d/popa3d" "$dir/etc/pam.d/popa3d"
  chmod 1777 "$dir/mail"
}

# Rewrites FILE in place without the entry of NAME: the running namespace has
# the file's inode bound over the system's, so it must never be replaced.
drop_entry() { # FILE NAME
  local kept
  kept=$(grep -v "^$2:" "$1" || true)
  printf '%s\n' "$kept" >"$1"
}

do_adduser() { # DIR USER PASSWORD: add or replace a user, its mailbox kept
  [[ $# -eq 3 ]] || usage
  local dir=$1 user=$2 pass=$3 hash uid file
  [[ $user =~ ^[a-z_][a-z0-9_-]*$ && $user != popa3d ]] || die "bad user name '$user'"
  [[ -f $dir/etc/test-users ]] || die "no instance in $dir (start first)"
  hash=$(openssl passwd -6 "$pass")
  uid=$(grep -n -x -F "$user" "$dir/etc/test-users" | cut -d: -f1 || true)
  if [[ -z $uid ]]; then
    echo "$user" >>"$dir/etc/test-users"
    uid=$(wc -l <"$dir/etc/test-users")
  fi
  uid=$((first_test_uid + uid - 1))
  for file in passwd shadow group; do drop_entry "$dir/etc/$file" "$user"; done
  printf '%s:x:%d:%d::/nonexistent:/usr/sbin/nologin\n' "$user" "$uid" "$uid" >>"$dir/etc/passwd"
  printf '%s:%s:20000:0:99999:7:::\n' "$user" "$hash" >>"$dir/etc/shadow"
  printf '%s:x:%d:\n' "$user" "$uid" >>"$dir/etc/group"
  touch "$dir/mail/$user"
  chown "$uid:$uid" "$dir/mail/$user"
  chmod 600 "$dir/mail/$user"
}

do_start() { # DIR PORT USER PASSWORD
  [[ $# -eq 4 ]] || usage
  [[ $(id -u) -eq 0 ]] || die "needs root (mount namespace, shadow)"
  command -v systemd-socket-activate >/dev/null || die "systemd-socket-activate missing (package systemd)"
  local dir port=$2 user=$3 pass=$4
  dir=$(mkdir -p "$1" && cd "$1" && pwd -P)
  stop_by_pidfile "$dir/run/popa3d.pid"
  unpack "$dir"
  write_system_files "$dir"
  do_adduser "$dir" "$user" "$pass"
  # The namespace lives as long as the activator; every session it forks runs
  # inside it and sees only the private files.
  # shellcheck disable=SC2016 # expanded by the inner shell
  setsid unshare -m --propagation private bash -c '
    set -e
    dir=$1 port=$2
    mount --bind "$dir/etc/passwd" /etc/passwd
    mount --bind "$dir/etc/shadow" /etc/shadow
    mount --bind "$dir/etc/group" /etc/group
    mount --bind "$dir/etc/pam.d" /etc/pam.d
    mount --bind "$dir/mail" /var/mail
    mount -t overlay overlay -o "lowerdir=/var/lib,upperdir=$dir/varlib/up,workdir=$dir/varlib/work" /var/lib
    mkdir -p -m 755 /var/lib/popa3d
    exec systemd-socket-activate --inetd -a -l "127.0.0.1:$port" "$dir/root/usr/sbin/popa3d"
  ' popa3d-ns "$dir" "$port" </dev/null >"$dir/run/activator.log" 2>&1 &
  echo $! >"$dir/run/popa3d.pid"
  for _ in $(seq 50); do
    if greeting=$(timeout 2 bash -c "exec 3<>/dev/tcp/127.0.0.1/$port && head -c 3 <&3" 2>/dev/null) &&
      [[ $greeting == "+OK" ]] && grep -q "^Listening on" "$dir/run/activator.log"; then
      return 0
    fi
    kill -0 "$(cat "$dir/run/popa3d.pid")" 2>/dev/null || break
    sleep 0.1
  done
  cat "$dir/run/activator.log" >&2
  stop_by_pidfile "$dir/run/popa3d.pid"
  die "no greeting on 127.0.0.1:$port"
}

do_deliver() { # DIR USER FILE...: mbox From_ lines, From-quoting, LF line ends
  [[ $# -ge 3 ]] || usage
  local dir=$1 user=$2 file box
  shift 2
  box=$dir/mail/$user
  [[ -f $box ]] || die "no mailbox $box (start first)"
  for file in "$@"; do
    {
      printf 'From brindlecast-test %s\n' "$(LC_ALL=C date -u '+%a %b %e %H:%M:%S %Y')"
      sed -e 's/\r$//' -e 's/^\(>*From \)/>\1/' "$file"
      [[ -z $(tail -c1 "$file") ]] || printf '\n'
      printf '\n'
    } >>"$box"
  done
}

do_populate() { # DIR USER N [SIZE]: the same messages pop3-server.sh makes
  [[ $# -eq 3 || $# -eq 4 ]] || usage
  local dir=$1 user=$2 gen files
  gen=$(mktemp -d "$dir/gen.XXXXXX")
  bash "$here/pop3-server.sh" populate "$gen" "$user" "$3" "${4:-2000}" >/dev/null
  # Generated in message order; the names sort in that order.
  mapfile -t files < <(find "$gen/mail/$user/Maildir/cur" -type f | sort)
  ((${#files[@]} == 0)) || do_deliver "$dir" "$user" "${files[@]}"
  rm -rf "$gen"
}

do_clear() { # DIR USER
  [[ $# -eq 2 ]] || usage
  : >"$1/mail/$2"
}

case ${1:-} in
  start) shift; do_start "$@" ;;
  stop) [[ $# -eq 2 ]] || usage; stop_by_pidfile "$2/run/popa3d.pid" ;;
  adduser) shift; do_adduser "$@" ;;
  deliver) shift; do_deliver "$@" ;;
  clear) shift; do_clear "$@" ;;
  populate) shift; do_populate "$@" ;;
  *) usage ;;
esac
