' Asks the component who it is, as a page would before relying on a feature.
Option Explicit
Dim info
Set info = CreateObject("Kelvarin.Info")
WScript.Echo "Kelvarin.Info"
WScript.Echo "  version      " & info.GetVersion & "." & info.GetMinorVersion
WScript.Echo "  true/false   " & info.GetTrueValue & " / " & info.GetFalseValue
WScript.Echo "  system       " & info.GetSystem & " """ & info.GetSystemText & """"
WScript.Echo "  author       " & info.GetAuthorInfo
If info.GetVersion > 1 Or (info.GetVersion = 1 And info.GetMinorVersion >= 5) Then
  WScript.Echo "  version 1.5 or later: every member is available"
End If
WScript.Echo "Done."
