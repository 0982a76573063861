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
#
# Then it checks itself: a renamed interface method, a misspelt AppKit
# selector, a floating-point to_chars, a deny-listed feature and a deleted
# definition must each be rejected. A check that lets one through proves
# nothing. Nothing is linked or run: whether the program behaves right on a
# Mac is beyond this machine.
#
# Exits non-zero on any error or warning. Installs clang, Debian's libc++
# headers and GNUstep's development headers with apt-get when missing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"
cd "$root"
started=$SECONDS

need_install=()
command -v clang++ >/dev/null 2>&1 || need_install+=(clang)
[[ -f /usr/lib/llvm-14/include/c++/v1/__availability ]] || need_install+=(libc++-14-dev libc++abi-14-dev)
[[ -f /usr/include/GNUstep/AppKit/AppKit.h ]] || need_install+=(libgnustep-gui-dev)
[[ -f /usr/include/GNUstep/Foundation/Foundation.h ]] || need_install+=(libgnustep-base-dev)
if ((${#need_install[@]})); then
  echo "check: installing ${need_install[*]}"
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""
  [[ "$(id -u)" -eq 0 ]] || SUDO="sudo"
  if ! $SUDO apt-get install -y --no-install-recommends "${need_install[@]}" >/tmp/tuckline-check-apt.log 2>&1; then
    $SUDO apt-get update >>/tmp/tuckline-check-apt.log 2>&1
    $SUDO apt-get install -y --no-install-recommends "${need_install[@]}" >>/tmp/tuckline-check-apt.log 2>&1 || {
      tail -20 /tmp/tuckline-check-apt.log >&2
      exit 1
    }
  fi
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
objcxx=(-x objective-c++ "${apple_cxx[@]}"
        -fobjc-runtime=gnustep-2.0 -fobjc-arc -fblocks -fobjc-exceptions
        -DTUCKLINE_SYNTAX_CHECK=1
        -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_GUI_LIBRARY=1 -DGNU_RUNTIME=1
        -isystem "$work/runtime" -isystem /usr/include/GNUstep)

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
  sed "$2" "$root/$1" >"$3"
  if cmp -s "$root/$1" "$3"; then
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

echo "check: ${#core[@]} core and ${#adapter[@]} adapter files compiled against Apple's libc++ markup; all five planted faults rejected ($((SECONDS - started)) s)"
