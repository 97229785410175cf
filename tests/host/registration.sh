#!/usr/bin/env bash
# Registration of the module in the Wine prefix, read back from the registry: every
# value of every class, the short path of a module in a folder with a space, and what
# unregistration removes and keeps. Ends with the module registered again. The values
# of each state are read by one script-host run (tools/regread.vbs), since each program
# start costs seconds under an emulated Wine.
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
source "$root/scripts/wine-env"
run() { "$root/scripts/wine-run" "$@" 2>/dev/null | tr -d '\r'; }
passed=0
failed=0
check() {
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1: got '$2', want '$3'"; fi
}
# Reads the given values (HKCR\KEY\ for a default value, HKCR\KEY\NAME) into `reg`; a
# value that cannot be read is "<missing>".
declare -A reg
read_registry() {
  reg=()
  local line
  while IFS= read -r line; do
    case "$line" in
      *'!') reg["${line%!}"]='<missing>' ;;
      *=*) reg["${line%%=*}"]=${line#*=} ;;
    esac
  done < <(run script "$here/tools/regread.vbs" "$@")
}
# The value at PATH from the last read.
value() { echo "${reg[$1]-<not read>}"; }

libid='{0FF16DFE-1025-4852-963C-C40C017D0165}'
classes=("Kelvarin.Image|{63E20705-0DA7-4347-8CAD-27AE8EF3AA0D}|image Object"
         "Kelvarin.BinaryRW|{BB97D99C-98CF-443E-934A-B6F3E83E7478}|BinaryRW Object"
         "Kelvarin.Info|{B8381B7E-20B6-422D-A6F4-A5D77E80BA6D}|Info Object")
image_server='HKCR\CLSID\{63E20705-0DA7-4347-8CAD-27AE8EF3AA0D}\InprocServer32\'
info_server='HKCR\CLSID\{B8381B7E-20B6-422D-A6F4-A5D77E80BA6D}\InprocServer32\'
typelib="HKCR\\TypeLib\\$libid\\1.0\\"
module=$(winpath "$KELV_WIN_BUILD/kelvutil.dll")

check "register" "$(run register; echo $?)" "0"
paths=("$typelib" "${typelib}HELPDIR\\")
for c in "${classes[@]}"; do
  IFS='|' read -r progid clsid desc <<<"$c"
  k="HKCR\\CLSID\\$clsid"
  paths+=("$k\\" "$k\\InprocServer32\\" "$k\\InprocServer32\\ThreadingModel" "HKCR\\$progid\\"
          "HKCR\\$progid\\CLSID\\" "$k\\ProgID\\" "$k\\Version\\" "$k\\Typelib\\")
done
read_registry "${paths[@]}"
for c in "${classes[@]}"; do
  IFS='|' read -r progid clsid desc <<<"$c"
  k="HKCR\\CLSID\\$clsid"
  check "$progid class description" "$(value "$k\\")" "$desc"
  check "$progid server path" "$(value "$k\\InprocServer32\\")" "$module"
  check "$progid threading model" "$(value "$k\\InprocServer32\\ThreadingModel")" "Apartment"
  check "$progid ProgID default" "$(value "HKCR\\$progid\\")" "$desc"
  check "$progid ProgID CLSID" "$(value "HKCR\\$progid\\CLSID\\")" "$clsid"
  check "$progid CLSID ProgID" "$(value "$k\\ProgID\\")" "$progid"
  check "$progid version" "$(value "$k\\Version\\")" "1.0"
  check "$progid type library" "$(value "$k\\Typelib\\")" "$libid"
done
check "type library registered" "$(value "$typelib")" "Kelvarin.image Library"
check "type library help directory" "$(value "${typelib}HELPDIR\\")" "${module%\\*}\\"

# A module in a folder whose path holds a space registers its short path.
spaced="$WINEPREFIX/drive_c/kelv space"
mkdir -p "$spaced"
cp "$KELV_WIN_BUILD/kelvutil.dll" "$spaced/kelvutil.dll"
"$WINE" "$KELV_WIN_SYSTEM\\regsvr32.exe" /s 'C:\kelv space\kelvutil.dll' >/dev/null 2>&1
check "register from a folder with a space" "$?" "0"
read_registry "$image_server"
short=$(value "$image_server")
case "$short" in *" "*) has_space=yes ;; *) has_space=no ;; esac
check "short path has no space" "$has_space" "no"
case "$(echo "$short" | tr 'a-z' 'A-Z')" in 'C:\KELV'*'~'*'\KELVUTIL.DLL') short_form=yes ;; *) short_form=no ;; esac
check "short path names the copy in its 8.3 form ($short)" "$short_form" "yes"

# Unregistration removes the six trees and keeps the type library.
"$WINE" "$KELV_WIN_SYSTEM\\regsvr32.exe" /u /s 'C:\kelv space\kelvutil.dll' >/dev/null 2>&1
check "unregister" "$?" "0"
paths=("$typelib")
for c in "${classes[@]}"; do
  IFS='|' read -r progid clsid desc <<<"$c"
  paths+=("HKCR\\CLSID\\$clsid\\" "HKCR\\CLSID\\$clsid\\InprocServer32\\" "HKCR\\$progid\\" "HKCR\\$progid\\CLSID\\")
done
read_registry "${paths[@]}"
for c in "${classes[@]}"; do
  IFS='|' read -r progid clsid desc <<<"$c"
  check "$progid CLSID tree removed" "$(value "HKCR\\CLSID\\$clsid\\")|$(value "HKCR\\CLSID\\$clsid\\InprocServer32\\")" \
    "<missing>|<missing>"
  check "$progid ProgID tree removed" "$(value "HKCR\\$progid\\")|$(value "HKCR\\$progid\\CLSID\\")" "<missing>|<missing>"
done
check "type library stays registered" "$(value "$typelib")" "Kelvarin.image Library"
rm -rf "$spaced"

check "register again" "$(run register; echo $?)" "0"
read_registry "$info_server"
check "registered path restored" "$(value "$info_server")" "$module"
echo "$passed passed, $failed failed"
exit "$failed"
