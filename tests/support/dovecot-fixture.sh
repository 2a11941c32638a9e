#!/usr/bin/env bash
# A private Dovecot POP3 and IMAP server on loopback for end-to-end tests and benchmarks.
#
#   dovecot-fixture.sh start <dir> [tls] [oauth2=<url>]
#                                             prints the POP3 port once the server accepts connections;
#                                             with tls POP3 speaks implicit TLS only, with a certificate
#                                             for localhost signed by <dir>/tls/ca.crt; with oauth2 it
#                                             also offers XOAUTH2 and OAUTHBEARER and asks the
#                                             introspection endpoint at <url> (POST) about each token
#   dovecot-fixture.sh deliver <dir> <file>...  drops messages into the mailbox, in argument order
#   dovecot-fixture.sh uidvalidity <dir> <n>  gives the INBOX the UIDVALIDITY n, as a rebuilt server does
#   dovecot-fixture.sh stop <dir>             ends the server and waits until it is gone
#
# IMAP, where dovecot-imapd is installed, is served in both modes with the same
# certificate: <dir>/imap-port holds the port of plain IMAP that offers
# STARTTLS, <dir>/imaps-port that of implicit TLS. Dovecot counts a loopback
# client as secured, so it accepts a sign-in before STARTTLS too; its log line
# says "TLS" only for a session that is encrypted. POP3 never offers STLS.
#
# Everything lives in <dir>: configuration, sockets, state, log and the mailbox.
# The mailbox belongs to user "taro", password "secret".
# Exit status 77 means "cannot run here" (not root, or Dovecot missing): callers skip.
set -euo pipefail

readonly mail_user=tandrel-mail
readonly pop_user=taro
readonly pop_password=secret
readonly here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

die() { echo "dovecot-fixture: $*" >&2; exit 1; }
cannot_run() { echo "dovecot-fixture: $*" >&2; exit 77; }

usage() {
  die "usage: $0 start <dir> [tls] [oauth2=<url>] | stop <dir> | deliver <dir> <file>... | uidvalidity <dir> <n>"
}

(($# >= 2)) || usage
command=$1
dir=$2
shift 2

# The master process must be root to switch the mail and login processes to
# their own users; the mail user cannot be root (Dovecot refuses uid 0).
require_root_and_dovecot() {
  [ "$(id -u)" -eq 0 ] || cannot_run "needs root to run its own Dovecot instance (run the tests as root)"
  command -v dovecot >/dev/null || [ -x /usr/sbin/dovecot ] ||
    cannot_run "Dovecot is not installed (tools/setup.sh installs dovecot-core, dovecot-pop3d and dovecot-imapd)"
  [ -e /usr/lib/dovecot/pop3 ] || cannot_run "dovecot-pop3d is not installed (tools/setup.sh installs it)"
  getent passwd dovenull >/dev/null || cannot_run "the user dovenull of the Dovecot package is missing"
}

ensure_mail_user() {
  getent passwd "$mail_user" >/dev/null && return
  # Two fixtures starting at once may race to create the user; the loser finds it there.
  useradd -r -M -d /nonexistent -s /usr/sbin/nologin "$mail_user" 2>/dev/null ||
    getent passwd "$mail_user" >/dev/null || die "cannot create the mail user $mail_user"
}

# The operating system picks ports that are free right now, one a line; all
# are held until the last is picked, so no two are the same.
free_ports() {
  python3 -c 'import socket, sys
held = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in held:
    s.bind(("127.0.0.1", 0))
print("\n".join(str(s.getsockname()[1]) for s in held))' "$1"
}

serves_imap() { [ -e /usr/lib/dovecot/imap ]; }

master_pid() {
  local file="$dir/run/master.pid"
  [ -s "$file" ] && cat "$file"
}

# The listeners and TLS settings: POP3 plain only, or implicit TLS only.
listener_config() {
  local port=$1 transport=$2
  if [ "$transport" = tls ]; then
    cat <<EOF
ssl = required
ssl_cert = <$dir/tls/localhost.crt
ssl_key = <$dir/tls/localhost.key
service pop3-login {
  inet_listener pop3 {
    port = 0
  }
  inet_listener pop3s {
    address = 127.0.0.1
    port = $port
    ssl = yes
  }
}
EOF
  elif serves_imap; then
    # IMAP needs TLS; POP3 stays as it was without it, STLS unoffered.
    cat <<EOF
ssl = yes
ssl_cert = <$dir/tls/localhost.crt
ssl_key = <$dir/tls/localhost.key
protocol pop3 {
  ssl = no
}
EOF
  else
    echo "ssl = no"
  fi
  if [ "$transport" != tls ]; then
    cat <<EOF
service pop3-login {
  inet_listener pop3 {
    address = 127.0.0.1
    port = $port
  }
  inet_listener pop3s {
    port = 0
  }
}
EOF
  fi
}

# STARTTLS on one port, TLS from the first byte on the other.
imap_config() {
  local imap_port=$1 imaps_port=$2
  [ -n "$imap_port" ] || return 0
  cat <<EOF
service imap-login {
  inet_listener imap {
    address = 127.0.0.1
    port = $imap_port
  }
  inet_listener imaps {
    address = 127.0.0.1
    port = $imaps_port
    ssl = yes
  }
}
# IDLE learns of a delivery into the Maildir through inotify, which Dovecot
# gathers for half a second; should inotify run out, it looks every second
# instead of every 30.
mailbox_idle_check_interval = 1 secs
EOF
}

# Token sign-in beside the passwords: the token goes to the introspection
# endpoint, whose "username" must name the user the client signs in as.
oauth2_config() {
  local url=$1
  [ -n "$url" ] || return 0
  cat >"$dir/dovecot-oauth2.conf.ext" <<EOF
introspection_mode = post
introspection_url = $url
username_attribute = username
active_attribute = active
active_value = true
EOF
  cat <<EOF
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $dir/dovecot-oauth2.conf.ext
}
EOF
}

write_config() {
  local port=$1 transport=$2 oauth2_url=$3 imap_port=$4 imaps_port=$5 uid gid
  uid=$(id -u "$mail_user")
  gid=$(id -g "$mail_user")
  cat >"$dir/dovecot.conf" <<EOF
base_dir = $dir/run
state_dir = $dir/state
log_path = $dir/dovecot.log
info_log_path = $dir/dovecot.log
instance_name = tandrel-$port
protocols = pop3${imap_port:+ imap}
listen = 127.0.0.1
disable_plaintext_auth = no
auth_mechanisms = plain login${oauth2_url:+ xoauth2 oauthbearer}
# Addresses with a "+" tag, as providers' users have them.
auth_username_chars = abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ01234567890.-_@+
# Tests of refused logins should not wait out the brute-force delay.
auth_failure_delay = 0
mail_location = maildir:~/Maildir
pop3_uidl_format = %08Xu%08Xv
first_valid_uid = $uid
last_valid_uid = $uid
passdb {
  driver = passwd-file
  mechanisms = plain login
  args = scheme=PLAIN username_format=%u $dir/passwd
}
$(oauth2_config "$oauth2_url")
# doveadm asks the userdb alone, which the passdb's mechanisms would refuse.
userdb {
  driver = static
  args = uid=$uid gid=$gid home=$dir/home allow_all_users=yes
}
# Nor the growing penalty that the login processes give an address after failures.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
$(listener_config "$port" "$transport")
$(imap_config "$imap_port" "$imaps_port")
EOF
}

accepts_connections() {
  (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null
}

start() {
  local transport=plain oauth2_url=
  for option; do
    case "$option" in
      plain | tls) transport=$option ;;
      oauth2=*) oauth2_url=${option#oauth2=} ;;
      *) usage ;;
    esac
  done
  require_root_and_dovecot
  ensure_mail_user
  [ -z "$(master_pid 2>/dev/null || true)" ] || die "$dir already holds a running server"
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  # The unprivileged login and mail processes must reach their sockets and the mailbox.
  chmod 755 "$dir"
  mkdir -p "$dir/run" "$dir/state" "$dir/home/Maildir/new" "$dir/home/Maildir/cur" "$dir/home/Maildir/tmp"
  chmod 755 "$dir/run" "$dir/state"
  chown -R "$mail_user:" "$dir/home"
  printf '%s:{PLAIN}%s\n' "$pop_user" "$pop_password" >"$dir/passwd"
  chmod 644 "$dir/passwd"

  if [ "$transport" = tls ] || serves_imap; then
    command -v openssl >/dev/null || cannot_run "openssl is not installed (tools/setup.sh installs it)"
    bash "$here/make-test-certificates.sh" "$dir/tls" >/dev/null
  fi

  local port imap_port= imaps_port=
  if serves_imap; then
    { read -r port; read -r imap_port; read -r imaps_port; } < <(free_ports 3)
  else
    port=$(free_ports 1)
  fi
  write_config "$port" "$transport" "$oauth2_url" "$imap_port" "$imaps_port"
  echo "$port" >"$dir/port"
  echo "$imap_port" >"$dir/imap-port"
  echo "$imaps_port" >"$dir/imaps-port"
  /usr/sbin/dovecot -c "$dir/dovecot.conf" || { cat "$dir/dovecot.log" >&2 2>/dev/null; die "Dovecot did not start"; }

  # Polls with a generous limit: a loaded CI machine may take seconds to fork the login processes.
  local tries=0
  until accepts_connections "$port" &&
    { [ -z "$imap_port" ] || { accepts_connections "$imap_port" && accepts_connections "$imaps_port"; }; }; do
    if ((++tries > 600)); then
      cat "$dir/dovecot.log" >&2 2>/dev/null || true
      stop_server
      die "Dovecot does not accept connections on port $port${imap_port:+, $imap_port or $imaps_port}"
    fi
    sleep 0.05
  done
  echo "$port"
}

stop_server() {
  local pid
  pid=$(master_pid 2>/dev/null) || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  local tries=0
  while kill -0 "$pid" 2>/dev/null; do
    if ((++tries > 600)); then
      kill -KILL "$pid" 2>/dev/null || true
      break
    fi
    sleep 0.05
  done
}

stop() {
  [ -d "$dir" ] || return 0
  stop_server
  rm -f "$dir/run/master.pid"
}

# Maildir delivery: write into tmp/, then rename into new/ under a name that
# sorts after every earlier delivery, so the server numbers messages in
# delivery order.
deliver() {
  (($# >= 1)) || usage
  [ -d "$dir/home/Maildir/new" ] || die "$dir holds no mailbox; run start first"
  # One process for the whole batch: a benchmark delivers thousands of messages.
  python3 - "$dir" "$mail_user" "$@" <<'PY'
import os, pwd, shutil, sys
folder, user, files = sys.argv[1], sys.argv[2], sys.argv[3:]
account = pwd.getpwnam(user)
maildir = os.path.join(folder, "home", "Maildir")
counter_file = os.path.join(folder, "delivered")
count = int(open(counter_file).read()) if os.path.exists(counter_file) else 0
for source in files:
    count += 1
    name = "%010d.M%06dP%d.tandrel" % (count, count, os.getpid())
    staged = os.path.join(maildir, "tmp", name)
    shutil.copyfile(source, staged)
    os.chown(staged, account.pw_uid, account.pw_gid)
    os.rename(staged, os.path.join(maildir, "new", name))
with open(counter_file, "w") as out:
    out.write("%d\n" % count)
PY
}

# The number must differ from the current one for clients to notice.
set_uidvalidity() {
  (($# == 1)) || usage
  [ -s "$dir/run/master.pid" ] || die "$dir holds no running server; run start first"
  doveadm -c "$dir/dovecot.conf" mailbox update -u "$pop_user" --uid-validity "$1" INBOX
}

case "$command" in
  start) start "$@" ;;
  uidvalidity) set_uidvalidity "$@" ;;
  stop) stop ;;
  deliver) deliver "$@" ;;
  *) usage ;;
esac
