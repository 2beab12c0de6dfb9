#!/usr/bin/env bash
# The control's persistence through a container: object-element parameters
# loaded through a property bag (the black list only under its persisted
# name), what it saves to a property bag, and a stream round trip into a
# second control.
source "$(dirname "$0")/../../tools/wine/harness.sh"
zv_standalone
source "$(dirname "$0")/control/common.sh"

ctl_register64
ctl_install_recorder 0
PAGE=$ZV_WINE_WORK/ctl-persist.html

# Only the wrong name: the black list stays empty.
ctl_page "$PAGE" "ProtectAppBlackList=ignored.exe"
out=$(ctl_container "$PAGE" --no-activate ProtectAppBlackList)
zv_expect_match "\"ProtectAppBlackList\" as a parameter is not loaded" "$out" '^ProtectAppBlackList -> ""$'

# Every parameter under its persisted name; a short that does not convert
# leaves the default; names ignore case like a browser's parameter bag.
ctl_page "$PAGE" "AppNotification=0" "WebSandboxMode=0" "ProtectKeyCheat=0" "ProtectKeyList=ALT+TAB,&quot;CTRL&quot;" \
  "ProtectMouseCheat=0" "PROTECTAPPCHEAT=0" "ProtectAppExceptionList=calc.exe" "m_ProtectAppBlackList=black.exe" \
  "ProtectAppBlackList=ignored.exe" "KeepAliveMillisec=2500" "ProtectExplorerCheat=yes" \
  "ProtectExplorerExceptionList=http://exam/" "ProtectIEToolbarCheat=0" "DebugLog=0" "DebugSandbox=1" "Text=page text"
out=$(ctl_container "$PAGE" --no-activate --save-bag --stream-check AppNotification WebSandboxMode ProtectKeyCheat \
  ProtectKeyList ProtectMouseCheat ProtectAppCheat ProtectAppExceptionList ProtectAppBlackList KeepAliveMillisec \
  ProtectExplorerCheat ProtectExplorerExceptionList ProtectIEToolbarCheat DebugLog DebugSandbox Text)
expected=$(cat <<'L'
AppNotification -> 0
WebSandboxMode -> 0
ProtectKeyCheat -> 0
ProtectKeyList -> "ALT+TAB,"CTRL""
ProtectMouseCheat -> 0
ProtectAppCheat -> 0
ProtectAppExceptionList -> "calc.exe"
ProtectAppBlackList -> "black.exe"
KeepAliveMillisec -> 2500
ProtectExplorerCheat -> 1
ProtectExplorerExceptionList -> "http://exam/"
ProtectIEToolbarCheat -> 0
DebugLog -> 0
DebugSandbox -> 1
Text -> "page text"
L
)
zv_expect "parameters loaded through the property bag" "$(echo "$out" | grep -E '^[A-Za-z]+ -> ' | grep -v '^activate\|^close')" "$expected"

# Saved to a property bag: extent and text first, then the fourteen in the
# exchange order, shorts as VT_I2 (2), texts as VT_BSTR (8); empty texts are
# not written.
bag=$(echo "$out" | sed -n 's/^bag //p')
expected_bag=$(cat <<'L'
_Version vt 3 = 65536
_ExtentX vt 3 = 2646
_ExtentY vt 3 = 1323
Text vt 8 = page text
AppNotification vt 2 = 0
WebSandboxMode vt 2 = 0
ProtectKeyCheat vt 2 = 0
ProtectKeyList vt 8 = ALT+TAB,"CTRL"
ProtectMouseCheat vt 2 = 0
ProtectAppCheat vt 2 = 0
ProtectAppExceptionList vt 8 = calc.exe
m_ProtectAppBlackList vt 8 = black.exe
KeepAliveMillisec vt 2 = 2500
ProtectExplorerCheat vt 2 = 1
ProtectExplorerExceptionList vt 8 = http://exam/
ProtectIEToolbarCheat vt 2 = 0
DebugLog vt 2 = 0
DebugSandbox vt 2 = 1
L
)
zv_expect "what the control saves to a property bag" "$bag" "$expected_bag"

stream=$(echo "$out" | sed -n 's/^stream //p')
expected_stream=$(echo "$expected" | sed 's/ -> / = /' | sort)
zv_expect "a second control loaded from the stream holds the same values" "$(echo "$stream" | sort)" "$expected_stream"
zv_expect_match "the stream save clears the modified mark" "$out" 'save stream -> 0x00000000, dirty after -> 0x00000001'

# Empty lists are not written to a bag; script writes mark the control modified.
ctl_page "$PAGE"
out=$(ctl_container "$PAGE" --no-activate --stream-check "DebugLog = 1")
zv_expect_match "a property write marks the control modified" "$out" 'dirty before save -> 0x00000000'
out=$(ctl_container "$PAGE" --no-activate --stream-check)
zv_expect_match "an untouched control is not modified" "$out" 'dirty before save -> 0x00000001'
out=$(ctl_container "$PAGE" --no-activate --save-bag)
zv_expect "no empty list in the bag" "$(echo "$out" | grep -c '^bag Protect.*List')" "0"
zv_expect_match "defaults are saved for every short" "$out" '^bag ProtectIEToolbarCheat vt 2 = 1$'

# A stream record is at most 64 KiB: a larger one is not written (and a
# second control reads nothing from the empty stream).
echo "ProtectKeyList = \"$(head -c 70000 /dev/zero | tr '\0' x)\"" > "$ZV_WINE_WORK/ctl-big.calls"
out=$(ctl_container "$PAGE" --no-activate --stream-check --script "$(zv_winpath "$ZV_WINE_WORK/ctl-big.calls")")
zv_expect_match "a record over 64 KiB is refused" "$out" '^save stream -> 0x80030103'
zv_expect_match "and nothing is loaded" "$out" '^load stream -> 0x80004005$'
ctl_unregister64
zv_summary
