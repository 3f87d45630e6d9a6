# Sourced: the environment every Windows binary of the build runs in. $1 = the build folder.
# Sets WINE to the loader that runs the build's executables.
export WINEPREFIX="$1/wineprefix"
export WINEDEBUG=-all
# No Mono or Gecko install prompts when the prefix boots.
export WINEDLLOVERRIDES="mscoree=;mshtml="
# Stable code page (1252) and a time zone with daylight saving. A test that needs another
# ANSI code page names a locale in BRIVELO_WINE_LC_ALL (Wine derives the code page from it).
export LANG=C.UTF-8
export LC_ALL="${BRIVELO_WINE_LC_ALL:-C.UTF-8}"
# Wine passes TZ on to Windows programs, and the C run time there reads only the POSIX form
# (a zone file name such as Europe/Berlin silently becomes UTC); this rule is Berlin's in both.
export TZ='CET-1CEST,M3.5.0,M10.5.0/3'
WINE=wine
if [ "$(cat "$1/target-arch" 2>/dev/null)" = x86_64 ]; then
  # Debian's wine script prefers the 32-bit loader whenever it is installed, even where
  # 32-bit code cannot run; a 64-bit build goes to the 64-bit loader directly.
  WINE=/usr/lib/wine/wine64
  export WINELOADER=$WINE
fi
