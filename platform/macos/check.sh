#!/usr/bin/env bash
# Checks the Mac build as far as a machine without Apple's SDK can:
#
#  1. Apple's libc++. Every core file and every .mm file is compiled to
#     object code with clang against a private copy of Debian's libc++
#     headers in which the vendor availability markup is switched on, as
#     Apple ships it (Debian's __config_site turns it off, and <__availability>
#     takes Apple's branch only on Apple hosts). So a library function that
#     macOS 13.0's libc++ lacks, such as floating-point to_chars, fails here
#     as it fails in Xcode.
#  2. What the markup cannot see off Apple: a deny-list of library features
#     Apple ships later than macOS 13.0 (or not at all), searched for in
#     every source the Mac build compiles.
#  3. The adapter itself: the .mm files are Objective-C++ with ARC against
#     the real platform/*.h interfaces, GNUstep's AppKit and Foundation, and
#     compat/AppleSDK.h for the newer declarations GNUstep lacks.
#  4. Nothing missing at link time: every symbol of the project's namespace
#     that an object file needs is defined by one of them.
#  5. What GNUstep cannot tell apart from Apple: every message, property and
#     framework function the adapter uses, read from clang's syntax tree
#     (sends.c, over libclang), must be on the reviewed list
#     (reviewed-sends.txt), which names the Apple page each was taken from;
#     one that came later than macOS 13.0 must sit under
#     if (@available(macOS N, *)). Every declaration of compat/AppleSDK.h
#     says which macOS introduced it, and one later than 13.0 used outside
#     such a guard fails too. A send sends.c cannot resolve where it is
#     written (a receiver whose type depends on a template parameter) fails:
#     it would be checked nowhere.
#  6. The adapter as Xcode sees it: every .mm compiled once more for
#     -target arm64-apple-macos13.0, ARC, -Werror, against sdk/, which
#     declares exactly the part of AppKit, Foundation, Carbon, QuartzCore and
#     libproc the adapter uses, each declaration with the availability,
#     deprecation and nullability Apple's documentation gives it. So a
#     deprecated constant, nil passed where Apple says nonnull, a use later
#     than 13.0 outside @available and a selector Apple does not declare
#     (GNUstep's own, say) fail here as they fail in Xcode. Twice: against
#     the newest SDK the Mac job builds with, and against Xcode 14's macOS 13
#     SDK, where nothing later is declared, so a newer API sent without
#     #if __MAC_OS_X_VERSION_MAX_ALLOWED >= N fails as it does in Xcode 14.
#     The C++ library is Debian's libc++ taking Apple's branch, on glibc's
#     arm64 headers (libc6-dev-arm64-cross) with sdk/libc for what libc++
#     asks of Darwin's libc.
#
# Then it checks itself: a renamed interface method, a misspelt AppKit
# selector, a floating-point to_chars, a deny-listed feature, a deleted
# definition, a selector only GNUstep has (plainly and inside a template), a
# macOS 14 method called without a guard, with a negated guard and without
# the SDK check, a deprecated constant, nil passed to a nonnull parameter, a
# compat declaration without its version and an Apple header included
# before MacBridge.h must each be rejected. A check that lets one through
# proves nothing. Nothing is linked or run: whether the program behaves
# right on a Mac is beyond this machine.
#
# Exits non-zero on any error or warning. Installs clang, Debian's libc++
# headers, libclang, GNUstep's development headers and glibc's arm64
# headers with apt-get when missing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$root"
started=$SECONDS

need_install=()
command -v clang++ >/dev/null 2>&1 || need_install+=(clang)
[[ -f /usr/lib/llvm-14/include/c++/v1/__availability ]] || need_install+=(libc++-14-dev libc++abi-14-dev)
[[ -f /usr/lib/llvm-14/include/clang-c/Index.h ]] || need_install+=(libclang-14-dev)
[[ -f /usr/include/GNUstep/AppKit/AppKit.h ]] || need_install+=(libgnustep-gui-dev)
[[ -f /usr/include/GNUstep/Foundation/Foundation.h ]] || need_install+=(libgnustep-base-dev)
[[ -f /usr/aarch64-linux-gnu/include/stdlib.h ]] || need_install+=(libc6-dev-arm64-cross)
if ((${#need_install[@]})); then
  echo "check: installing ${need_install[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [[ "$(id -u)" -eq 0 ]] || SUDO="sudo"
  # A name of its own: a fixed one could be another user's file, or a link.
  apt_log="$(mktemp "${TMPDIR:-/tmp}/tuckline-check-apt.XXXXXX")"
  if ! $SUDO apt-get install -y --no-install-recommends "${need_install[@]}" >"$apt_log" 2>&1; then
    $SUDO apt-get update >>"$apt_log" 2>&1
    $SUDO apt-get install -y --no-install-recommends "${need_install[@]}" >>"$apt_log" 2>&1 || {
      tail -20 "$apt_log" >&2
      rm -f "$apt_log"
      exit 1
    }
  fi
  rm -f "$apt_log"
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# ---------------------------------------------------------------- libc++ as Apple ships it
libcxx=/usr/lib/llvm-14/include/c++/v1
mkdir -p "$work/libcxx"
cp -r "$libcxx" "$work/libcxx/v1"
sed -i '/^#define _LIBCPP_HAS_NO_VENDOR_AVAILABILITY_ANNOTATIONS$/d' "$work/libcxx/v1/__config_site"
sed -i 's|^#elif defined(__APPLE__)$|#elif 1 // Apple markup on any host|' "$work/libcxx/v1/__availability"
if grep -q '_LIBCPP_HAS_NO_VENDOR_AVAILABILITY_ANNOTATIONS$' "$work/libcxx/v1/__config_site" ||
  ! grep -q '^#elif 1 // Apple markup on any host' "$work/libcxx/v1/__availability"; then
  echo "check: Debian's libc++ headers changed; adapt the availability switch above" >&2
  exit 1
fi
apple_cxx=(-std=c++20 -nostdinc++ -isystem "$work/libcxx/v1"
           -D__ENVIRONMENT_MAC_OS_X_VERSION_MIN_REQUIRED__=130000
           -Wall -Wextra -Wpedantic -Werror)

# ---------------------------------------------------------------- GNUstep for the adapter
# GNUstep on Debian is built for gcc's Objective-C runtime; its headers come
# with gcc's libobjc development package.
gcc_objc=""
for dir in /usr/lib/gcc/*/*/include; do
  [[ -f "$dir/objc/runtime.h" ]] && gcc_objc="$dir"
done
if [[ -z "$gcc_objc" ]]; then
  echo "check: gcc's objc/runtime.h not found (libobjc-*-dev)" >&2
  exit 1
fi
# ARC needs a runtime clang considers modern; gcc's runtime headers then
# need two small accommodations, made on copies:
#  - object_getClass reads the isa field through 'id', which only the
#    legacy runtime mode allows;
#  - GNUstep's headers want the blocks runtime header of libobjc2, which
#    only declares what -fblocks code links against.
mkdir -p "$work/runtime/objc"
cp "$gcc_objc"/objc/*.h "$work/runtime/objc/"
sed -i 's|return object->class_pointer;|return *(__unsafe_unretained Class *)(__bridge void *)object;|' \
  "$work/runtime/objc/runtime.h"
if ! grep -q '__unsafe_unretained Class \*' "$work/runtime/objc/runtime.h"; then
  echo "check: gcc's objc/runtime.h changed; adapt the accommodation above" >&2
  exit 1
fi
cat >"$work/runtime/objc/blocks_runtime.h" <<'EOF'
#pragma once
#ifdef __cplusplus
extern "C" {
#endif
void *_Block_copy(const void *);
void _Block_release(const void *);
#ifdef __cplusplus
}
#endif
#define Block_copy(x) ((__typeof(x))_Block_copy((const void *)(x)))
#define Block_release(x) _Block_release((const void *)(x))
EOF
# GNUstep stands for the newest SDK: what sits under an SDK check is read.
objcxx=(-x objective-c++ "${apple_cxx[@]}"
        -fobjc-runtime=gnustep-2.0 -fobjc-arc -fblocks -fobjc-exceptions
        -DTUCKLINE_SYNTAX_CHECK=1 -D__MAC_OS_X_VERSION_MAX_ALLOWED=260000
        -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_GUI_LIBRARY=1 -DGNU_RUNTIME=1
        -isystem "$work/runtime" -isystem /usr/include/GNUstep)

# ---------------------------------------------------------------- Apple's declarations
# Clang for an Apple target: availability, deprecation and nullability are
# enforced as in Xcode. Apple's clang predefines __nonnull and friends as
# nullability keywords, which glibc's headers use as macro names; glibc's
# feature macros are what clang sets for C++ on Linux.
resource="$(clang++ -print-resource-dir)"
xcode=(-target arm64-apple-macos13.0 -x objective-c++ -std=c++20 -fobjc-arc -fblocks -fobjc-exceptions
       -nostdinc -nostdinc++ -U__nonnull -U__nullable -U__null_unspecified -D_GNU_SOURCE
       -isystem "$work/libcxx/v1" -isystem "$here/sdk/libc" -isystem "$here/sdk" -isystem "$resource/include"
       -isystem /usr/aarch64-linux-gnu/include
       -Wall -Wextra -Wpedantic -Wunguarded-availability -Werror -fsyntax-only)
# as_xcode SDK FILE [include root]: FILE as Xcode with that SDK compiles it
# (260000: the newest the Mac job builds with; 130000: Xcode 14's).
as_xcode() {
  clang++ "${xcode[@]}" -DTL_SDK_VERSION="$1" -I "${3:-$root}" -I "$root" "$2"
}

# ---------------------------------------------------------------- what the Mac build compiles
mapfile -t core < <(ls app/*.cpp diagnostics/*.cpp statusbar/*.cpp hotkey/*.cpp settings/*.cpp \
                      login/*.cpp help/*.cpp platform/Platform.cpp | sort)
mapfile -t adapter < <(ls platform/macos/*.mm | sort)
if ((${#core[@]} == 0 || ${#adapter[@]} == 0)); then
  echo "check: no core or adapter sources under $root" >&2
  exit 1
fi

# compile SOURCE OBJECT [include root]: the flags by the file's kind.
compile() {
  local src="$1" obj="$2" inc="${3:-$root}"
  if [[ "$src" == *.mm ]]; then
    clang++ -c "${objcxx[@]}" -I "$inc" -I "$root" "$src" -o "$obj"
  else
    clang++ -c "${apple_cxx[@]}" -I "$inc" -I "$root" "$src" -o "$obj"
  fi
}

# Library features later than macOS 13.0's libc++, or absent from it, that
# the availability markup does not flag on this host.
deny=(
  '#include <format>' 'std::v?format(_to)?\b' 'std::make_format_args'
  '#include <stop_token>' 'std::jthread' 'std::stop_(token|source|callback)'
  '#include <memory_resource>' 'std::pmr::'
  'std::chrono::(zoned_time|time_zone|tzdb|get_tzdb|locate_zone|current_zone|utc_clock|tai_clock|gps_clock|clock_cast)'
  '#include <expected>' 'std::(expected|unexpected)\b'
  '#include <syncstream>' 'std::(osyncstream|basic_syncbuf)'
  '#include <(print|stacktrace|spanstream|generator|flat_map|flat_set|mdspan)>'
  'std::from_chars\([^;]*(double|float)'
)
# denied DIR FILE...: prints each offending line, exits non-zero if any.
denied() {
  local dir="$1"; shift
  local pattern found=0
  for pattern in "${deny[@]}"; do
    if (cd "$dir" && grep -nE -- "$pattern" "$@" /dev/null); then found=1; fi
  done
  ((found == 0))
}

# defined_everywhere OBJECT...: every tl:: symbol one of them needs is
# defined by one of them (vtables and type information included).
defined_everywhere() {
  local defined="$work/defined.$$" needed="$work/needed.$$"
  nm -C --defined-only "$@" | sed -E 's/^[0-9a-f]+ [A-Za-z] //' | sort -u >"$defined"
  nm -C -u "$@" | sed -E 's/^ +U //' | grep -E '(^| )tl::' | sort -u >"$needed" || true
  local missing
  missing="$(comm -23 "$needed" "$defined")"
  if [[ -n "$missing" ]]; then
    echo "$missing" | sed 's/^/  undefined: /'
    return 1
  fi
}

# sends_of OUTPUT FILE...: the uses sends.c reports for the adapter files,
# each once.
compat_header=platform/macos/compat/AppleSDK.h
sends_of() {
  local out="$1"; shift
  local i=0 src
  for src in "$@"; do
    (
      "$work/sends" "$src" "$compat_header" "$root/" -- "${objcxx[@]}" -I "${sends_include:-$root}" -I "$root" \
        >"$work/sends.$i" 2>&1 ||
        echo "error	$src does not parse: $(head -3 "$work/sends.$i")" >"$work/sends.$i"
    ) &
    i=$((i + 1))
    while (($(jobs -rp | wc -l) >= jobs_max)); do wait -n || true; done
  done
  wait
  cat "$work"/sends.[0-9]* | sort -u >"$out"
  rm -f "$work"/sends.[0-9]*
}

# vetted USES [--all]: prints each use that is not as reviewed and exits
# non-zero if any. With --all, an entry of the list nothing uses fails too,
# so the list says exactly what the adapter sends.
reviewed=platform/macos/reviewed-sends.txt
vetted() {
  awk -F'\t' -v all="${2:-}" -v deployment=13.0 '
    function version(v,  parts) { split(v, parts, "."); return parts[1] * 100 + parts[2] }
    FNR == NR {
      if ($0 ~ /^#/ || $0 ~ /^[ \t]*$/) next
      split($0, f, /[ \t]+/)
      key = f[1] " " f[2] " " f[3]
      since[key] = f[4]; unused[key] = 1
      next
    }
    $1 == "error" { print "  " $2; bad = 1; next }
    $1 == "bare" { print "  " $4 ": " $3 " (" $2 ") in the compat header says no macOS version"; bad = 1; next }
    $1 == "late" {
      print "  " $5 ": " $2 " came with macOS " $3 ", used outside if (@available(macOS " $3 ", *))"; bad = 1; next
    }
    $1 == "send" {
      key = $2 " " $3 " " $4
      delete unused[key]
      if (!(key in since)) { print "  " $6 ": " key " is not on the reviewed list " FILENAME; bad = 1; next }
      if (version(since[key]) > version(deployment) && version($5) < version(since[key])) {
        print "  " $6 ": " key " came with macOS " since[key] ", used outside if (@available(macOS " since[key] ", *))"
        bad = 1
      }
    }
    END {
      if (all != "") for (key in unused) { print "  " key " is listed but nothing sends it"; bad = 1 }
      exit bad
    }' "$root/$reviewed" "$1"
}

# ---------------------------------------------------------------- 1, 3: compile everything
sources=("${core[@]}" "${adapter[@]}")
mkdir -p "$work/obj"
jobs_max="$(nproc)"
for i in "${!sources[@]}"; do
  (
    rc=0
    compile "$root/${sources[$i]}" "$work/obj/$i.o" >"$work/log.$i" 2>&1 || rc=$?
    echo "$rc" >"$work/rc.$i"
  ) &
  while (($(jobs -rp | wc -l) >= jobs_max)); do wait -n || true; done
done
wait

failed=0
for i in "${!sources[@]}"; do
  if [[ "$(cat "$work/rc.$i")" == 0 && ! -s "$work/log.$i" ]]; then
    echo "ok      ${sources[$i]}"
  else
    echo "FAILED  ${sources[$i]}"
    cat "$work/log.$i"
    failed=1
  fi
done

# ---------------------------------------------------------------- 2: the deny-list
if ! denied "$root" "${core[@]}" "${adapter[@]}" platform/*.h platform/macos/*.h app/*.h diagnostics/*.h \
  statusbar/*.h hotkey/*.h settings/*.h login/*.h help/*.h 2>/dev/null; then
  echo "FAILED  library features later than macOS 13.0 (above)"
  failed=1
else
  echo "ok      no library feature later than macOS 13.0"
fi

# ---------------------------------------------------------------- 4: nothing undefined
if ((failed == 0)); then
  if defined_everywhere "$work"/obj/*.o; then
    echo "ok      every tl:: symbol the objects need is defined"
  else
    echo "FAILED  symbols of tl:: used but defined nowhere (above)"
    failed=1
  fi
fi
# ---------------------------------------------------------------- 5: the adapter's sends
clang -std=c11 -Wall -Wextra -Werror -isystem /usr/lib/llvm-14/include "$here/sends.c" \
  -L /usr/lib/llvm-14/lib -Wl,-rpath,/usr/lib/llvm-14/lib -lclang -o "$work/sends"
sends_of "$work/uses.txt" "${adapter[@]}"
if vetted "$work/uses.txt" --all; then
  echo "ok      $(grep -c '^send' "$work/uses.txt") uses of the frameworks as reviewed, none later than macOS 13.0 unguarded"
else
  echo "FAILED  uses of the frameworks not as reviewed in $reviewed (above)"
  failed=1
fi
# ---------------------------------------------------------------- 6: as Xcode sees it
xcode_started=$SECONDS
for sdk in 260000 130000; do
  for i in "${!adapter[@]}"; do
    (
      rc=0
      as_xcode "$sdk" "$root/${adapter[$i]}" >"$work/xlog.$sdk.$i" 2>&1 || rc=$?
      echo "$rc" >"$work/xrc.$sdk.$i"
    ) &
    while (($(jobs -rp | wc -l) >= jobs_max)); do wait -n || true; done
  done
done
wait
for sdk in 260000 130000; do
  bad=0
  for i in "${!adapter[@]}"; do
    if [[ "$(cat "$work/xrc.$sdk.$i")" != 0 || -s "$work/xlog.$sdk.$i" ]]; then
      echo "FAILED  ${adapter[$i]} as Xcode compiles it with the macOS $((sdk / 10000)) SDK"
      cat "$work/xlog.$sdk.$i"
      bad=1
    fi
  done
  ((bad)) && failed=1
  ((bad)) || echo "ok      ${#adapter[@]} adapter files as Xcode compiles them for macOS 13.0 with the macOS $((sdk / 10000)) SDK"
done
xcode_seconds=$((SECONDS - xcode_started))
if ((failed)); then
  echo "check: errors above" >&2
  exit 1
fi

# ---------------------------------------------------------------- self-tests
# selftest NAME EXPECTED-TEXT COMMAND...: the command must fail and say so.
selftest() {
  local name="$1" expected="$2"; shift 2
  if "$@" >"$work/self.log" 2>&1 || ! grep -qF -- "$expected" "$work/self.log"; then
    echo "check: self-test: $name went unnoticed" >&2
    cat "$work/self.log" >&2
    exit 1
  fi
  echo "ok      rejects $name"
}
# plant FILE SED-EXPRESSION COPY: a copy with one change, which must take.
plant() {
  local from="$1"
  [[ "$from" == /* ]] || from="$root/$from"
  sed "$2" "$from" >"$3"
  if cmp -s "$from" "$3"; then
    echo "check: self-test could not plant its fault in $1" >&2
    exit 1
  fi
}

# A renamed interface method...
mkdir -p "$work/mutant/platform"
cp "$root"/platform/*.h "$work/mutant/platform/"
plant platform/Alert.h 's/virtual void setMessageText(/virtual void setMessageTextRenamed(/' "$work/mutant/platform/Alert.h"
alerts_src="$(grep -l 'class MacAlert\b' "${adapter[@]}" | head -1)"
selftest "a renamed interface method" "only virtual member functions can be marked 'override'" \
  compile "$root/$alerts_src" "$work/mutant.o" "$work/mutant"

# ...a misspelt AppKit selector...
plant platform/macos/MacViews.mm 's/makeKeyAndOrderFront:/makeKeyAndOrderFrnt:/' "$work/MacViews.mm"
selftest "a misspelt AppKit selector" "declares the selector 'makeKeyAndOrderFrnt:'" \
  compile "$work/MacViews.mm" "$work/typo.o"

# ...floating-point to_chars, which Apple's libc++ marks unavailable at 13.0...
cat >"$work/to_chars.cpp" <<'EOF'
#include <charconv>
int shortest(char* out, double v) { return static_cast<int>(std::to_chars(out, out + 32, v).ptr - out); }
EOF
selftest "floating-point to_chars" "'to_chars' is unavailable" compile "$work/to_chars.cpp" "$work/to_chars.o"

# ...a deny-listed feature...
plant hotkey/HotKeyCenter.cpp 's|^namespace tl {$|#include <stop_token>\nnamespace tl {|' "$work/jthread.cpp"
selftest "a library feature later than macOS 13.0" "#include <stop_token>" denied "$work" jthread.cpp

# ...and a deleted definition.
plant statusbar/ContextMenu.cpp '/^void AppDelegate::menuHelp() {/d' "$work/ContextMenu.cpp"
for i in "${!sources[@]}"; do
  [[ "${sources[$i]}" == statusbar/ContextMenu.cpp ]] && compile "$work/ContextMenu.cpp" "$work/obj/$i.o"
done
selftest "a deleted definition" "undefined: tl::AppDelegate::menuHelp()" defined_everywhere "$work"/obj/*.o

# ...a selector only GNUstep has, a macOS 14 method outside its guard and a
# compat declaration that does not say when it came, planted together (one
# parse) and each rejected in its own words...
plant platform/macos/MacApplication.mm \
  's|void run() override { \[NSApp run\]; }|void run() override { [NSApp notImplemented:@selector(run)]; [NSApp run]; }|' \
  "$work/MacApplication.gnustep.mm"
plant "$work/MacApplication.gnustep.mm" 's|if (@available(macOS 14, \*)) {|if (flag \|\| !flag) {|' \
  "$work/MacApplication.mm"
mkdir -p "$work/undated/platform/macos/compat"
plant $compat_header 's|^- (NSApplicationActivationPolicy)activationPolicy TL_MACOS(10.6);|- (NSApplicationActivationPolicy)activationPolicy;|' \
  "$work/undated/$compat_header"
sends_include="$work/undated" sends_of "$work/planted.txt" "$work/MacApplication.mm"
selftest "a selector only GNUstep has" "NSObject notImplemented: is not on the reviewed list" vetted "$work/planted.txt"
selftest "a macOS 14 method called without a guard" \
  "NSApplication activate came with macOS 14.0, used outside if (@available(macOS 14.0, *))" vetted "$work/planted.txt"
selftest "a compat declaration without its macOS version" "activationPolicy (ObjCInstanceMethodDecl) in the compat header says no macOS version" \
  vetted "$work/planted.txt"

# ...what Xcode itself rejects: a deprecated constant, nil where Apple's
# headers say nonnull, a negated @available (it guards nothing) and a macOS
# 14 method sent without the SDK check, each against Apple's declarations...
plant platform/macos/MacGraphics.mm 's/: NSCompositingOperationSourceOver;/: NSCompositeSourceOver;/' "$work/MacGraphics.mm"
selftest "a deprecated constant" "'NSCompositeSourceOver' is deprecated" as_xcode 260000 "$work/MacGraphics.mm"
plant platform/macos/MacMenus.mm 's/initWithTitle:@""\]/initWithTitle:nil]/' "$work/MacMenus.mm"
selftest "nil passed to a nonnull parameter" "null passed to a callee that requires a non-null argument" \
  as_xcode 260000 "$work/MacMenus.mm"
plant platform/macos/MacApplication.mm 's|if (@available(macOS 14, \*)) {|if (!@available(macOS 14, *)) {|' \
  "$work/MacApplication.negated.mm"
selftest "a negated @available" "'activate' is only available on macOS 14.0 or newer" \
  as_xcode 260000 "$work/MacApplication.negated.mm"
plant platform/macos/MacApplication.mm '/^#if defined(__MAC_OS_X_VERSION_MAX_ALLOWED) && __MAC_OS_X_VERSION_MAX_ALLOWED >= 140000$/d; /^#endif$/d' \
  "$work/MacApplication.unchecked.mm"
selftest "a macOS 14 method without the SDK check" "no known instance method for selector 'activate'" \
  as_xcode 130000 "$work/MacApplication.unchecked.mm"

# ...a selector only GNUstep has, sent inside a template: sends.c cannot
# resolve it there, and Apple's declarations do not have it...
plant platform/macos/MacViews.mm 's|^    \[view layoutSubtreeIfNeeded\];|    [view_ notImplemented:@selector(layoutSubtreeIfNeeded)];\n&|' \
  "$work/MacViews.template.mm"
sends_of "$work/template.txt" "$work/MacViews.template.mm"
selftest "a send in a template that cannot be resolved" "the message notImplemented: cannot be resolved here" \
  vetted "$work/template.txt"
selftest "a selector only GNUstep has, in a template" "declares the selector 'notImplemented:'" \
  as_xcode 260000 "$work/MacViews.template.mm"

# ...and an Apple header before MacBridge.h.
plant platform/macos/MacStatusBar.mm '1s|^|#import <AppKit/AppKit.h>\n|' "$work/MacStatusBar.mm"
selftest "an Apple header before MacBridge.h" "include platform/macos/MacBridge.h before any Apple header" \
  compile "$work/MacStatusBar.mm" "$work/order.o"

echo "check: ${#core[@]} core and ${#adapter[@]} adapter files compiled against Apple's libc++ markup, $(grep -c '^send' "$work/uses.txt") uses of the frameworks as reviewed; all fifteen planted faults rejected ($((SECONDS - started)) s, of which ${xcode_seconds} s as Xcode sees it)"
