' The photo members: a picture saved as PNG, read back by a load that tells formats apart,
' mirrored, and shrunk to a thumbnail by area averaging; then a JPEG loaded at a reduced
' scale and turned upright as its orientation tag says (a file without a tag stays as it
' is).
' Usage: cscript photo.vbs [OUTPUT_FOLDER]
Option Explicit

Dim fso, out, img, thumb, y
Set fso = CreateObject("Scripting.FileSystemObject")
If WScript.Arguments.Count > 0 Then
  out = WScript.Arguments(0)
Else
  out = fso.GetSpecialFolder(2)
End If
If Not fso.FolderExists(out) Then fso.CreateFolder out

' A picture of fine stripes, where nearest-neighbour shrinking would pick one colour and
' area averaging shows their mix.
Set img = CreateObject("Kelvarin.Image")
img.CreateFromSize 640, 480, img.GetColorFromRGB(255, 255, 255)
img.PenColor = img.GetColorFromRGB(200, 30, 30)
For y = 0 To 479 Step 2
  img.Line 0, y, 640, y
Next
img.SaveToPng fso.BuildPath(out, "kelv-photo.png")
WScript.Echo "saved a PNG of " & img.GetHtmlWH

Set thumb = CreateObject("Kelvarin.Image")
thumb.HeaderReadFile fso.BuildPath(out, "kelv-photo.png")
WScript.Echo "probed " & thumb.HeaderGetHtmlWH
thumb.LoadFromFile fso.BuildPath(out, "kelv-photo.png")
thumb.FlipHorizontal
thumb.ResampleMode = 1
thumb.cntThumbBorder = 1
thumb.SetThumbBorder 0, 0
thumb.MakeThumb 160, 120
WScript.Echo "thumbnail colour in the middle: " & Hex(thumb.GetColor(80, 60)) & " (a mix of red and white)"
thumb.SaveToJpg fso.BuildPath(out, "kelv-photo.jpg"), 90

thumb.LoadFromJpgMin fso.BuildPath(out, "kelv-photo.jpg"), 40, 30
WScript.Echo "loaded the JPEG at " & thumb.GetHtmlWH & ", orientation tag " & thumb.JpgOrientation
thumb.ApplyOrientation
fso.DeleteFile fso.BuildPath(out, "kelv-photo.png")
fso.DeleteFile fso.BuildPath(out, "kelv-photo.jpg")
WScript.Echo "Done."
