' Colour profiles through the real script host: ColorProfile, ColorMode and
' ConvertToSRGB by name on a Display P3 picture (tests/inputs/colour/p3.png: sRGB's pure
' red as P3 numbers on the left, grey on the right), the profile kept by a JPEG save (the
' file is left in the folder given, for exiftool to read back) and by a buffer, a brush
' colour drawn in the picture's profile, and Draw between an untagged image and the
' tagged one.
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

Dim fso, out, inputs, img, other, c, buf, bin
Set fso = CreateObject("Scripting.FileSystemObject")
out = WScript.Arguments(0)
inputs = fso.GetParentFolderName(fso.GetParentFolderName(fso.GetParentFolderName(WScript.ScriptFullName))) & _
         "\inputs\colour"
Set img = CreateObject("Kelvarin.Image")
Set other = CreateObject("Kelvarin.Image")
Set bin = CreateObject("Kelvarin.BinaryRW")

Function IsRed(image, x, y)
  c = image.GetColor(x, y)
  IsRed = image.GetRFromColor(c) >= 252 And image.GetGFromColor(c) <= 3 And image.GetBFromColor(c) <= 3
End Function

Check img.ColorProfile = "", "a new image has no profile"
Check img.ColorMode = 0, "ColorMode starts at 0"
Check img.ConvertToSRGB() = 0, "ConvertToSRGB with no image gives 0"
img.ColorMode = 5
Check img.ColorMode = 0, "ColorMode ignores 5"

Check img.LoadFromFile(inputs & "\p3.png") = 1, "the P3 picture loads"
Check img.ColorProfile = "Display P3", "its profile is named: " & img.ColorProfile
Check img.GetColor(0, 0) = img.GetColorFromRGB(234, 51, 35), "its pixels are as stored"
' The brush's sRGB red is drawn as the same red in P3 numbers and reads back as given.
img.BrushColor = 255
img.FillRect 25, 5, 10, 10
c = img.GetColor(30, 10)
Check Abs(img.GetRFromColor(c) - 234) <= 1 And Abs(img.GetGFromColor(c) - 51) <= 1 And _
      Abs(img.GetBFromColor(c) - 35) <= 1, "a brush colour is drawn in the image's profile"
Check img.BrushColor = 255, "the brush colour reads back as given"
Check img.SaveToJpg(out & "\p3.jpg", 95) = 1, "a JPEG save"
Check other.LoadFromFile(out & "\p3.jpg") = 1 And other.ColorProfile = "Display P3", "the JPEG keeps the profile"
buf = img.SaveToBufferPng()
Check bin.FOpen(out & "\buf.png", "wb") = 1, "a file for the buffer"
Check bin.FWrite(buf) = 1, "the buffer is written"
bin.FClose
Check other.LoadFromFile(out & "\buf.png") = 1 And other.ColorProfile = "Display P3", "the buffer keeps the profile"

' Drawing the tagged picture onto an untagged one shows its colours in sRGB.
Check other.CreateFromSize(40, 20) = 1, "an untagged image"
Check other.Draw(0, 0, img) = 1, "Draw between profiles"
Check IsRed(other, 0, 0), "Draw converts into the untagged image's space"

Check img.ConvertToSRGB() = 1, "ConvertToSRGB"
Check img.ColorProfile = "", "no profile after ConvertToSRGB"
Check IsRed(img, 0, 0), "the pixels are sRGB after ConvertToSRGB"

img.ColorMode = 1
Check img.ColorMode = 1, "ColorMode 1"
Check img.LoadFromFile(inputs & "\p3.png") = 1 And img.ColorProfile = "", "ColorMode 1 loads keep no profile"
Check IsRed(img, 0, 0), "ColorMode 1 loads give sRGB pixels"

Set other = Nothing
Set img = Nothing
Set bin = Nothing
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed
