#!/usr/bin/env bash
# Tuckline.app as a person downloads it: the bundle zipped as Apple's tools
# zip one (ditto, which keeps its signature, symbolic links and modes), with
# its SHA-256 and the notes a release shows:
#
#   platform/macos/package.sh path/to/Tuckline.app OUTPUT-DIR
#
# writes OUTPUT-DIR/Tuckline-VERSION-macos-arm64.zip, ….zip.sha256 and
# release-notes.md. The build is left as it is; the packaged copy is signed
# in a folder of its own.
#
# Signing: where the environment holds a Developer ID Application
# certificate (MACOS_DEVELOPER_ID_P12, the .p12 in base64, and
# MACOS_DEVELOPER_ID_P12_PASSWORD) and credentials for Apple's notary
# service (an App Store Connect API key: MACOS_NOTARY_KEY_P8, the .p8 file's
# text or its base64, MACOS_NOTARY_KEY_ID and MACOS_NOTARY_ISSUER_ID; or an
# Apple ID: MACOS_NOTARY_APPLE_ID, MACOS_NOTARY_APPLE_PASSWORD, an
# app-specific password, and MACOS_NOTARY_TEAM_ID), the copy is signed with
# the hardened runtime and a secure timestamp, notarised, stapled and
# assessed by Gatekeeper (spctl). The certificate lives in a keychain of its
# own for the run, deleted on every way out; no secret is printed. Without
# any of them the copy keeps the build's ad-hoc signature, and the job's
# summary says so. Some but not all of them is a mistake, and stops here.
#
#   platform/macos/package.sh --signing
#
# prints which signing the environment calls for (developer-id+api-key,
# developer-id+apple-id or ad-hoc) and exits, on any system.
#
# The notary steps (a zip made by ditto -c -k --keepParent, notarytool
# submit --wait, stapler staple) follow Apple's "Customizing the
# notarization workflow" (developer.apple.com/documentation/security/
# customizing-the-notarization-workflow); the opening steps the notes give
# for an unnotarised copy, Apple's "Open a Mac app from an unknown developer"
# (support.apple.com/guide/mac-help/mh40616) and "Safely open apps on your
# Mac" (support.apple.com/102445).
set -euo pipefail

# ---------------------------------------------------------------- which signing
certificate=(MACOS_DEVELOPER_ID_P12 MACOS_DEVELOPER_ID_P12_PASSWORD)
api_key=(MACOS_NOTARY_KEY_P8 MACOS_NOTARY_KEY_ID MACOS_NOTARY_ISSUER_ID)
apple_id=(MACOS_NOTARY_APPLE_ID MACOS_NOTARY_APPLE_PASSWORD MACOS_NOTARY_TEAM_ID)

# count NAME...: how many of the variables are set and not empty.
count() {
  local name n=0
  for name in "$@"; do [[ -z "${!name:-}" ]] || n=$((n + 1)); done
  echo "$n"
}
# missing NAME...: the names of those that are empty, for a message.
missing() {
  local name list=""
  for name in "$@"; do [[ -n "${!name:-}" ]] || list="$list $name"; done
  echo "${list:- none}"
}
# signing_choice: ad-hoc without any secret; Developer ID with the whole
# certificate and one whole set for the notary service (the API key where
# both are whole). A set given in part is a mistake worth stopping for.
signing_choice() {
  local c k a
  c="$(count "${certificate[@]}")" k="$(count "${api_key[@]}")" a="$(count "${apple_id[@]}")"
  if ((c + k + a == 0)); then
    echo ad-hoc
    return
  fi
  local whole_k=$((k == ${#api_key[@]})) whole_a=$((a == ${#apple_id[@]}))
  if ((c == ${#certificate[@]} && (k == 0 || whole_k) && (a == 0 || whole_a) && (whole_k || whole_a))); then
    if ((whole_k)); then echo developer-id+api-key; else echo developer-id+apple-id; fi
    return
  fi
  {
    echo "package: the signing secrets are incomplete, so nothing is packaged."
    echo "  Developer ID needs all of ${certificate[*]} (missing:$(missing "${certificate[@]}"))"
    echo "  and, for the notary service, all of ${api_key[*]} (missing:$(missing "${api_key[@]}"))"
    echo "  or all of ${apple_id[*]} (missing:$(missing "${apple_id[@]}"))"
  } >&2
  return 1
}

if [[ "${1:-}" == --signing ]]; then
  signing_choice
  exit
fi
if (($# != 2)); then
  echo "usage: platform/macos/package.sh path/to/Tuckline.app OUTPUT-DIR | --signing" >&2
  exit 2
fi
if [[ "$(uname -s)" != Darwin ]]; then
  echo "package: this runs on a Mac, with Apple's codesign, ditto and notarytool" >&2
  exit 2
fi
signing="$(signing_choice)"

app="$1"
out="$2"
if [[ ! -x "$app/Contents/MacOS/Tuckline" || ! -f "$app/Contents/Info.plist" ]]; then
  echo "package: no Tuckline bundle at $app" >&2
  exit 2
fi
version="$(plutil -extract CFBundleShortVersionString raw -o - "$app/Contents/Info.plist")"
if [[ ! "$version" =~ ^[0-9]+(\.[0-9]+)*$ ]]; then
  echo "package: the bundle's version '$version' is not a version number" >&2
  exit 1
fi
# A release named for one version must not ship another.
if [[ "${GITHUB_REF_TYPE:-}" == tag && "${GITHUB_REF_NAME:-}" == v* && "$GITHUB_REF_NAME" != "v$version" ]]; then
  echo "package: the tag $GITHUB_REF_NAME does not name the bundle's version $version" >&2
  exit 1
fi
name="Tuckline-$version-macos-arm64"

work="$(mktemp -d "${TMPDIR:-/tmp}/tuckline-package.XXXXXX")"
keychain=""
keychains_before=()
cleanup() {
  if [[ -n "$keychain" ]]; then
    if ((${#keychains_before[@]})); then security list-keychains -d user -s "${keychains_before[@]}"; fi
    security delete-keychain "$keychain" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
# What is written under $work (the certificate, the API key) is the user's alone.
umask 077

ditto "$app" "$work/Tuckline.app"
bundle="$work/Tuckline.app"

summary() {
  if [[ -n "${GITHUB_STEP_SUMMARY:-}" ]]; then printf '%s\n' "$@" >>"$GITHUB_STEP_SUMMARY"; fi
  printf '%s\n' "$@"
}
# secret_file NAME FILE: the variable's value as a file; base64 is decoded,
# a PEM key (text beginning with -----BEGIN) is taken as it is.
secret_file() {
  if [[ "${!1}" == -----BEGIN* ]]; then
    printf '%s\n' "${!1}" >"$2"
  else
    printf '%s' "${!1}" | base64 -D -o "$2"
  fi
}

# ---------------------------------------------------------------- Developer ID
if [[ "$signing" != ad-hoc ]]; then
  keychain="$work/signing.keychain-db"
  keychain_password="$(uuidgen)"
  secret_file MACOS_DEVELOPER_ID_P12 "$work/certificate.p12"
  security create-keychain -p "$keychain_password" "$keychain"
  security set-keychain-settings -lut 3600 "$keychain"
  security unlock-keychain -p "$keychain_password" "$keychain"
  security import "$work/certificate.p12" -k "$keychain" -f pkcs12 -P "$MACOS_DEVELOPER_ID_P12_PASSWORD" \
    -T /usr/bin/codesign >/dev/null
  rm -f "$work/certificate.p12"
  # codesign may use the key without asking anyone.
  security set-key-partition-list -S apple-tool:,apple:,codesign: -s -k "$keychain_password" "$keychain" >/dev/null
  # codesign looks for the identity's chain in the search list.
  while IFS= read -r line; do
    line="${line#"${line%%[![:space:]]*}"}"
    keychains_before+=("${line//\"/}")
  done < <(security list-keychains -d user)
  security list-keychains -d user -s "$keychain" ${keychains_before[@]+"${keychains_before[@]}"}
  identity="$(security find-identity -v -p codesigning "$keychain" |
    sed -nE 's/^ *[0-9]+\) ([0-9A-F]{40}) "Developer ID Application: .*"$/\1/p' | head -1)"
  if [[ -z "$identity" ]]; then
    echo "package: MACOS_DEVELOPER_ID_P12 holds no valid Developer ID Application identity" >&2
    exit 1
  fi
  codesign --force --options runtime --timestamp --keychain "$keychain" --sign "$identity" "$bundle"
  codesign --verify --strict --verbose=2 "$bundle"
  codesign --display --verbose=2 "$bundle" 2>&1 | grep -E '^(Authority|TeamIdentifier|Timestamp|CodeDirectory)' || true

  # The notary service takes a zip of the bundle; the ticket is then
  # stapled to the bundle itself, so Gatekeeper needs no network to check it.
  ditto -c -k --keepParent "$bundle" "$work/notarize.zip"
  notary=()
  if [[ "$signing" == developer-id+api-key ]]; then
    secret_file MACOS_NOTARY_KEY_P8 "$work/notary-key.p8"
    notary=(--key "$work/notary-key.p8" --key-id "$MACOS_NOTARY_KEY_ID" --issuer "$MACOS_NOTARY_ISSUER_ID")
  else
    notary=(--apple-id "$MACOS_NOTARY_APPLE_ID" --password "$MACOS_NOTARY_APPLE_PASSWORD" --team-id "$MACOS_NOTARY_TEAM_ID")
  fi
  notary_status=0
  xcrun notarytool submit "$work/notarize.zip" "${notary[@]}" --wait --timeout 30m \
    --output-format json >"$work/notary.json" || notary_status=$?
  status="$(plutil -extract status raw -o - "$work/notary.json" 2>/dev/null || echo unknown)"
  submission="$(plutil -extract id raw -o - "$work/notary.json" 2>/dev/null || true)"
  echo "notarytool: submission ${submission:-?}, status $status (exit $notary_status)"
  if [[ "$status" != Accepted ]]; then
    # The service's log says which file and why; it holds no secret.
    [[ -z "$submission" ]] || xcrun notarytool log "$submission" "${notary[@]}" || true
    echo "package: the notary service did not accept Tuckline.app (status $status)" >&2
    exit 1
  fi
  rm -f "$work/notary-key.p8"
  xcrun stapler staple "$bundle"
  xcrun stapler validate "$bundle"
  assessment="$(spctl -a -vv -t exec "$bundle" 2>&1)"
  echo "$assessment"
  if ! grep -q "source=Notarized Developer ID" <<<"$assessment"; then
    echo "package: Gatekeeper does not accept the notarised bundle" >&2
    exit 1
  fi
  how="signed with Developer ID (hardened runtime, secure timestamp), notarised and stapled; Gatekeeper: $(head -1 <<<"$assessment")"
  opening="Double-click it: macOS opens it after the usual question for a downloaded app."
else
  codesign --verify --strict --verbose=2 "$bundle"
  how="ad-hoc signed only: this repository has no Developer ID and notary secrets, or this event is not given them (pull requests are not)"
  opening="The first time, Control-click it in Applications and choose Open (macOS 13 and 14); on macOS 15 and later, try to open it once, then allow it under System Settings → Privacy & Security → Open Anyway."
fi

# ---------------------------------------------------------------- the zip
umask 022
mkdir -p "$out"
ditto -c -k --keepParent "$bundle" "$out/$name.zip"
(cd "$out" && shasum -a 256 "$name.zip" >"$name.zip.sha256")
sha256="$(cut -d' ' -f1 <"$out/$name.zip.sha256")"
cat >"$out/release-notes.md" <<EOF
Tuckline $version for macOS 13.0 and later on Apple silicon (arm64): $how.

\`$name.zip\` SHA-256: \`$sha256\`

Unzip it and move Tuckline.app to Applications. $opening See docs/mac.md for installing, uninstalling and what has been checked.
EOF
summary "### $name.zip" "" "$how." "" "SHA-256: \`$sha256\`"
