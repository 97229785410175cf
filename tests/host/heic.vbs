' HEIC through the real script host, with kelvheif.dll beside the module: libheif's
' sample file (a grid of tiles) and a picture with alpha load, probe and reduce; the
' format is "heic"; MaxPixels refuses the whole picture but not a reduction within it;
' cut-off copies fail while the host lives on, and JPEG still loads after them.
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

Dim fso, base, inputs, img, bin, f, cut, buf, keep
Set fso = CreateObject("Scripting.FileSystemObject")
base = fso.GetSpecialFolder(2) & "\kelv-heic-" & Int(Timer * 100)
fso.CreateFolder base
inputs = fso.GetParentFolderName(fso.GetParentFolderName(WScript.ScriptFullName)) & "\inputs"
Set img = CreateObject("Kelvarin.Image")
Set bin = CreateObject("Kelvarin.BinaryRW")

f = inputs & "\heic\example.heic"
Check img.HeaderReadFile(f) = 1, "HeaderReadFile example.heic"
Check img.HeaderGetHtmlWH = "width=""1280"" height=""854""", "probe size " & img.HeaderGetHtmlWH
Check img.FileFormat = "heic", "probe format " & img.FileFormat
Check img.HeaderGetFileSize = fso.GetFile(f).Size, "probe file size"
Check img.LoadFromFile(f) = 1, "LoadFromFile example.heic"
Check img.GetHtmlWH = "width=""1280"" height=""854""", "loaded size " & img.GetHtmlWH
Check img.FileFormat = "heic" And img.JpgOrientation = 1, "loaded format " & img.FileFormat
Check img.LoadFromFileMin(f, 160, 120) = 1, "LoadFromFileMin example.heic"
Check img.GetHtmlWH = "width=""183"" height=""122""", "reduced by 7: " & img.GetHtmlWH
img.MaxPixels = 1280 * 854 - 1
Check img.LoadFromFile(f) = 0, "MaxPixels refuses the whole picture"
Check img.LoadFromFileMin(f, 160, 120) = 1, "MaxPixels lets a reduction through"
img.MaxPixels = 0

' Transparent pixels show ThumbBgColor.
img.ThumbBgColor = img.GetColorFromRGB(10, 20, 250)
Check img.LoadFromFile(inputs & "\heic\colors-with-alpha.heic") = 1, "LoadFromFile colors-with-alpha.heic"

' Cut-off copies: a clean 0 each time.
For Each keep In Array(12, 100, 2000, 40000)
  Check bin.FOpenRead(f) = 1, "read example.heic"
  buf = bin.FRead(keep)
  bin.FClose
  cut = base & "\cut" & keep & ".heic"
  Check bin.FOpenWrite(cut) = 1 And bin.FWrite(buf) = 1, "cut at " & keep
  bin.FClose
  Check img.LoadFromFile(cut) = 0, "cut at " & keep & " fails"
  Check img.LoadFromFileMin(cut, 16, 16) = 0 And img.HeaderReadFile(cut) = 0, "cut at " & keep & " fails reduced"
Next
Check img.LoadFromFile(inputs & "\jpeg\photo\dragonfly-crop.jpg") = 1, "JPEG loads after them"

fso.DeleteFolder base, True
Set img = Nothing
Set bin = Nothing
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed
