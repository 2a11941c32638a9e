#!/usr/bin/env bash
# The time from the sign-in dialog's OK to the first successful check of the
# account it signed in: the browser (scripted), the local authorization server,
# the keyring and a real Dovecot that asks that server about the token. Runs the
# first row of the sign-in test, which prints the figure; root is needed for
# Dovecot, as for the tests.
#   bench/oauth_signin.sh [build-dir] [runs]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-$root/build}"
runs="${2:-9}"
label='ms from OK to the first successful check: '

figures=()
for ((i = 0; i < runs; i++)); do
  output=$("$build/tests/tst_OAuthSignIn" "signInThenCheck:sign-in, then a successful check" 2>&1) || {
    echo "$output" >&2
    exit 1
  }
  line=$(grep -o "$label[0-9]*" <<<"$output")
  figures+=("${line#"$label"}")
done
mapfile -t sorted < <(printf '%s\n' "${figures[@]}" | sort -n)
echo "From the sign-in dialog's OK to the first successful check, $runs runs:" \
  "min ${sorted[0]} ms, median ${sorted[runs / 2]} ms, max ${sorted[runs - 1]} ms"
