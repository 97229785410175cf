' The photo members of the Image object through the real script host: sampling, the
' eight orientation tags, mirrors, PNG files and buffers, and the loads and probes that
' tell the formats apart.
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

Dim fso, base, inputs, img, bin, o, f, bx, by, c, ok, buf, other
Set fso = CreateObject("Scripting.FileSystemObject")
base = fso.GetSpecialFolder(2) & "\kelv-image2-" & Int(Timer * 100)
fso.CreateFolder base
inputs = fso.GetParentFolderName(fso.GetParentFolderName(WScript.ScriptFullName)) & "\inputs\jpeg\orientation"
Set img = CreateObject("Kelvarin.Image")
Set bin = CreateObject("Kelvarin.BinaryRW")

' A new object samples like IImage always did, and knows no tag.
Check img.ResampleMode = 0, "ResampleMode starts at 0"
Check img.JpgOrientation = 1, "JpgOrientation starts at 1"
img.ResampleMode = 5
Check img.ResampleMode = 0, "a mode that does not exist is ignored"

' Within three levels of block (bx, by) of the upright picture.
Function BlockOk(image, bx, by)
  Dim c
  c = image.GetColor(bx * 8 + 4, by * 8 + 4)
  BlockOk = Abs(image.GetRFromColor(c) - (200 - 15 * (bx + 4 * by))) <= 3 And _
            Abs(image.GetGFromColor(c) - (30 + 90 * by)) <= 3 And _
            Abs(image.GetBFromColor(c) - (40 + 60 * bx)) <= 3
End Function

For o = 1 To 8
  f = inputs & "\o" & o & ".jpg"
  Check img.LoadFromJpg(f) = 1, "load o" & o
  Check img.JpgOrientation = o, "o" & o & " tag read on load (" & img.JpgOrientation & ")"
  Check img.ApplyOrientation() = 1 And img.JpgOrientation = 1, "o" & o & " turned upright"
  Check img.Width = 32 And img.Height = 24, "o" & o & " upright size " & img.Width & " x " & img.Height
  ok = True
  For by = 0 To 2
    For bx = 0 To 3
      If Not BlockOk(img, bx, by) Then ok = False
    Next
  Next
  Check ok, "o" & o & " every block where it belongs"
  Check img.HeaderReadFile(f) = 1 And img.JpgOrientation = o, "o" & o & " tag read by the probe"
  Check img.LoadFromJpgMin(f, 4, 3) = 1 And img.ApplyOrientation() = 1, "o" & o & " reduced load"
  Check img.Width = 4 And img.Height = 3, "o" & o & " at one eighth: " & img.Width & " x " & img.Height
  Check img.LoadFromFile(f) = 1 And img.JpgOrientation = o, "o" & o & " through LoadFromFile"
Next
Check img.HeaderReadBmp(inputs & "\o6.jpg") = 0 And img.JpgOrientation = 1, "a failed probe leaves no tag"

' Mirrors: a red pixel in the top left corner of a white picture.
Check img.CreateFromSize(4, 2, img.GetColorFromRGB(255, 255, 255)) = 1, "a 4 x 2 picture"
img.PenColor = img.GetColorFromRGB(255, 0, 0)
img.Line 0, 0, 1, 0
Check img.FlipHorizontal() = 1 And img.GetColor(3, 0) = 255, "FlipHorizontal"
Check img.FlipVertical() = 1 And img.GetColor(3, 1) = 255 And img.GetColor(3, 0) <> 255, "FlipVertical"
img.DeleteImage
Check img.FlipHorizontal() = 0 And img.ApplyOrientation() = 0, "nothing to mirror or turn"

' Sampling: black and white halves into one pixel.
Sub Halves(image)
  image.CreateFromSize 2, 2, image.GetColorFromRGB(255, 255, 255)
  image.BrushColor = 0
  image.FillRect 0, 0, 0, 1
End Sub
Halves img
Check img.ResizeImg(1, 1) = 1, "nearest neighbour resize"
c = img.GetColor(0, 0)
Check c = 0 Or c = img.GetColorFromRGB(255, 255, 255), "nearest neighbour takes one pixel"
img.ResampleMode = 1
Halves img
Check img.ResizeImg(1, 1) = 1 And Abs(img.GetRFromColor(img.GetColor(0, 0)) - 128) <= 1, "area average mixes them"
Halves img
Check img.MakeThumb(1, 1) = 1 And Abs(img.GetRFromColor(img.GetColor(0, 0)) - 128) <= 1, "MakeThumb mixes them"

' PNG files and buffers, and the probe.
Check img.CreateFromSize(6, 3, img.GetColorFromRGB(20, 40, 60)) = 1, "a 6 x 3 picture"
img.PenColor = img.GetColorFromRGB(250, 1, 128)
img.Line 0, 2, 6, 2
Check img.SaveToPng(base & "\a.png") = 1, "SaveToPng"
Check img.SaveToPng(base & "\b.png", 0) = 1, "SaveToPng stored"
buf = img.SaveToBufferPng(9)
Check bin.IsBuffer(buf) = 1, "SaveToBufferPng gives a buffer"
Check bin.FOpenWrite(base & "\c.png") = 1 And bin.FWrite(buf) = 1, "the buffer written"
bin.FClose
Set other = CreateObject("Kelvarin.Image")
For Each f In Array("a.png", "b.png", "c.png")
  Check other.LoadFromPng(base & "\" & f) = 1, "LoadFromPng " & f
  Check other.GetColor(0, 0) = img.GetColorFromRGB(20, 40, 60) And _
        other.GetColor(5, 2) = img.GetColorFromRGB(250, 1, 128), f & " keeps every pixel"
  Check other.HeaderReadPng(base & "\" & f) = 1 And other.HeaderGetHtmlWH = "width=""6"" height=""3""", "HeaderReadPng " & f
Next
Check img.SaveToBmp(base & "\a.bmp") = 1 And img.SaveToJpg(base & "\a.jpg") = 1, "the same picture as BMP and JPEG"
For Each f In Array("a.png", "a.bmp", "a.jpg")
  Check other.HeaderReadFile(base & "\" & f) = 1 And other.HeaderGetWidth = 6 And other.HeaderGetHeight = 3, "HeaderReadFile " & f
  Check other.HeaderGetFileSize = fso.GetFile(base & "\" & f).Size, "HeaderGetFileSize " & f
  other.DeleteImage
  Check other.LoadFromFile(base & "\" & f) = 1 And other.Width = 6 And other.Height = 3, "LoadFromFile " & f
Next
Check other.LoadFromFile(WScript.ScriptFullName) = 0 And other.IsValidImage = 0, "a script is no picture"
Check other.HeaderReadFile(base & "\missing.png") = 0 And other.HeaderGetWidth = -1, "no file, no size"
Check other.HeaderGetFileSize = -1, "no file, no file size"

' A read-only PNG is never replaced.
fso.GetFile(base & "\b.png").Attributes = 1
Check img.SaveToPng(base & "\b.png") = 0, "a read-only file is refused"
Check bin.FileSize(base & "\b.png") > 0 And other.LoadFromPng(base & "\b.png") = 1, "and stays as it was"
fso.GetFile(base & "\b.png").Attributes = 0

Set other = Nothing
Set img = Nothing
Set bin = Nothing
fso.DeleteFolder base, True
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed
