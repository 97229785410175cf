' Run by heif_missing.sh with kelvheif.dll taken from beside the module and planted in
' the current folder: HEIC and AVIF fail, the planted DLL is not loaded, JPEG and PNG
' still load.
'   cscript heif_missing.vbs INPUTS
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

Dim fso, inputs, img, f
Set fso = CreateObject("Scripting.FileSystemObject")
inputs = WScript.Arguments(0)
Set img = CreateObject("Kelvarin.Image")
Check fso.FileExists(fso.GetAbsolutePathName(".") & "\kelvheif.dll"), "the DLL is planted in the current folder"
For Each f In Array(inputs & "\heic\example.heic", inputs & "\formats\lossy8.avif")
  Check img.LoadFromFile(f) = 0, "LoadFromFile " & f & " fails without the library"
  Check img.LoadFromFileMin(f, 16, 16) = 0, "LoadFromFileMin " & f & " fails without the library"
  Check img.HeaderReadFile(f) = 0, "HeaderReadFile " & f & " fails without the library"
Next
Check img.LoadFromFile(inputs & "\jpeg\photo\dragonfly-crop.jpg") = 1, "JPEG loads"
Check img.HeaderReadFile(inputs & "\jpeg\photo\dragonfly-crop.jpg") = 1, "JPEG probes"
Check img.FileFormat = "jpeg", "the format " & img.FileFormat
Set img = Nothing
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed
