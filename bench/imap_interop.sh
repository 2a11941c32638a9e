#!/usr/bin/env bash
# The program's IMAP check and push against four servers from Debian, each a
# private instance on loopback that this script starts and ends itself:
# Dovecot, Cyrus, Courier-IMAP and GNU Mailutils' imap4d. One row a server:
#
#   first      STATUS of a first check of a mailbox with two unseen messages
#              and one seen one
#   unchanged  STATUS of a check with nothing new
#   +1         STATUS of a check after one delivery
#   push       a delivery while the account idles: the time to its arrival row,
#              or "timed" when the server did not tell and only the next timed
#              check found it (that check's STATUS follows)
#   flags      whether FLAGS of every message, read by a client of its own
#              before and after, are the same
#   sign-ins   the connections the program opened over all of it
#
#   bench/imap_interop.sh [build-dir] [servers] [tls|starttls]
#                         (defaults: build "dovecot cyrus courier mailutils" tls)
#
# With tls the account speaks TLS from the first byte (as on 993), with
# starttls it is sent STARTTLS on the plain port; either way the servers show
# the test authority's certificate (tests/support/make-test-certificates.sh),
# which the benchmark trusts as the tests do. Courier is started with
# IMAP_ENHANCEDIDLE=1, without which it looks at the mailbox during IDLE only
# every 60 s. Cyrus and Courier conflict in Debian with dovecot-imapd, which the
# tests need, so their server packages are unpacked into the run's folder
# instead of installed; the libraries and tools they use are installed as
# usual. Courier's authentication daemon reads its settings from /etc/courier
# only, so Courier runs in a mount namespace of its own that lays the run's
# folder over /etc/courier and /run/courier. Cyrus needs the system user
# "cyrus", which its package would add too.
#
# Needs root. Installs what it needs with apt-get. Not part of tools/test.sh.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
self="$root/bench/imap_interop.sh"

# The benchmark calls back here to deliver one message: --deliver <server> <dir> <subject>.
if [ "${1:-}" = --deliver ]; then
  server=$2 dir=$3 subject=$4
  # shellcheck source=/dev/null
  . "$dir/$server.env"
else
  build="$(cd "${1:-$root/build}" && pwd)"
  servers="${2:-dovecot cyrus courier mailutils}"
  transport="${3:-tls}"
  program="$build/bench/bench_imap_push"
  [ -x "$program" ] || { echo "missing $program: build the project first" >&2; exit 1; }
  [ "$(id -u)" -eq 0 ] || { echo "needs root: the servers switch users" >&2; exit 1; }
fi

readonly fixture="$root/tests/support/dovecot-fixture.sh"
readonly mail_user=tandrel-mail
readonly password=secret

# A message with this subject, dated now, with the line ends of a file.
message() {
  printf 'From: Hanako <hanako@example.jp>\nTo: taro@example.jp\nSubject: %s\nDate: %s\nMessage-ID: <%s.%s@example.jp>\n\nbody\n' \
    "$1" "$(date -R)" "$(date +%s%N)" "$RANDOM"
}

# A second client: FLAGS of every message in INBOX (read-only, \Recent left
# out), or an APPEND of a file, seen or not.
client() {
  python3 - "$@" <<'PY'
import imaplib, ssl, sys
what, port, ca, user = sys.argv[1:5]
context = ssl.create_default_context(cafile=ca)
imap = imaplib.IMAP4_SSL("localhost", int(port), ssl_context=context)
imap.login(user, "secret")
if what == "flags":
    imap.select("INBOX", readonly=True)
    typ, data = imap.fetch("1:*", "(FLAGS)")
    for line in data:
        if line:
            print(line.decode().replace("\\Recent", "").replace("( ", "(").replace(" )", ")"))
else:
    flags = "(\\Seen)" if sys.argv[6] == "seen" else None
    with open(sys.argv[5], "rb") as source:
        typ, data = imap.append("INBOX", flags, None, source.read().replace(b"\n", b"\r\n"))
    if typ != "OK":
        sys.exit("APPEND: %s %s" % (typ, data))
imap.logout()
PY
}

free_ports() {
  python3 -c 'import socket, sys
held = [socket.socket() for _ in range(int(sys.argv[1]))]
for s in held:
    s.bind(("127.0.0.1", 0))
print(" ".join(str(s.getsockname()[1]) for s in held))' "$1"
}

accepts_connections() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

wait_for_port() {
  local tries=0
  until accepts_connections "$1"; do
    ((++tries < 200)) || return 1
    sleep 0.05
  done
}

# Starts a server's command in a session of its own and, once both ports take
# connections, writes <name>.env.
launch() {
  local name=$1 tls_port=$2 starttls_port=$3 user=$4
  shift 4
  setsid "$@" >"$dir/$name/log" 2>&1 &
  echo $! >"$dir/$name/group"
  wait_for_port "$tls_port" && wait_for_port "$starttls_port" || { cat "$dir/$name/log" >&2; return 1; }
  printf 'tls_port=%s\nstarttls_port=%s\nuser=%s\nca=%s\n' "$tls_port" "$starttls_port" "$user" \
    "$dir/tls/ca.crt" >"$dir/$name.env"
}

# Each server: <name>_start writes <dir>/<name>.env (tls_port, starttls_port,
# user, and ca, the authority of its certificate); <name>_deliver <subject> [seen] delivers.

dovecot_start() {
  "$fixture" start "$dir/dovecot" >/dev/null
  cat >"$dir/dovecot.env" <<EOF
tls_port=$(cat "$dir/dovecot/imaps-port")
starttls_port=$(cat "$dir/dovecot/imap-port")
user=taro
ca=$dir/dovecot/tls/ca.crt
EOF
}

dovecot_deliver() {
  local file
  file="$(mktemp "$dir/message-XXXXXX")"
  message "$1" >"$file"
  if [ "${2:-}" = seen ]; then
    local name
    name="$(date +%s).M$RANDOM.seen:2,S"
    install -o "$mail_user" -m 600 "$file" "$dir/dovecot/home/Maildir/cur/$name"
  else
    "$fixture" deliver "$dir/dovecot" "$file"
  fi
  rm -f "$file"
}

mailutils_start() {
  local ports tls_port starttls_port uid gid home="$dir/mailutils/home"
  ports="$(free_ports 2)"
  read -r tls_port starttls_port <<<"$ports"
  uid="$(id -u "$mail_user")" gid="$(id -g "$mail_user")"
  mkdir -p "$dir/mailutils/domains" "$home"
  # A virtual domain: the user signs in as taro@localhost, and INBOX is the
  # mbox "INBOX" in the home named here.
  printf 'taro:%s:%s:%s::%s:/bin/sh\n' "$(openssl passwd -6 "$password")" "$uid" "$gid" "$home" \
    >"$dir/mailutils/domains/localhost"
  install -o "$mail_user" -g mail -m 660 /dev/null "$home/INBOX"
  chown "$mail_user" "$home"
  local tls="tls { ssl-certificate-file \"$dir/tls/localhost.crt\"; ssl-key-file \"$dir/tls/localhost.key\"; };"
  cat >"$dir/mailutils/imap4d.conf" <<EOF
auth { authorization virtdomain; authentication generic; };
virtdomain { passwd-dir "$dir/mailutils/domains"; };
pidfile "$dir/mailutils/imap4d.pid";
mode daemon;
foreground yes;
logging { syslog no; };
server 127.0.0.1:$tls_port { tls-mode connection; $tls };
server 127.0.0.1:$starttls_port { tls-mode stls; $tls };
EOF
  launch mailutils "$tls_port" "$starttls_port" taro@localhost imap4d --config-file="$dir/mailutils/imap4d.conf"
}

# As a local delivery agent appends to an mbox: a "From " line with the
# time of arrival (which imap4d gives as INTERNALDATE), and no X-UID, which
# only imap4d writes.
mailutils_deliver() {
  {
    printf 'From hanako@example.jp %s\n' "$(LC_ALL=C date -u '+%a %b %e %H:%M:%S %Y')"
    [ "${2:-}" != seen ] || printf 'Status: RO\n'
    message "$1" | sed 's/^From />From /'
    printf '\n'
  } >>"$dir/mailutils/home/INBOX"
}

# Cyrus and Courier go into the run's folder: their Debian packages conflict
# with dovecot-imapd. What they need besides is installed as usual.
unpacked() {
  local package=$1
  if [ ! -d "$dir/packages/$package" ]; then
    mkdir -p "$dir/packages/$package"
    (cd "$dir/packages" && apt-get download -q "$package" >/dev/null 2>&1 && dpkg-deb -x "$package"_*.deb "$package") ||
      { echo "cannot fetch the package $package" >&2; return 1; }
  fi
  echo "$dir/packages/$package"
}

install_packages() {
  local wanted=(openssl python3 procps) missing=()
  for name in $servers; do
    case "$name" in
      mailutils) wanted+=(mailutils-imap4d) ;;
      courier) wanted+=(courier-base courier-authdaemon courier-authlib-userdb gamin) ;;
      cyrus) wanted+=(sasl2-bin libsasl2-modules-db libical3 libxapian30) ;;
    esac
  done
  for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
  done
  if ((${#missing[@]})); then
    echo "installing ${missing[*]}"
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# Cyrus runs as "cyrus", and finds the program of each service where
# cyrus.conf names it.
cyrus_start() {
  local ports tls_port starttls_port cyrus_dir="$dir/cyrus" programs libraries
  getent passwd cyrus >/dev/null || useradd -r -M -d /nonexistent -s /usr/sbin/nologin -g mail cyrus
  programs="$(unpacked cyrus-common)/usr/lib/cyrus/bin"
  unpacked cyrus-imapd >/dev/null
  cp -a "$dir/packages/cyrus-imapd/usr/lib/cyrus/bin/." "$programs/"
  libraries="$dir/packages/cyrus-common/usr/lib/x86_64-linux-gnu"
  ports="$(free_ports 2)"
  read -r tls_port starttls_port <<<"$ports"
  # idled and each imapd meet in config/socket.
  mkdir -p "$cyrus_dir/config/socket" "$cyrus_dir/spool"
  install -m 644 "$dir/tls/localhost.crt" "$cyrus_dir/tls.crt"
  install -m 600 "$dir/tls/localhost.key" "$cyrus_dir/tls.key"
  local config="$cyrus_dir/imapd.conf"
  cat >"$config" <<EOF
configdirectory: $cyrus_dir/config
partition-default: $cyrus_dir/spool
servername: localhost
sasl_pwcheck_method: auxprop
sasl_auxprop_plugin: sasldb
sasl_sasldb_path: $cyrus_dir/sasldb2
sasl_mech_list: PLAIN LOGIN
allowplaintext: yes
tls_server_cert: $cyrus_dir/tls.crt
tls_server_key: $cyrus_dir/tls.key
autocreate_quota: 0
unixhierarchysep: yes
EOF
  cat >"$cyrus_dir/cyrus.conf" <<EOF
START {
  recover cmd="$programs/ctl_cyrusdb -C $config -r"
}
SERVICES {
  imap cmd="$programs/imapd -C $config" listen="127.0.0.1:$starttls_port" prefork=0
  imaps cmd="$programs/imapd -C $config -s" listen="127.0.0.1:$tls_port" prefork=0
}
DAEMON {
  idled cmd="$programs/idled -C $config"
}
EOF
  echo "$password" | saslpasswd2 -p -c -f "$cyrus_dir/sasldb2" -u localhost taro
  chown -R cyrus:mail "$cyrus_dir"
  launch cyrus "$tls_port" "$starttls_port" taro env LD_LIBRARY_PATH="$libraries" "$programs/master" \
    -C "$config" -M "$cyrus_dir/cyrus.conf" -p "$cyrus_dir/master.pid" -D
}

# Cyrus keeps a mail store of its own; a message comes in through IMAP APPEND.
cyrus_deliver() {
  message "$1" >"$dir/cyrus/message"
  client append "$tls_port" "$ca" "$user" "$dir/cyrus/message" "${2:-unseen}"
}

# Courier's authentication daemon knows only /etc/courier and
# /run/courier/authdaemon, so Courier runs in a mount namespace of its own in
# which the run's folder lies over both.
courier_start() {
  local ports tls_port starttls_port courier_dir="$dir/courier" server home="$dir/courier/home"
  server="$(unpacked courier-imap)"
  ports="$(free_ports 2)"
  read -r tls_port starttls_port <<<"$ports"
  mkdir -p "$courier_dir/etc" "$courier_dir/run/authdaemon" "$home/Maildir/new" "$home/Maildir/cur" \
    "$home/Maildir/tmp"
  chown -R "$mail_user:" "$home"
  # The TLS of STARTTLS runs as the user "courier" of the package.
  cat "$dir/tls/localhost.key" "$dir/tls/localhost.crt" >"$courier_dir/imapd.pem"
  install -o courier -m 600 "$courier_dir/imapd.pem" /etc/courier/dhparams.pem "$courier_dir/etc/"
  cat >"$courier_dir/etc/authdaemonrc" <<EOF
authmodulelist="authuserdb"
daemons=1
authdaemonvar=/run/courier/authdaemon
EOF
  printf 'taro\tuid=%s|gid=%s|home=%s|mail=%s|systempw=%s\n' "$(id -u "$mail_user")" "$(id -g "$mail_user")" \
    "$home" "$home/Maildir" "$(openssl passwd -1 "$password")" >"$courier_dir/etc/userdb"
  chmod 600 "$courier_dir/etc/userdb"
  # Without IMAP_ENHANCEDIDLE Courier looks at the mailbox during IDLE only every 60 s.
  cat >"$courier_dir/etc/imapd" <<EOF
IMAP_CAPABILITY="IMAP4rev1 UIDPLUS CHILDREN NAMESPACE IDLE"
IMAP_CAPABILITY_TLS="IMAP4rev1 UIDPLUS CHILDREN NAMESPACE IDLE AUTH=PLAIN"
IMAP_ENHANCEDIDLE=1
IMAP_IDLE_TIMEOUT=60
IMAP_STARTTLS=YES
IMAP_TLS_REQUIRED=0
COURIERTLS=/usr/bin/couriertls
TLS_CERTFILE=/etc/courier/imapd.pem
TLS_DHPARAMS=/etc/courier/dhparams.pem
PATH=/usr/bin:/bin
EOF
  local login="$server/usr/lib/courier/courier/imaplogin" imapd="$server/usr/bin/imapd"
  # shellcheck disable=SC2016 # expanded by the shell in the namespace
  {
    printf 'mount --bind "%s" /etc/courier && mount --bind "%s" /run/courier && makeuserdb || exit 1\n' \
      "$courier_dir/etc" "$courier_dir/run"
    printf '/usr/lib/courier/courier-authlib/authdaemond &\n'
    printf 'tcpd() { env -i bash -c '\''set -a; . /etc/courier/imapd; exec /usr/sbin/couriertcpd -address=127.0.0.1 -nodnslookup -noidentlookup "$@"'\'' tcpd "$@" & }\n'
    printf 'tcpd %s /usr/bin/couriertls -server -tcpd "%s" "%s" Maildir\n' "$tls_port" "$login" "$imapd"
    printf 'tcpd %s "%s" "%s" Maildir\n' "$starttls_port" "$login" "$imapd"
    printf 'wait\n'
  } >"$courier_dir/run.sh"
  launch courier "$tls_port" "$starttls_port" taro unshare -m --propagation private bash "$courier_dir/run.sh"
}

# Maildir delivery, as Courier's own agents do it; a message already read lies
# in cur/ with the flag S.
courier_deliver() {
  local maildir="$dir/courier/home/Maildir" name
  name="$(date +%s).M$(date +%N)P$$.tandrel"
  message "$1" >"$maildir/tmp/$name"
  chown "$mail_user:" "$maildir/tmp/$name"
  if [ "${2:-}" = seen ]; then
    mv "$maildir/tmp/$name" "$maildir/cur/$name:2,S"
  else
    mv "$maildir/tmp/$name" "$maildir/new/$name"
  fi
}

# Ends every process of the session that the file names (couriertcpd puts
# itself into a process group of its own).
stop_session() {
  local file=$1 session
  [ -s "$file" ] || return 0
  session="$(cat "$file")"
  pkill -TERM -s "$session" 2>/dev/null || true
  local tries=0
  while pgrep -s "$session" >/dev/null && ((++tries < 100)); do sleep 0.05; done
  pkill -KILL -s "$session" 2>/dev/null || true
  rm -f "$file"
}

stop_server() {
  if [ "$1" = dovecot ]; then
    "$fixture" stop "$dir/dovecot" >/dev/null 2>&1 || true
  else
    stop_session "$dir/$1/group"
  fi
}

cleanup() {
  for name in $servers; do stop_server "$name"; done
  stop_session "$dir/proxy.group"
  rm -rf "$dir"
}

if [ "${1:-}" = --deliver ]; then
  "${server}_deliver" "$subject"
  exit
fi

dir="$(mktemp -d /tmp/tandrel-interop-XXXXXX)"
chmod 755 "$dir"
trap cleanup EXIT
install_packages
bash "$root/tests/support/make-test-certificates.sh" "$dir/tls" >/dev/null
export QT_QPA_PLATFORM=offscreen

# Tab-separated rows, lined up at the end (the STATUS texts are wider than their bytes say).
table="$dir/table"
printf 'server\ttransport\tfirst\tunchanged\t+1\tpush\tnew session\tflags\tsign-ins\n' >"$table"
for name in $servers; do
  mkdir -p "$dir/$name"
  echo "$name ..." >&2
  if ! "${name}_start" >"$dir/$name/start.log" 2>&1; then
    printf '%s\tcould not run: %s\n' "$name" "$(tail -n 3 "$dir/$name/start.log" | tr '\n\t' '  ')" >>"$table"
    continue
  fi
  # shellcheck source=/dev/null
  . "$dir/$name.env"
  port=$tls_port
  [ "$transport" = tls ] || port=$starttls_port
  "${name}_deliver" "old, read" seen
  "${name}_deliver" "old 1"
  "${name}_deliver" "old 2"
  client flags "$tls_port" "$ca" "$user" >"$dir/$name/flags-before"

  # The connections are counted by a proxy on the way.
  rm -f "$dir/$name/connections" "$dir/proxy.port"
  setsid python3 "$root/bench/delay_proxy.py" --target "127.0.0.1:$port" --delay-ms 0 \
    --port-file "$dir/proxy.port" --count-file "$dir/$name/connections" >/dev/null &
  echo $! >"$dir/proxy.group"
  until [ -s "$dir/proxy.port" ]; do sleep 0.05; done

  row="$("$program" --server "$(cat "$dir/proxy.port")" "$ca" "$user" "$password" "$transport" \
    "\"$self\" --deliver $name \"$dir\" \"\$1\"" 2>"$dir/$name/bench.log" | tail -n 1)"
  stop_session "$dir/proxy.group"
  client flags "$tls_port" "$ca" "$user" >"$dir/$name/flags-after"
  stop_server "$name"

  # The messages there before keep their flags; the three delivered meanwhile have none.
  before=$(wc -l <"$dir/$name/flags-before")
  { cat "$dir/$name/flags-before"; printf '%d (FLAGS ())\n' $((before + 1)) $((before + 2)) $((before + 3)); } \
    >"$dir/$name/flags-expected"
  flags=untouched
  if ! cmp -s "$dir/$name/flags-expected" "$dir/$name/flags-after"; then
    flags=changed
    diff "$dir/$name/flags-expected" "$dir/$name/flags-after" | sed "s/^/  $name: /" >&2 || true
  fi
  IFS=$'\t' read -r first unchanged plus_one push new_session announced <<<"$row" || true
  printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$name" "$transport" "${first:-?}" "${unchanged:-?}" \
    "${plus_one:-?}" "${push:-?}" "${new_session:-?}" "$flags" "$(cat "$dir/$name/connections" 2>/dev/null || echo 0)" \
    >>"$table"
  # Each message announced once, whatever the order.
  [ "$(tr '|' '\n' <<<"${announced:-}" | sort | paste -sd'|')" = "interop +1|interop new session|interop push|old 1|old 2" ] ||
    echo "  $name announced: ${announced:-nothing}; the benchmark said: $row $(tail -n 2 "$dir/$name/bench.log")" >&2
done
column -t -s $'\t' "$table"
