#!/usr/bin/env bash
# Registration of the module in the Wine prefix, read back with the registry tool: every
# value of every class, the short path of a module in a folder with a space, and what
# unregistration removes and keeps. Ends with the module registered again.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
source "$root/scripts/wine-env"
run() { "$root/scripts/wine-run" "$@" 2>/dev/null | tr -d '\r'; }
passed=0
failed=0
check() {
  if [ "$2" = "$3" ]; then passed=$((passed + 1)); else failed=$((failed + 1)); echo "FAIL: $1: got '$2', want '$3'"; fi
}
# The default value of KEY (or value NAME) from a recursive listing in $listing.
value() {
  KEY="HKEY_CLASSES_ROOT\\$1" NAME="${2:-(Default)}" awk '
    /^HKEY_/ { cur = $0; next }
    cur == ENVIRON["KEY"] && $1 == ENVIRON["NAME"] && $2 == "REG_SZ" { sub(/^[ \t]*[^ \t]+[ \t]+REG_SZ[ \t]+/, ""); print; exit }
  ' <<<"$listing"
}
libid='{0FF16DFE-1025-4852-963C-C40C017D0165}'
classes=("Kelvarin.Image|{63E20705-0DA7-4347-8CAD-27AE8EF3AA0D}|image Object"
         "Kelvarin.BinaryRW|{BB97D99C-98CF-443E-934A-B6F3E83E7478}|BinaryRW Object"
         "Kelvarin.Info|{B8381B7E-20B6-422D-A6F4-A5D77E80BA6D}|Info Object")
module=$(winpath "$KELV_WIN_BUILD/kelvutil.dll")

check "register" "$(run register; echo $?)" "0"
for c in "${classes[@]}"; do
  IFS='|' read -r progid clsid desc <<<"$c"
  listing=$(run reg query "HKCR\\CLSID\\$clsid" /s; run reg query "HKCR\\$progid" /s)
  check "$progid class description" "$(value "CLSID\\$clsid")" "$desc"
  check "$progid server path" "$(value "CLSID\\$clsid\\InprocServer32")" "$module"
  check "$progid threading model" "$(value "CLSID\\$clsid\\InprocServer32" ThreadingModel)" "Apartment"
  check "$progid ProgID default" "$(value "$progid")" "$desc"
  check "$progid ProgID CLSID" "$(value "$progid\\CLSID")" "$clsid"
  check "$progid CLSID ProgID" "$(value "CLSID\\$clsid\\ProgID")" "$progid"
  check "$progid version" "$(value "CLSID\\$clsid\\Version")" "1.0"
  check "$progid type library" "$(value "CLSID\\$clsid\\Typelib")" "$libid"
done
listing=$(run reg query "HKCR\\TypeLib\\$libid" /s)
check "type library registered" "$(value "TypeLib\\$libid\\1.0")" "Kelvarin.image Library"
check "type library help directory" "$(value "TypeLib\\$libid\\1.0\\HELPDIR")" "${module%\\*}\\"

# A module in a folder whose path holds a space registers its short path.
spaced="$WINEPREFIX/drive_c/kelv space"
mkdir -p "$spaced"
cp "$KELV_WIN_BUILD/kelvutil.dll" "$spaced/kelvutil.dll"
"$WINE" regsvr32 /s 'C:\kelv space\kelvutil.dll' >/dev/null 2>&1
check "register from a folder with a space" "$?" "0"
listing=$(run reg query 'HKCR\CLSID\{63E20705-0DA7-4347-8CAD-27AE8EF3AA0D}\InprocServer32')
short=$(value 'CLSID\{63E20705-0DA7-4347-8CAD-27AE8EF3AA0D}\InprocServer32')
case "$short" in *" "*) has_space=yes ;; *) has_space=no ;; esac
check "short path has no space" "$has_space" "no"
case "$(echo "$short" | tr 'a-z' 'A-Z')" in 'C:\KELV'*'~'*'\KELVUTIL.DLL') short_form=yes ;; *) short_form=no ;; esac
check "short path names the copy in its 8.3 form ($short)" "$short_form" "yes"

# Unregistration removes the six trees and keeps the type library.
"$WINE" regsvr32 /u /s 'C:\kelv space\kelvutil.dll' >/dev/null 2>&1
check "unregister" "$?" "0"
for c in "${classes[@]}"; do
  IFS='|' read -r progid clsid desc <<<"$c"
  "$WINE" reg query "HKCR\\CLSID\\$clsid" >/dev/null 2>&1; check "$progid CLSID tree removed" "$?" "1"
  "$WINE" reg query "HKCR\\$progid" >/dev/null 2>&1; check "$progid ProgID tree removed" "$?" "1"
done
"$WINE" reg query "HKCR\\TypeLib\\$libid\\1.0" >/dev/null 2>&1
check "type library stays registered" "$?" "0"
rm -rf "$spaced"

check "register again" "$(run register; echo $?)" "0"
listing=$(run reg query 'HKCR\CLSID\{B8381B7E-20B6-422D-A6F4-A5D77E80BA6D}\InprocServer32')
check "registered path restored" "$(value 'CLSID\{B8381B7E-20B6-422D-A6F4-A5D77E80BA6D}\InprocServer32')" "$module"
echo "$passed passed, $failed failed"
exit "$failed"
