' The thumbnail flow through the real script host: a framed thumbnail, header probes,
' drawing one object onto another, and a JPEG buffer written to a file with FWrite.
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

Dim fso, base, img, other, copy, bin, buf, probe
Set fso = CreateObject("Scripting.FileSystemObject")
base = fso.GetSpecialFolder(2) & "\kelv-thumb-" & Int(Timer * 100)
fso.CreateFolder base
Set img = CreateObject("Kelvarin.Image")
Set bin = CreateObject("Kelvarin.BinaryRW")

Check img.CreateFromSize(400, 300, 255) = 1, "a 400 x 300 picture"
Check img.SaveToJpg(base & "\photo.jpg") = 1, "saved as JPEG"
img.cntThumbBorder = 2
Check img.SetThumbBorder(0, img.GetColorFromRGB(0, 255, 0)) = 1, "ring 0"
Check img.SetThumbBorder(1, img.GetColorFromRGB(0, 0, 255)) = 1, "ring 1"
Check img.SetThumbBorder(2, 0) = 0, "no ring 2"
img.ThumbBgColor = img.GetColorFromRGB(128, 128, 128)
Check img.MakeThumb(100, 100) = 1, "MakeThumb"
Check img.GetHtmlWH = "width=""100"" height=""100""", "GetHtmlWH"
Check img.GetColor(0, 0) = img.GetColorFromRGB(0, 255, 0), "outer ring"
Check img.GetColor(1, 50) = img.GetColorFromRGB(0, 0, 255), "inner ring"
Check img.GetColor(50, 13) = img.GetColorFromRGB(128, 128, 128), "background above the picture"
Check img.GetColor(50, 14) = 255, "the picture starts at row 14"

' The fit is computed in double precision: 7 x 14 into 123 x 61 gives a width of
' floor(7 * (61 / 14) + 0.5) = 30, since 61 / 14 rounds down; 80-bit intermediate
' results would give 31.
Set other = CreateObject("Kelvarin.Image")
Check other.CreateFromSize(7, 14, 255) = 1 And other.MakeThumb(123, 61) = 1, "7 x 14 into 123 x 61"
Check other.GetColor(45, 30) = 0 And other.GetColor(46, 30) = 255, "the picture starts at column 46"
Check other.GetColor(75, 30) = 255 And other.GetColor(76, 30) = 0, "and is 30 columns wide"

buf = img.SaveToBufferJpg()
Check bin.IsBuffer(buf) = 1, "SaveToBufferJpg gives a buffer"
Check bin.FOpenWrite(base & "\thumb.jpg") = 1, "open for the buffer"
Check bin.FWrite(buf) = 1, "FWrite the buffer"
bin.FClose
Check bin.FileSize(base & "\thumb.jpg") > 500, "the file holds the buffer"
Set copy = CreateObject("Kelvarin.Image")
Check copy.LoadFromJpg(base & "\thumb.jpg") = 1 And copy.Width = 100, "the written buffer is a JPEG file"

Set probe = CreateObject("Kelvarin.Image")
Check probe.HeaderReadJpg(base & "\thumb.jpg") = 1, "HeaderReadJpg"
Check probe.HeaderGetHtmlWH = "width=""100"" height=""100""", "probed size"
Check probe.IsNullImage = 1, "a probe loads no image"
Check probe.HeaderReadJpg(base & "\photo.jpg") = 1 And probe.HeaderGetWidth = 400, "the photo's header"
Check probe.HeaderReadBmp(base & "\photo.jpg") = 0 And probe.HeaderGetWidth = -1, "a JPEG is no BMP"
Check IsNull(probe.SaveToBufferBmp()), "no image, no buffer"

Set other = CreateObject("Kelvarin.Image")
Check other.CreateFromSize(20, 20) = 1, "a canvas"
Check other.GetBmp <> 0 And probe.GetBmp = 0, "GetBmp"
Check other.Draw(-5, -5, img) = 1, "Draw another object"
Check other.GetColor(0, 0) = img.GetColor(5, 5), "drawn at a negative offset"
Check other.StretchDraw(0, 0, 9, 9, img) = 1, "StretchDraw"
Check other.Draw(0, 0, probe) = 0, "drawing an object with no image fails"
Set copy = CreateObject("Kelvarin.Image")
copy.DefaultJpgQuality = 50
Check copy.AssignPicture(img) = 1, "AssignPicture"
Check copy.Width = 100 And copy.DefaultJpgQuality = 78, "a copy with fresh settings"
Check copy.AssignPicture(probe) = 1 And copy.IsValidImage = 0, "assigning an empty object"

fso.DeleteFolder base, True
WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit failed
