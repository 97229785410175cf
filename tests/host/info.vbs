' Info through the real script host: creation by ProgID, every member by name, name
' lookup in other spellings, and the result convention seen from VBScript.
Option Explicit
Dim passed, failed
passed = 0 : failed = 0
Sub Check(ok, what)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL: " & what
  End If
End Sub

Dim info, info2, img, bin
Set info = CreateObject("Kelvarin.Info")
Check TypeName(info) = "IInfo", "TypeName of Info is its interface"
Check info.GetVersion() = 1, "GetVersion"
Check info.GetMinorVersion = 5, "GetMinorVersion without parentheses"
Check info.GETVERSION = 1, "name lookup ignores case"
Check info.getminorversion() = 5, "lower-case name"
Check info.GetTrueValue = 1, "true value"
Check info.GetFalseValue = 0, "false value"
Check VarType(info.GetTrueValue) = vbLong, "results are 32-bit integers"
Check info.GetSystem = 0, "Wine reports a version after the table"
Check info.GetSystemText = "undefined", "system text"
Check VarType(info.GetSystemText) = vbString, "text result"
Check Len(info.GetAuthorInfo) > 0, "author text"
Check info.GetVersion > 1 Or (info.GetVersion = 1 And info.GetMinorVersion >= 5), "version test as a script writes it"

Set info2 = CreateObject("Kelvarin.Info")
Check Not (info Is info2), "each CreateObject gives a new object"
Set info2 = Nothing

On Error Resume Next
Dim x
x = info.NoSuchMember
Check Err.Number = 438, "an unknown member is the script error 438"
Err.Clear
x = info.GetVersion(1)
Check Err.Number <> 0, "an extra argument is refused"
Err.Clear
On Error GoTo 0

' The script host is of the build's own width: the 32-bit module in a 32-bit host.
Dim env, want
Set env = CreateObject("WScript.Shell").Environment("PROCESS")
Select Case env("KELV_WIN_ARCH")
  Case "i686" : want = "x86"
  Case "x86_64" : want = "AMD64"
  Case Else : want = env("PROCESSOR_ARCHITECTURE")
End Select
Check env("PROCESSOR_ARCHITECTURE") = want And env("PROCESSOR_ARCHITEW6432") = "", _
  "script host for " & want & " (it is " & env("PROCESSOR_ARCHITECTURE") & " " & env("PROCESSOR_ARCHITEW6432") & ")"

Set img = CreateObject("Kelvarin.Image")
Check TypeName(img) = "IImage", "Image is created by ProgID"
Set bin = CreateObject("Kelvarin.BinaryRW")
Check TypeName(bin) = "IBinaryRW", "BinaryRW is created by ProgID"

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit failed
