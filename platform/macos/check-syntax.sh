#!/usr/bin/env bash
# Checks the Mac adapter on a machine without Apple's SDK: every .mm file is
# parsed and type-checked (clang -fsyntax-only, Objective-C++ with ARC, as
# the Mac build compiles it) against the real platform/*.h interfaces,
# GNUstep's AppKit and Foundation, and compat/AppleSDK.h for the rest.
# Nothing is compiled to code, linked or run.
#
# Then it checks itself: a copy of the interfaces with one method renamed,
# and a copy of an adapter file with one AppKit selector misspelt, must both
# be rejected. A check that lets either through proves nothing.
#
# Exits non-zero on any error or warning. Installs clang and GNUstep's
# development headers with apt-get when they are missing.
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
root="$(cd "$here/../.." && pwd)"

need_install=()
command -v clang++ >/dev/null 2>&1 || need_install+=(clang)
[[ -f /usr/include/GNUstep/AppKit/AppKit.h ]] || need_install+=(libgnustep-gui-dev)
[[ -f /usr/include/GNUstep/Foundation/Foundation.h ]] || need_install+=(libgnustep-base-dev)
if ((${#need_install[@]})); then
  echo "check-syntax: installing ${need_install[*]}"
  export DEBIAN_FRONTEND=noninteractive
  if ! apt-get install -y --no-install-recommends "${need_install[@]}" >/tmp/tuckline-check-apt.log 2>&1; then
    apt-get update >>/tmp/tuckline-check-apt.log 2>&1
    apt-get install -y --no-install-recommends "${need_install[@]}" >>/tmp/tuckline-check-apt.log 2>&1 || {
      tail -20 /tmp/tuckline-check-apt.log >&2
      exit 1
    }
  fi
fi

# GNUstep on Debian is built for gcc's Objective-C runtime; its headers come
# with gcc's libobjc development package.
gcc_objc=""
for dir in /usr/lib/gcc/*/*/include; do
  [[ -f "$dir/objc/runtime.h" ]] && gcc_objc="$dir"
done
if [[ -z "$gcc_objc" ]]; then
  echo "check-syntax: gcc's objc/runtime.h not found (libobjc-*-dev)" >&2
  exit 1
fi

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

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
  echo "check-syntax: gcc's objc/runtime.h changed; adapt the accommodation above" >&2
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

flags=(
  -fsyntax-only -x objective-c++ -std=c++20
  -fobjc-runtime=gnustep-2.0 -fobjc-arc -fblocks -fobjc-exceptions
  -Wall -Wextra -Wpedantic -Werror
  -DTUCKLINE_SYNTAX_CHECK=1
  -DGNUSTEP -DGNUSTEP_BASE_LIBRARY=1 -DGNU_GUI_LIBRARY=1 -DGNU_RUNTIME=1
  -isystem "$work/runtime" -isystem /usr/include/GNUstep
)

mapfile -t sources < <(find "$here" -maxdepth 1 -name '*.mm' | sort)
if ((${#sources[@]} == 0)); then
  echo "check-syntax: no .mm files in $here" >&2
  exit 1
fi

jobs_max="$(nproc)"
for i in "${!sources[@]}"; do
  (
    rc=0
    clang++ "${flags[@]}" -I "$root" "${sources[$i]}" >"$work/log.$i" 2>&1 || rc=$?
    echo "$rc" >"$work/rc.$i"
  ) &
  while (($(jobs -rp | wc -l) >= jobs_max)); do wait -n || true; done
done
wait

failed=0
for i in "${!sources[@]}"; do
  name="${sources[$i]#"$root"/}"
  if [[ "$(cat "$work/rc.$i")" == 0 && ! -s "$work/log.$i" ]]; then
    echo "ok      $name"
  else
    echo "FAILED  $name"
    cat "$work/log.$i"
    failed=1
  fi
done
if ((failed)); then
  echo "check-syntax: errors above" >&2
  exit 1
fi

# The check must reject a renamed interface method...
mkdir -p "$work/mutant/platform"
cp "$root"/platform/*.h "$work/mutant/platform/"
sed -i 's/virtual void setMessageText(/virtual void setMessageTextRenamed(/' "$work/mutant/platform/Alert.h"
if ! grep -q setMessageTextRenamed "$work/mutant/platform/Alert.h"; then
  echo "check-syntax: self-test could not rename Alert::setMessageText" >&2
  exit 1
fi
alerts_src="$(grep -l 'class MacAlert\b' "${sources[@]}" | head -1)"
if clang++ "${flags[@]}" -I "$work/mutant" -I "$root" "$alerts_src" >"$work/mutant.log" 2>&1 ||
  ! grep -q "only virtual member functions can be marked 'override'" "$work/mutant.log"; then
  echo "check-syntax: self-test: a renamed interface method went unnoticed" >&2
  cat "$work/mutant.log" >&2
  exit 1
fi
# ...and a misspelt AppKit selector.
sed 's/makeKeyAndOrderFront:/makeKeyAndOrderFrnt:/' "$here/MacViews.mm" >"$work/MacViews.mm"
if cmp -s "$here/MacViews.mm" "$work/MacViews.mm"; then
  echo "check-syntax: self-test could not misspell makeKeyAndOrderFront:" >&2
  exit 1
fi
if clang++ "${flags[@]}" -I "$root" "$work/MacViews.mm" >"$work/typo.log" 2>&1 ||
  ! grep -q "declares the selector 'makeKeyAndOrderFrnt:'" "$work/typo.log"; then
  echo "check-syntax: self-test: a misspelt AppKit selector went unnoticed" >&2
  cat "$work/typo.log" >&2
  exit 1
fi

echo "check-syntax: ${#sources[@]} files clean; both deliberate faults rejected"
