#!/usr/bin/env bash
# Builds the Debian package from a build tree and checks it as an installer and
# a user would meet it: the programs in /usr/lib/varnotek with their Config.ini
# and links to them in /usr/bin, nothing else in /usr/bin, the CUPS backend in
# /usr/lib/cups/backend, the plug-in libraries in their own folder and none in
# the system's, the desktop entries, icons and man pages, the dependencies named
# by package, and lintian's verdict (when lintian is installed: an error fails,
# warnings are shown); then, unpacked into a folder that is not /usr, the
# programs started from another directory through their links, the backend, and
# the plug-in hosts with their libraries.
# Skipped (77) when cpack or the Debian tools are missing.
#
# Usage: check_package.sh CPACK BUILD_DIR WORK_DIR VERSION PROGRAM...
set -euo pipefail
cpack=$1 build=$2 work=$3 version=$4
shift 4
programs=("$@")

for tool in "$cpack" dpkg-deb dpkg-shlibdeps file; do
  command -v "$tool" >/dev/null || { echo "SKIPPED: $tool is not installed (./run setup installs it)"; exit 77; }
done

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
has() { grep -qE "$1" <<<"$2"; }
includes() { local p; for p in "${programs[@]}"; do [ "$p" = "$1" ] && return 0; done; return 1; }

rm -rf "$work"
mkdir -p "$work/elsewhere" "$work/state" "$work/home" "$work/tmp"
mkdir -m 700 "$work/runtime"
# What lintian and the programs leave in temporary, runtime and home folders
# stays in the work folder.
private=(HOME="$work/home" TMPDIR="$work/tmp" XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/home/.config"
         XDG_CACHE_HOME="$work/home/.cache" XDG_DATA_HOME="$work/home/.local/share"
         XDG_STATE_HOME="$work/home/.local/state")
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
for p in "${programs[@]}"; do
  has "^-rw-r--r-- .* \./usr/share/man/man1/$p\.1\.gz\$" "$contents" || fail "no man page $p.1.gz"
done
# The libraries hosts load are the suite's own, not the system's.
for pair in bot-installer:libbot npkova-host:libnpkova; do
  includes "${pair%%:*}" || continue
  has "^-rw-r--r-- .* \./usr/lib/varnotek/plugins/${pair#*:}\.so\$" "$contents" ||
    fail "no /usr/lib/varnotek/plugins/${pair#*:}.so"
done
if has ' \./usr/lib/([a-z0-9_]+-linux-gnu/)?[^/]+\.so' "$contents"; then
  fail "a library in a directory of the system's: $(grep -E ' \./usr/lib/([a-z0-9_]+-linux-gnu/)?[^/]+\.so' <<<"$contents")"
fi
# The CUPS backend where cupsd looks for backends; 0755, so that cupsd runs it as lp.
has '^-rwxr-xr-x .* \./usr/lib/cups/backend/varnotek$' "$contents" ||
  fail "no CUPS backend /usr/lib/cups/backend/varnotek with mode 0755"
if has '(test_|-shots|vnkbench)' "$contents"; then
  fail "tests or tools that are not for users are in the package: $(grep -E '(test_|-shots|vnkbench)' <<<"$contents")"
fi

# --- the dependencies, by package name ---
depends=$(dpkg-deb -f "$deb" Depends)
recommends=$(dpkg-deb -f "$deb" Recommends)
echo "Depends: $depends"
echo "Recommends: $recommends"
needed=(libc6 'libstdc\+\+6' 'libicu[0-9]+' 'libcups2(t64)?')
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

# --- lintian, when it is installed ---
if command -v lintian >/dev/null; then
  # Root is warned about; the check runs as whoever runs the tests.
  lint=$(env "${private[@]}" lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges' || true)
  [ -z "$lint" ] || echo "lintian: $lint"
  if has '^E: ' "$lint"; then fail "lintian finds errors in the package"; fi
else
  echo "lintian is not installed: the package is not linted (./run setup installs it)"
fi

# --- unpacked into a folder, started from another directory through the links ---
root=$work/root
dpkg-deb -x "$deb" "$root"
# The changelog's latest entry is this version's (lintian does not compare them).
latest=$(gzip -dc "$root/usr/share/doc/varnotek-suite/changelog.gz" | sed -n 1p) || true
[[ $latest == "varnotek-suite ($version) "* ]] || fail "the changelog's latest entry is not $version: $latest"
cd "$work/elsewhere"
quiet=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM -u VNK_IPX_PORT "${private[@]}" VNK_STATE_DIR="$work/state")
if includes brevan; then
  # Config.ini is read beside the program file the link leads to.
  sed -i 's/^Title=.*/Title=Unpacked Suite/' "$root/usr/lib/varnotek/Config.ini"
fi
# Every program tells its version and usage without a display and without the
# network, and starts nothing.
for p in "${programs[@]}"; do
  out=$("${quiet[@]}" "$root/usr/bin/$p" --version 2>&1) && [ "$(head -n 1 <<<"$out")" = "$p $version" ] ||
    fail "$p --version: $out"
  [ "$p" != brevan ] || [[ $(sed -n 2p <<<"$out") == "Unpacked Suite "* ]] ||
    fail "brevan --version did not read the Config.ini beside it: $out"
  out=$("${quiet[@]}" "$root/usr/bin/$p" --help 2>&1) && [[ ${out,,} == usage:\ $p[[:space:]]* ]] || fail "$p --help: $out"
done
# The backend starts from the unpacked tree: a wrong number of arguments gets
# its usage and status 1 (CUPS_BACKEND_FAILED), and nothing is sent.
out=$("${quiet[@]}" "$root/usr/lib/cups/backend/varnotek" 1 2 2>&1) && fail "the backend took two arguments: $out"
[[ $out == "Usage: varnotek "* ]] || fail "the backend did not start from the unpacked tree: $out"
if includes bot-installer; then
  # The wizard's library is loaded from the unpacked tree: the entry point
  # registers the monitor, then finds no pserver.bin to add a port for.
  out=$("${quiet[@]}" "$root/usr/bin/bot-installer" --export ClientCallme --monitor "Unpacked Port" 2>&1) ||
    fail "bot-installer did not call the library: $out"
  grep -rqs "Unpacked Port" "$work/state" || fail "bot-installer's library registered no monitor: $out"
fi
if includes npkova-host; then
  # The plug-in is loaded, initialised and shut down for a page without embeds.
  echo '<html><body>nothing embedded</body></html>' >"$work/elsewhere/blank.htm"
  out=$("${quiet[@]}" QT_QPA_PLATFORM=offscreen "$root/usr/bin/npkova-host" --quit-when-done blank.htm 2>&1) ||
    fail "npkova-host did not load its plug-in: $out"
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
