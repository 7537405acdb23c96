#!/bin/sh
# The README's relay recipe, run for real in a private network (its
# installer answers checked against Postfix's questions): lsmtp-send sends to a
# Postfix on 127.0.0.1:25 set up with the README's main.cf and sasl_passwd
# lines, which relays to a second Postfix on 127.0.0.2:587
# standing in for a provider: STARTTLS and a SASL login required, its
# certificate issued by a test authority made here, which the relay trusts
# in place of the system's. The message must arrive intact, over a verified
# TLS connection, after a login.
#
#   sh tests/relay/run.sh PATH/TO/lsmtp-send
#
# Run as root on Debian 12; what is missing is installed with apt. Set
# LSMTP_INTEROP_KEEP=1 to keep the servers' folders afterwards.
set -eu
RELAY_DIR=$(cd "$(dirname "$0")" && pwd)
INTEROP_DIR=$(cd "$RELAY_DIR/../interop" && pwd)
. "$INTEROP_DIR/servers.sh"

if [ "${1-}" != --inside ]; then
    [ $# -eq 1 ] || interop_fail "usage: sh tests/relay/run.sh PATH/TO/lsmtp-send"
    [ -x "$1" ] || interop_fail "no lsmtp-send at $1"
    [ "$(id -u)" -eq 0 ] || interop_fail "the servers need root: run as root"
    send="$(cd "$(dirname "$1")" && pwd)/$(basename "$1")"
    interop_install_postfix
    interop_apt_install sasl2-bin libsasl2-modules openssl python3 iproute2 util-linux
    # A mount namespace too, for this network's own hosts file.
    exec unshare --net --mount sh "$RELAY_DIR/run.sh" --inside "$send"
fi

send=$2
ip link set lo up
ip addr add 127.0.0.2/8 dev lo
work=$(mktemp -d /tmp/lsmtp-relay.XXXXXX)
chmod 755 "$work"
relay="$work/relay"
provider="$work/provider"
cleanup() {
    status=$?
    trap - EXIT INT TERM
    postfix_stop "$relay"
    postfix_stop "$provider"
    if [ "${LSMTP_INTEROP_KEEP:-0}" = 1 ]; then
        echo "kept $work" >&2
    else
        rm -rf "$work"
    fi
    exit "$status"
}
trap cleanup EXIT
trap 'exit 1' INT TERM

# The provider is reached by name, as a real one is; with no DNS here, the
# hosts file names it.
printf '127.0.0.1 localhost\n127.0.0.2 provider.test\n' >"$work/hosts"
printf 'nameserver 127.0.0.1\n' >"$work/resolv.conf"
mount --bind "$work/hosts" /etc/hosts
mount --bind "$work/resolv.conf" /etc/resolv.conf

# A certificate authority and the provider's certificate for its name.
(
    cd "$work"
    openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 2 \
        -subj "/CN=lsmtp test authority" -addext "basicConstraints=critical,CA:TRUE" \
        -addext "keyUsage=critical,keyCertSign" -keyout ca.key -out ca.pem 2>/dev/null
    openssl req -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -subj "/CN=provider.test" \
        -keyout provider.key -out provider.csr 2>/dev/null
    printf 'subjectAltName = DNS:provider.test\nextendedKeyUsage = serverAuth\n' >provider.ext
    openssl x509 -req -in provider.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 \
        -extfile provider.ext -out provider.pem 2>/dev/null
) || interop_fail "openssl could not make the test certificates"

# The provider: mail for alice@any.test goes to its Maildir; its port 587
# takes mail only after STARTTLS and a login, from anyone (127.0.0.1 is in
# its mynetworks, which must not be enough).
password=relay-secret-42
postfix_setup "$provider" 127.0.0.2 alice
conf="$provider/etc"
# Debian's Postfix reads the SASL settings from the sasl folder of its
# configuration.
mkdir -p "$conf/sasl"
printf 'pwcheck_method: auxprop\nauxprop_plugin: sasldb\nmech_list: PLAIN LOGIN\nsasldb_path: %s\n' \
    "$provider/sasldb2" >"$conf/sasl/smtpd.conf"
echo "$password" | saslpasswd2 -p -c -f "$provider/sasldb2" -u provider.test relayuser
chown root:postfix "$provider/sasldb2"
chmod 640 "$provider/sasldb2"
postconf -c "$conf" -e "myhostname = provider.test" \
    "smtpd_tls_cert_file = $work/provider.pem" "smtpd_tls_key_file = $work/provider.key" \
    "smtpd_sasl_type = cyrus" "smtpd_sasl_path = smtpd"
postconf -c "$conf" -MX 127.0.0.2:smtp/inet
postconf -c "$conf" -Me "127.0.0.2:submission/inet = 127.0.0.2:submission inet n - n - - smtpd"
for setting in smtpd_tls_security_level=encrypt smtpd_tls_auth_only=yes smtpd_sasl_auth_enable=yes \
    smtpd_client_restrictions=permit_sasl_authenticated,reject \
    smtpd_relay_restrictions=permit_sasl_authenticated,reject; do
    postconf -c "$conf" -P "127.0.0.2:submission/inet/$setting"
done

# The relay: the README's lines, with this test's provider, account, files
# and authority, on top of what any instance beside the machine's own needs,
# name look-ups from the hosts file and a log line for each TLS session.
# readme_block N: the Nth fenced block without a language in the README's
# "Reaching a mail provider".
readme_block() {
    awk -v want="$1" '/^## / { section = ($0 == "## Reaching a mail provider") }
        section && /^```/ { if (inside) inside = 0; else { inside = 1; bare = ($0 == "```"); count += bare }; next }
        section && inside && bare && count == want && $0 != ""' "$RELAY_DIR/../../README.md" |
        sed -e 's/smtp\.example\.com/provider.test/g' -e "s|/etc/postfix/|$relay/etc/|g" \
            -e "s|/etc/ssl/certs/ca-certificates\.crt|$work/ca.pem|g" \
            -e "s|you@example\.com:your-password|relayuser@provider.test:$password|g"
}
# The README's installer answers fit Postfix's questions (the installer is
# not run: it would rewrite this machine's Postfix configuration).
readme_section() {
    awk '/^## / { section = ($0 == "## Reaching a mail provider") } section' "$RELAY_DIR/../../README.md"
}
readme_section | grep '^postfix postfix/' >"$work/answers"
[ "$(wc -l <"$work/answers")" -eq 3 ] || interop_fail "the README does not answer the installer's three questions"
debconf-set-selections --checkonly "$work/answers"
while read -r _ question type value; do
    template=$(awk -v name="Name: $question" 'BEGIN { RS = "" } index($0, name "\n") == 1' \
        /var/cache/debconf/templates.dat)
    echo "$template" | grep -qx "Type: $type" || interop_fail "Postfix asks no $type question $question"
    label=$(echo "$template" | sed -n 's/^Description: //p')
    readme_section | grep -qF "| $label |" || interop_fail "the README does not quote the question '$label'"
    if [ "$type" = select ]; then
        echo "$template" | sed -n 's/^Choices: //p' | tr ',' '\n' | sed 's/^ //' | grep -qxF "$value" ||
            interop_fail "'$value' is not a choice of $question"
    fi
done <"$work/answers"
relayhost=$(sed -n 's|^postfix postfix/relayhost string ||p' "$work/answers")
readme_section | grep -qxF "relayhost = $relayhost" || interop_fail "the installer's relay host is not main.cf's"

mkdir -p "$relay/etc" "$relay/queue" "$relay/data" "$relay/log"
chown postfix "$relay/data"
cp /etc/postfix/master.cf "$relay/etc/master.cf"
: >"$relay/etc/main.cf"
postconf -c "$relay/etc" -e "compatibility_level = 3.6" "queue_directory = $relay/queue" \
    "data_directory = $relay/data" "maillog_file = $relay/log/maillog" "maillog_file_prefixes = $relay/log" \
    "myhostname = relay.test" "inet_protocols = ipv4" "alias_maps =" "alias_database =" \
    "smtp_host_lookup = native" "smtp_tls_loglevel = 1"
readme_block 1 >"$work/main.cf.lines"
[ "$(wc -l <"$work/main.cf.lines")" -ge 5 ] || interop_fail "the README's main.cf lines were not found"
while IFS= read -r line; do
    postconf -c "$relay/etc" -e "$line"
done <"$work/main.cf.lines"
readme_block 2 >"$relay/etc/sasl_passwd"
grep -q '^\[provider.test\]:587 relayuser@provider.test:' "$relay/etc/sasl_passwd" ||
    interop_fail "the README's sasl_passwd line was not found"
chmod 600 "$relay/etc/sasl_passwd"
postmap -c "$relay/etc" "$relay/etc/sasl_passwd"
postconf -c "$relay/etc" -F '*/*/chroot = n'
# Postfix waits a little at start for a main.cf written in the last seconds.
touch -d '1 minute ago' "$relay/etc/main.cf" "$provider/etc/main.cf" "$relay/etc/master.cf" "$provider/etc/master.cf"

postfix_start "$provider"
postfix_start "$relay"
interop_wait_banner 127.0.0.1 "the relay"

head -c 300000 /dev/urandom >"$work/report.bin"
"$send" --host 127.0.0.1 --from sender@relay.test --to alice@any.test --subject "Through the relay" \
    --body "Relayed with STARTTLS and a login." --attach "$work/report.bin" ||
    interop_fail "lsmtp-send did not get the message accepted by the relay"

# Delivery is awaited by looking, a bounded number of times.
tries=0
while [ -z "$(ls "$provider/mail/alice/new" 2>/dev/null)" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 150 ] || { cat "$relay/log/maillog" >&2; interop_fail "nothing arrived at the provider in 30 s"; }
    sleep 0.2
done
message=$(ls "$provider/mail/alice/new"/*)
/usr/bin/python3 "$INTEROP_DIR/show_message.py" "$message" "$work/report.bin"
grep -q "Verified TLS connection established to provider.test" "$relay/log/maillog" ||
    interop_fail "the relay did not verify the provider's certificate"
grep -q "status=sent (250 " "$relay/log/maillog" ||
    interop_fail "the relay's log has no status=sent line, which the README says to look for"
grep -q "sasl_username=relayuser@provider.test" "$provider/log/maillog" ||
    interop_fail "the provider did not log the relay's login"
grep -q "with ESMTPSA" "$message" || interop_fail "the message did not arrive over an authenticated session"
echo "relay recipe: delivered through STARTTLS (verified) and a SASL login"
