#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it as an installer and
# a user would meet it: the programs in /usr/lib/varnotek with their Config.ini
# and links to them in /usr/bin, nothing else in /usr/bin, the desktop entries,
# icons and man pages, the dependencies named by package; then, unpacked into a
# folder, the programs started from another directory through their links.
# Skipped (77) when cpack or the Debian tools are missing.
#
# Usage: check_package.sh CPACK BUILD_DIR WORK_DIR PROGRAM...
set -euo pipefail
cpack=$1 build=$2 work=$3
shift 3
programs=("$@")

for tool in "$cpack" dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed (./run setup installs it)"; exit 77; }
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
has() { grep -qE "$1" <<<"$2"; }
includes() { local p; for p in "${programs[@]}"; do [ "$p" = "$1" ] && return 0; done; return 1; }

rm -rf "$work"
mkdir -p "$work/elsewhere" "$work/state"
start=$SECONDS
if ! "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1; then
  cat "$work/cpack.log"; echo "FAIL: cpack could not build the package"; exit 1
fi
debs=("$work"/*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { ls -l "$work"; echo "FAIL: not one .deb in $work"; exit 1; }
deb=${debs[0]}
echo "built $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB) in $((SECONDS - start)) s"

# --- the files ---
contents=$(dpkg-deb --contents "$deb")
for p in "${programs[@]}"; do
  has "^-rwxr-xr-x .* \./usr/lib/varnotek/$p\$" "$contents" || fail "no program /usr/lib/varnotek/$p"
  has "^lrwxrwxrwx .* \./usr/bin/$p -> \.\./lib/varnotek/$p\$" "$contents" || fail "no link /usr/bin/$p"
done
links=$(grep -c ' \./usr/bin/.' <<<"$contents" || true)
[ "$links" -eq ${#programs[@]} ] || fail "/usr/bin holds $links entries, not the ${#programs[@]} programs:
$(grep ' \./usr/bin/.' <<<"$contents")"
has '^-rw-r--r-- .* \./usr/lib/varnotek/Config\.ini$' "$contents" || fail "no Config.ini beside the programs"
for p in brevan hollin pellam; do
  includes "$p" || continue
  has " \./usr/share/applications/varnotek-$p\.desktop\$" "$contents" || fail "no desktop entry for $p"
  has " \./usr/share/icons/hicolor/scalable/apps/varnotek-$p\.svg\$" "$contents" || fail "no icon for $p"
done
for page in vnkctl vnksim; do
  has " \./usr/share/man/man1/$page\.1(\.gz)?\$" "$contents" || fail "no man page for $page"
done
if includes bot-installer; then
  # The setup wizard's library goes where the dynamic linker looks, so that a
  # setup program loads it by name.
  has "^-rw.r-.r-. .* \./usr/lib/([a-z0-9_]+-linux-gnu/)?libbot\.so\$" "$contents" || fail "no /usr/lib/.../libbot.so"
fi
if has '(test_|-shots|vnkbench)' "$contents"; then
  fail "tests or tools that are not for users are in the package: $(grep -E '(test_|-shots|vnkbench)' <<<"$contents")"
fi

# --- the dependencies, by package name ---
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
needed=(libc6 'libstdc\+\+6' 'libicu[0-9]+')
if includes brevan || includes hollin; then
  needed+=(libqt6core6 libqt6gui6 libqt6widgets6 fonts-noto-cjk)
fi
for d in "${needed[@]}"; do
  has "(^|, )$d( |,|\$)" "$depends" || fail "Depends does not name $d"
done
if includes hollin; then
  has "(^|, )qt6-translations-l10n( |,|\$)" "$recommends, $depends" ||
    fail "qt6-translations-l10n is neither recommended nor a dependency"
fi

# --- unpacked, started from another directory through the links ---
root=$work/root
dpkg-deb -x "$deb" "$root"
cd "$work/elsewhere"
quiet=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u VNK_IPX_PORT VNK_STATE_DIR="$work/state")
if includes vnkctl; then
  out=$("${quiet[@]}" "$root/usr/bin/vnkctl" --version 2>&1) && [[ $out == vnkctl\ * ]] || fail "vnkctl --version: $out"
fi
if includes brevan; then
  # Config.ini is read beside the program file the link leads to.
  sed -i 's/^Title=.*/Title=Unpacked Suite/' "$root/usr/lib/varnotek/Config.ini"
  out=$("${quiet[@]}" "$root/usr/bin/brevan" --version 2>&1) || true
  [[ $out == "brevan: Unpacked Suite "* ]] || fail "brevan --version did not read the Config.ini beside it: $out"
  out=$("${quiet[@]}" "$root/usr/bin/brevan" --help 2>&1) && [[ $out == "Usage: brevan "* ]] || fail "brevan --help: $out"
fi
if includes pellam && includes brevan; then
  # No registry value: the launcher takes brevan from beside itself; brevan,
  # without a display, says so on the output it inherited.
  if ! "${quiet[@]}" "$root/usr/bin/pellam" >"$work/pellam.out" 2>&1; then
    fail "pellam did not end with status 0"
  fi
  for _ in $(seq 100); do
    grep -q "brevan: no display" "$work/pellam.out" && break
    sleep 0.1
  done
  grep -q "brevan: no display" "$work/pellam.out" || fail "pellam did not start brevan: $(cat "$work/pellam.out")"
fi

cd "$build"
if [ $failures -gt 0 ]; then
  echo "$failures failure(s); the package's contents:"; echo "$contents"
  exit 1
fi
rm -rf "$work"
echo "the package holds the suite: ${programs[*]}"
