' Prints each registry value named on the command line as PATH=VALUE, or PATH! when it
' cannot be read (no such key or value). A path that ends in "\" names the key's default
' value. One script reads them all: every program start under Wine costs time.
Option Explicit
Dim sh, i, p, v
Set sh = CreateObject("WScript.Shell")
On Error Resume Next
For i = 0 To WScript.Arguments.Count - 1
  p = WScript.Arguments(i)
  Err.Clear
  v = sh.RegRead(p)
  If Err.Number = 0 Then
    WScript.Echo p & "=" & v
  Else
    WScript.Echo p & "!"
  End If
Next
