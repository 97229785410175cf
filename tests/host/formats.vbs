' GIF, WebP and AVIF through the real script host: every file of tests/inputs/formats
' loads and probes with its block colours where they belong, transparency shows
' ThumbBgColor, reduced loads keep whole blocks, MaxPixels refuses what it must, WebP
' saves give the buffer's bytes and never replace a read-only file, cut-off copies of
' every file fail while the host lives on, and LastError says why a member failed.
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

Dim fso, base, inputs, img, other, bin, f, name, kind, tol, bx, by, ok, buf, n, bg, cut
Set fso = CreateObject("Scripting.FileSystemObject")
base = fso.GetSpecialFolder(2) & "\kelv-formats-" & Int(Timer * 100)
fso.CreateFolder base
inputs = fso.GetParentFolderName(fso.GetParentFolderName(WScript.ScriptFullName)) & "\inputs\formats"
Set img = CreateObject("Kelvarin.Image")
Set other = CreateObject("Kelvarin.Image")
Set bin = CreateObject("Kelvarin.BinaryRW")

' Block (bx, by) of the picture within tol levels, at pixel (x, y).
Function Near(image, x, y, r, g, b, tol)
  Dim c
  c = image.GetColor(x, y)
  Near = Abs(image.GetRFromColor(c) - r) <= tol And Abs(image.GetGFromColor(c) - g) <= tol And _
         Abs(image.GetBFromColor(c) - b) <= tol
End Function
Function BlockOk(image, bx, by, scale, tol)
  BlockOk = Near(image, (bx * 8 + 4) \ scale, (by * 8 + 4) \ scale, 200 - 15 * (bx + 4 * by), 30 + 90 * by, _
                 40 + 60 * bx, tol)
End Function
Function AllBlocks(image, scale, tol, firstColumn)
  Dim bx, by
  AllBlocks = True
  For by = 0 To 2
    For bx = firstColumn To 3
      If Not BlockOk(image, bx, by, scale, tol) Then AllBlocks = False
    Next
  Next
End Function

Check img.FileFormat = "", "a new object names no format"
Check img.MaxPixels = 0, "a new object has no pixel limit"

' name, format, tolerance (0: lossless or palette)
Dim files
files = Array("plain.gif", "gif", 0, "interlaced.gif", "gif", 0, "lossless.webp", "webp", 0, _
              "lossy.webp", "webp", 8, "animated.webp", "webp", 0, "lossy8.avif", "avif", 8, _
              "lossy10.avif", "avif", 8, "lossless12.avif", "avif", 2, "sequence.avif", "avif", 0)
For n = 0 To 24 Step 3
  name = files(n) : kind = files(n + 1) : tol = files(n + 2)
  f = inputs & "\" & name
  Check img.LoadFromFile(f) = 1, "LoadFromFile " & name
  Check img.FileFormat = kind, name & " is " & kind & " (" & img.FileFormat & ")"
  Check img.GetHtmlWH = "width=""32"" height=""24""", name & " size " & img.GetHtmlWH
  Check AllBlocks(img, 1, tol, 0), name & " every block within " & tol
  Check other.HeaderReadFile(f) = 1 And other.HeaderGetHtmlWH = "width=""32"" height=""24""", "probe " & name
  Check other.FileFormat = kind And other.HeaderGetFileSize = fso.GetFile(f).Size, "probe " & name & " format, size"
  ' At a quarter each pixel is the mean of a 4 x 4 part of one block.
  Check img.LoadFromFileMin(f, 8, 6) = 1 And img.GetHtmlWH = "width=""8"" height=""6""", name & " reduced"
  Check AllBlocks(img, 4, tol, 0), name & " reduced blocks"
Next

' The cut-out files: the transparent column shows ThumbBgColor, the half one a mix.
bg = img.GetColorFromRGB(10, 20, 250)
img.ThumbBgColor = bg
For Each name In Array("alpha.webp", "alpha.avif", "cutout.gif")
  f = inputs & "\" & name
  Check img.LoadFromFile(f) = 1, "LoadFromFile " & name
  Check img.GetColor(3, 3) = bg And img.GetColor(4, 20) = bg, name & " transparent pixels show the background"
  Check AllBlocks(img, 1, 0, 2), name & " opaque blocks exact"
  If name <> "cutout.gif" Then
    ok = Near(img, 12, 4, (185 + 10 + 1) \ 2, (30 + 20) \ 2, (100 + 250) \ 2, 2)
    Check ok, name & " half transparency mixed: " & Hex(img.GetColor(12, 4))
  End If
Next
img.ThumbBgColor = 0

' MaxPixels: 32 x 24 is 768 pixels.
img.MaxPixels = 700
Check img.MaxPixels = 700, "MaxPixels reads back"
img.MaxPixels = -1
Check img.MaxPixels = 700, "a negative limit is ignored"
For Each name In Array("plain.gif", "lossless.webp", "lossy8.avif")
  f = inputs & "\" & name
  Check img.LoadFromFile(f) = 0 And img.IsValidImage = 0 And img.IsNullImage = 0, name & " refused whole"
  Check img.FileFormat = "", name & " refused: no format"
  Check img.LastError = "The picture holds 32 x 24 pixels, more than MaxPixels", name & " refused: " & img.LastError
  Check img.LoadFromFileMin(f, 16, 12) = 1 And img.Width = 16, name & " reduced within the limit"
  Check img.LastError = "", name & " reduced: no reason left"
Next
Check img.CreateFromSize(29, 25) = 0 And img.IsValidImage = 0, "CreateFromSize above the limit"
Check img.CreateFromSize(20, 20) = 1, "CreateFromSize within it"
Check img.ResizeImg(40, 20) = 0 And img.Width = 20, "ResizeImg above the limit keeps the image"
Check img.ChangeSize(20, 40) = 0 And img.Height = 20, "ChangeSize above the limit keeps the image"
Check img.MakeThumb(30, 30) = 0 And img.Width = 20, "MakeThumb above the limit keeps the image"
Check img.MakeThumb(30, 20) = 1 And img.Width = 30, "MakeThumb within it"
On Error Resume Next
Err.Clear
img.Width = 40
Check Err.Number <> 0, "a Width put above the limit is an error"
Err.Clear
img.Height = 20
Check Err.Number = 0 And img.Height = 20, "a Height put within it is not"
On Error GoTo 0
img.MaxPixels = 0

' WebP saves: the file holds the buffer's bytes; lossless keeps every pixel.
Check img.LoadFromFile(inputs & "\plain.gif") = 1, "a picture to save"
Check img.SaveToWebp(base & "\a.webp", -1, 1) = 1, "SaveToWebp lossless"
buf = img.SaveToBufferWebp(-1, 1)
Check VarType(buf) = 8209, "SaveToBufferWebp gives a buffer"
Check bin.FOpenWrite(base & "\b.webp") = 1 And bin.FWrite(buf) = 1, "the buffer written"
bin.FClose
Check bin.FileSize(base & "\a.webp") = bin.FileSize(base & "\b.webp"), "file and buffer alike"
Check other.LoadFromFile(base & "\b.webp") = 1 And other.FileFormat = "webp" And AllBlocks(other, 1, 0, 0), _
      "lossless WebP loads back exactly"
Check img.SaveToWebp(base & "\c.webp") = 1 And img.SaveToWebp(base & "\d.webp", 100) = 1, "lossy saves"
Check bin.FileSize(base & "\c.webp") <> bin.FileSize(base & "\d.webp"), "quality counts"
Check other.LoadFromFile(base & "\c.webp") = 1 And AllBlocks(other, 1, 12, 0), "lossy WebP loads back close"
fso.GetFile(base & "\a.webp").Attributes = 1
Check img.SaveToWebp(base & "\a.webp", 50) = 0, "a read-only file is refused"
Check other.LoadFromFile(base & "\a.webp") = 1 And AllBlocks(other, 1, 0, 0), "and stays as it was"
fso.GetFile(base & "\a.webp").Attributes = 0
img.DeleteImage
Check img.SaveToWebp(base & "\e.webp") = 0 And IsNull(img.SaveToBufferWebp()), "no image, nothing saved"
Check img.LastError = "There is no image", "no image: " & img.LastError
Check Not fso.FileExists(base & "\e.webp"), "and no file made"

' Cut-off copies of every file: each load fails, and the host goes on.
For Each name In Array("plain.gif", "interlaced.gif", "lossless.webp", "lossy.webp", "animated.webp", "alpha.webp", _
                       "lossy8.avif", "lossy10.avif", "lossless12.avif", "alpha.avif", "cutout.gif")
  f = inputs & "\" & name
  Check bin.FOpenRead(f) = 1, "open " & name
  buf = bin.FRead(fso.GetFile(f).Size * 2 \ 3)
  bin.FClose
  cut = base & "\cut-" & name
  Check bin.FOpenWrite(cut) = 1 And bin.FWrite(buf) = 1, "cut " & name
  bin.FClose
  Check img.LoadFromFile(cut) = 0 And img.IsValidImage = 0 And img.FileFormat = "", name & " cut off fails"
  Check img.LoadFromFileMin(cut, 4, 4) = 0, name & " cut off fails reduced"
  Check Len(img.LastError) > 0, name & " cut off has a reason"
Next
Check img.LoadFromFile(base & "\missing.gif") = 0 And img.LastError = "The file could not be opened", _
      "a missing file: " & img.LastError
Check img.HeaderReadFile(inputs & "\plain.gif") = 1 And img.LastError = "", "a probe that succeeds clears it"

Set other = Nothing
Set img = Nothing
Set bin = Nothing
fso.DeleteFolder base, True
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed
