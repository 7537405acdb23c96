# Throwaway mail servers for trying lsmtp against software written elsewhere.
# Sourced (POSIX sh) by tests/interop/run.sh and scripts/demo.sh.
#
# Every server keeps its configuration, queue, log and mailboxes under a
# folder the caller gives, listens on port 25 of one 127.0.0.x address and
# delivers each accepted recipient into a Maildir named after its local part
# (MAIL/alice/new/...). The callers run them inside a private network
# namespace, so nothing the machine itself runs is touched or reachable.
#
# Postfix is installed with apt. Exim and OpenSMTPD conflict with it (each is
# a "mail-transport-agent"), so their packages are only downloaded and
# unpacked into a cache folder, and run from there.

# The caller sets INTEROP_DIR to the absolute path of tests/interop.
: "${INTEROP_DIR:?INTEROP_DIR must name the tests/interop folder}"
INTEROP_DOMAIN=any.test
INTEROP_CACHE=${LSMTP_INTEROP_CACHE:-/var/cache/lsmtp-interop}
POSTFIX_TIMEOUT=60

interop_say() { printf '%s\n' "$*" >&2; }
interop_fail() { printf 'interop: %s\n' "$*" >&2; exit 1; }

interop_sudo() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

# apt-get with a wait for another install holding the lock.
interop_apt() {
    interop_sudo env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600 -q "$@"
}

interop_installed() {
    dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "ok installed"
}

interop_apt_updated=no
interop_apt_install() {
    missing=""
    for package in "$@"; do
        interop_installed "$package" || missing="$missing $package"
    done
    [ -z "$missing" ] && return 0
    if [ "$interop_apt_updated" = no ]; then
        interop_apt update >/dev/null
        interop_apt_updated=yes
    fi
    interop_say "installing:$missing"
    # shellcheck disable=SC2086
    interop_apt install -y --no-install-recommends $missing >/dev/null
}

# Postfix with no configuration of its own: the instances below bring theirs.
interop_install_postfix() {
    interop_installed postfix && return 0
    echo "postfix postfix/main_mailer_type select No configuration" | interop_sudo debconf-set-selections
    interop_apt_install postfix
}

# Downloads and unpacks a package into $INTEROP_CACHE/NAME unless it is there.
interop_unpack() {
    package=$1
    target="$INTEROP_CACHE/$package"
    [ -f "$target/.unpacked" ] && return 0
    if [ "$interop_apt_updated" = no ]; then
        interop_apt update >/dev/null
        interop_apt_updated=yes
    fi
    download=$(mktemp -d)
    # apt fetches as its own user where it can write.
    getent passwd _apt >/dev/null && chown _apt "$download"
    (cd "$download" && interop_apt download "$package" >/dev/null) || interop_fail "cannot download $package"
    rm -rf "$target"
    mkdir -p "$target"
    dpkg-deb -x "$download"/"$package"_*.deb "$target" || interop_fail "cannot unpack $package"
    rm -rf "$download"
    touch "$target/.unpacked"
}

interop_add_system_user() {
    getent group "$1" >/dev/null || groupadd --system "$1"
    getent passwd "$1" >/dev/null ||
        useradd --system --gid "$1" --home-dir /nonexistent --no-create-home --shell /usr/sbin/nologin "$1"
}

# The independent readers check.py runs over every delivered message:
# GMime's, built from readers/gmime_read.c, and Node's mailparser at the
# version readers/package-lock.json pins. Both are kept under the cache
# folder; mailparser is installed again only when the lockfile changes.
INTEROP_READERS="$INTEROP_CACHE/readers"

interop_install_readers() {
    interop_apt_install libgmime-3.0-dev pkg-config gcc libc6-dev
    command -v npm >/dev/null || interop_apt_install nodejs npm
    mkdir -p "$INTEROP_READERS"
    if ! cmp -s "$INTEROP_DIR/readers/package-lock.json" "$INTEROP_READERS/package-lock.json"; then
        rm -rf "$INTEROP_READERS/node_modules" "$INTEROP_READERS/package-lock.json"
        cp "$INTEROP_DIR/readers/package.json" "$INTEROP_READERS/"
        (cd "$INTEROP_READERS" && cp "$INTEROP_DIR/readers/package-lock.json" . &&
            npm ci --engine-strict --no-audit --no-fund --loglevel=error >/dev/null) ||
            { rm -f "$INTEROP_READERS/package-lock.json"; interop_fail "npm could not install mailparser"; }
    fi
    # shellcheck disable=SC2046
    cc -O2 -o "$INTEROP_READERS/gmime-read" "$INTEROP_DIR/readers/gmime_read.c" $(pkg-config --cflags --libs gmime-3.0) ||
        interop_fail "cannot build the GMime reader"
}

# Everything the interoperability suite needs; the demo needs less.
interop_install_all() {
    interop_install_postfix
    interop_apt_install python3 python3-aiosmtpd libidn12 mpack ripmime iproute2 util-linux
    interop_unpack exim4-daemon-light
    interop_unpack opensmtpd
    interop_install_readers
}

# Reads the 220 greeting of ADDR:25, trying a bounded number of times.
interop_wait_banner() {
    /usr/bin/python3 "$INTEROP_DIR/wait_banner.py" "$1" || interop_fail "no 220 greeting from $1:25 ($2)"
}

# ---------------------------------------------------------------- Postfix

# postfix_setup DIR ADDR MAILBOX...: a complete instance under DIR, listening
# on ADDR:25, with a Maildir under DIR/mail for each listed local part of
# $INTEROP_DOMAIN; any other recipient is refused.
postfix_setup() {
    dir=$1 addr=$2
    shift 2
    mkdir -p "$dir/etc" "$dir/queue" "$dir/data" "$dir/mail" "$dir/log"
    chown postfix "$dir/data"
    chown nobody:nogroup "$dir/mail"
    cp /etc/postfix/master.cf "$dir/etc/master.cf"
    : >"$dir/etc/main.cf"
    : >"$dir/etc/mailboxes"
    for box in "$@"; do
        echo "$box@$INTEROP_DOMAIN $box/" >>"$dir/etc/mailboxes"
    done
    conf="$dir/etc"
    # Each setting is one argument; postconf applies them in one go.
    postconf -c "$conf" -e \
        "compatibility_level = 3.6" \
        "queue_directory = $dir/queue" \
        "data_directory = $dir/data" \
        "maillog_file = $dir/log/maillog" \
        "maillog_file_prefixes = $dir/log" \
        "myhostname = postfix.$INTEROP_DOMAIN" \
        "mydomain = $INTEROP_DOMAIN" \
        "inet_interfaces = loopback-only" \
        "inet_protocols = ipv4" \
        "mydestination =" \
        "mynetworks = 127.0.0.0/8" \
        "alias_maps =" \
        "alias_database =" \
        "smtpd_relay_restrictions = reject_unauth_destination" \
        "default_transport = error:outbound mail is disabled here" \
        "relay_transport = error:outbound mail is disabled here" \
        "virtual_mailbox_domains = $INTEROP_DOMAIN" \
        "virtual_mailbox_maps = texthash:$dir/etc/mailboxes" \
        "virtual_mailbox_base = $dir/mail" \
        "virtual_uid_maps = static:65534" \
        "virtual_gid_maps = static:65534" \
        "message_size_limit = 20480000" \
        "virtual_mailbox_limit = 20480000" \
        "smtpd_forbid_bare_newline = reject" \
        "smtpd_forbid_bare_newline_exclusions =" \
        "local_header_rewrite_clients =" \
        "biff = no" ||
        interop_fail "postconf refused the Postfix settings"
    postconf -c "$conf" -F '*/*/chroot = n'
    postconf -c "$conf" -M# smtp/inet
    postconf -c "$conf" -Me "$addr:smtp/inet = $addr:smtp inet n - n - - smtpd"
}

postfix_start() {
    timeout "$POSTFIX_TIMEOUT" postfix -c "$1/etc" start >/dev/null 2>&1 ||
        {
            script -qc "postfix -c $1/etc check" /dev/null >&2
            interop_fail "Postfix in $1 did not start"
        }
}

postfix_stop() {
    [ -f "$1/etc/main.cf" ] || return 0
    timeout "$POSTFIX_TIMEOUT" postfix -c "$1/etc" stop >/dev/null 2>&1 || true
}

postfix_queue_empty() {
    timeout "$POSTFIX_TIMEOUT" postqueue -c "$1/etc" -p 2>/dev/null | grep -q "Mail queue is empty"
}

# ---------------------------------------------------------------- Exim

EXIM_ROOT="$INTEROP_CACHE/exim4-daemon-light"
EXIM_TRUSTED=/etc/exim4/trusted_configs

exim_setup() {
    dir=$1 addr=$2
    shift 2
    interop_add_system_user Debian-exim
    mkdir -p "$dir/spool" "$dir/log" "$dir/mail"
    chown Debian-exim:Debian-exim "$dir/spool" "$dir/log"
    chown nobody:nogroup "$dir/mail"
    boxes=$(echo "$@" | sed 's/ / : /g')
    cat >"$dir/exim.conf" <<EOF
exim_path = $EXIM_ROOT/usr/sbin/exim4
spool_directory = $dir/spool
log_file_path = $dir/log/%slog
pid_file_path = $dir/exim.pid
primary_hostname = exim.$INTEROP_DOMAIN
local_interfaces = <; $addr
daemon_smtp_ports = 25
tls_advertise_hosts =
host_lookup =
rfc1413_hosts =
never_users = root
keep_environment =
domainlist local_domains = $INTEROP_DOMAIN
acl_smtp_rcpt = check_recipient

begin acl

check_recipient:
  accept domains = +local_domains
         verify = recipient
  deny   message = relaying is not offered here

begin routers

mailboxes:
  driver = accept
  domains = +local_domains
  local_parts = $boxes
  transport = maildir_delivery

begin transports

maildir_delivery:
  driver = appendfile
  directory = $dir/mail/\$local_part_data
  maildir_format
  create_directory
  user = nobody
  group = nogroup
  envelope_to_add
  return_path_add

begin retry

* * F,1m,1m
EOF
    chmod 644 "$dir/exim.conf"
    # A configuration given with -C keeps root only when it is listed here;
    # without root the delivery to another user would be frozen.
    mkdir -p /etc/exim4
    touch "$EXIM_TRUSTED"
    grep -qxF "$dir/exim.conf" "$EXIM_TRUSTED" || echo "$dir/exim.conf" >>"$EXIM_TRUSTED"
}

# Starts Exim in the foreground as a child; its pid goes to $dir/child.pid.
exim_start() {
    "$EXIM_ROOT/usr/sbin/exim4" -C "$1/exim.conf" -bdf -q1m >"$1/log/stdout" 2>&1 &
    echo $! >"$1/child.pid"
}

exim_stop() {
    [ -f "$1/child.pid" ] && kill "$(cat "$1/child.pid")" 2>/dev/null
    if [ -f "$EXIM_TRUSTED" ]; then
        grep -vxF "$1/exim.conf" "$EXIM_TRUSTED" >"$EXIM_TRUSTED.new" || true
        mv "$EXIM_TRUSTED.new" "$EXIM_TRUSTED"
    fi
}

exim_queue_empty() {
    [ "$("$EXIM_ROOT/usr/sbin/exim4" -C "$1/exim.conf" -bpc 2>/dev/null)" = 0 ]
}

# ---------------------------------------------------------------- OpenSMTPD

SMTPD_ROOT="$INTEROP_CACHE/opensmtpd"

# OpenSMTPD's queue and control socket have fixed places, so only one
# instance runs on a machine at a time.
opensmtpd_setup() {
    dir=$1 addr=$2
    shift 2
    interop_add_system_user opensmtpd
    interop_add_system_user opensmtpq
    mkdir -p /var/lib/opensmtpd/empty "$dir/mail"
    chown nobody:nogroup "$dir/mail"
    # Its delivery agents are looked up in one fixed folder.
    if [ ! -e /usr/libexec/opensmtpd ]; then
        mkdir -p /usr/libexec
        ln -s "$SMTPD_ROOT/usr/libexec/opensmtpd" /usr/libexec/opensmtpd
    fi
    # Recipients are virtual users, all delivered by "nobody"; any other
    # recipient matches no rule and is refused.
    : >"$dir/recipients"
    : >"$dir/vusers"
    for box in "$@"; do
        echo "$box@$INTEROP_DOMAIN" >>"$dir/recipients"
        echo "$box@$INTEROP_DOMAIN nobody" >>"$dir/vusers"
    done
    cat >"$dir/smtpd.conf" <<EOF
table recipients file:$dir/recipients
table vusers file:$dir/vusers
listen on $addr port 25 hostname opensmtpd.$INTEROP_DOMAIN
action "maildir" maildir "$dir/mail/%{rcpt.user}" user nobody virtual <vusers>
match from any for domain "$INTEROP_DOMAIN" rcpt-to <recipients> action "maildir"
EOF
    # The queue has one fixed place; with the package not installed it is
    # ours alone, and mail left there by an interrupted run must not be
    # delivered into this one.
    interop_installed opensmtpd || rm -rf /var/spool/smtpd
}

opensmtpd_start() {
    "$SMTPD_ROOT/usr/sbin/smtpd" -d -f "$1/smtpd.conf" >"$1/smtpd.log" 2>&1 &
    echo $! >"$1/child.pid"
}

opensmtpd_stop() {
    [ -f "$1/child.pid" ] && kill "$(cat "$1/child.pid")" 2>/dev/null
    return 0
}

# smtpctl works only when installed setgid, so the queue folders are read
# instead: a message waiting for delivery is a file under them.
opensmtpd_queue_empty() {
    [ -d /var/spool/smtpd/queue ] &&
        [ -z "$(find /var/spool/smtpd/queue /var/spool/smtpd/incoming -type f 2>/dev/null)" ]
}
