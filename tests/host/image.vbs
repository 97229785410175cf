' Image through the real script host: create, draw-free geometry, BMP and JPEG saves,
' reloads, the JPEG defaults, and a property error seen as a script error.
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

Dim fso, img, img2, base
Set fso = CreateObject("Scripting.FileSystemObject")
base = fso.GetSpecialFolder(2) & "\kelv-image-" & Int(Timer * 100)
fso.CreateFolder base
Set img = CreateObject("Kelvarin.Image")

Check img.IsNullImage = 1, "new object has no image"
Check img.RotateCW = 0, "RotateCW without an image"
Check img.SaveToBmp(base & "\none.bmp") = 0, "SaveToBmp without an image"
Check Not fso.FileExists(base & "\none.bmp"), "nothing written"
Check img.DefaultJpgQuality = 78, "default quality"
Check img.DefaultJpgSmoothing = 1 And img.DefaultJpgProgressive = 0, "default smoothing and progression"
img.DefaultJpgProgressive = True
Check img.DefaultJpgProgressive = 0, "True (-1) switches progression off"
img.DefaultJpgQuality = 0
Check img.DefaultJpgQuality = 1, "quality clamped to 1"
img.DefaultJpgQuality = 78

Check img.CreateFromSize(300, 200, 255) = 1, "CreateFromSize red"
Check img.Width = 300 And img.Height = 200, "size"
Check img.RotateCW = 1, "RotateCW"
Check img.Width = 200 And img.Height = 300, "turned size"
Check img.ResizeImg(100, 150) = 1, "ResizeImg"
Check img.ChangeSize(120, 150) = 1, "ChangeSize"
img.Width = 130
Check img.Width = 130, "Width put"
Check img.SaveToBmp(base & "\a.bmp") = 1, "SaveToBmp"
Check img.SaveToJpg(base & "\a.jpg") = 1, "SaveToJpg with defaults"
Check img.SaveToJpg(base & "\p.jpg", 90, 1) = 1, "SaveToJpg progressive"

Set img2 = CreateObject("Kelvarin.Image")
Check img2.LoadFromBmp(base & "\a.bmp") = 1, "LoadFromBmp"
Check img2.Width = 130 And img2.Height = 150, "loaded size"
Check img2.IsValidImage = 1, "valid after load"
Check img2.LoadFromJpg(base & "\p.jpg") = 1, "LoadFromJpg progressive"
Check img2.Width = 130, "JPEG size"
Check img2.LoadFromJpg(base & "\a.bmp") = 0, "a BMP is not a JPEG"
Check img2.IsNullImage = 0 And img2.IsValidImage = 0, "a failed load leaves an empty image"
Check img2.LoadFromBmp(base & "\missing.bmp") = 0, "missing file"

On Error Resume Next
img.Width = -1
Check Err.Number <> 0, "a size the bitmap cannot have raises an error"
Check Err.Source = "Kelvarin.Image", "its source is the ProgID: " & Err.Source
Check Len(Err.Description) > 0, "its description is the message: " & Err.Description
Err.Clear
On Error GoTo 0
Check img.Width = 130, "the image is unchanged"

fso.DeleteFolder base, True
WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit failed
