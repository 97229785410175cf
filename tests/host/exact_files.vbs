' Files kept exactly, through the real script host: uploads whose content is long runs
' of CR, CR LF, LF, CR LF "-" and boundary prefixes come out byte for byte, and so does a
' bitmap of RGB(13,13,13) made by Image; saves leave a read-only file alone; a bitmap
' whose run-length data is cut short does not load.
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

Dim fso, bin, rd, img, base, crlf
Set fso = CreateObject("Scripting.FileSystemObject")
Set bin = CreateObject("Kelvarin.BinaryRW")
Set rd = CreateObject("Kelvarin.BinaryRW")
Set img = CreateObject("Kelvarin.Image")
base = fso.GetSpecialFolder(2) & "\kelv-exact-" & Int(Timer * 100)
fso.CreateFolder base
crlf = Chr(13) & Chr(10)

Function RunOf(unit, length)
  Dim s
  s = unit
  Do While Len(s) < length
    s = s & s
  Loop
  RunOf = Left(s, length)
End Function

' Writes a buffer to a file.
Sub PutFile(path, buffer)
  Dim w
  Set w = CreateObject("Kelvarin.BinaryRW")
  Check w.FOpenWrite(path) = 1, "open " & path
  Check w.FWrite(buffer) = 1, "write " & path
  w.FClose
End Sub

' The whole file as a byte buffer.
Function GetFile(path)
  Check rd.FOpenRead(path) = 1, "open " & path
  GetFile = rd.FRead(bin.FileSize(path) + 1)
  rd.FClose
End Function

' True when two files hold the same bytes (compared 4 and then 1 byte at a time: the
' script host can't index a byte array).
Function SameFiles(a, b)
  Dim ra, rb, n, i
  SameFiles = False
  n = bin.FileSize(a)
  If n <> bin.FileSize(b) Or n < 0 Then Exit Function
  Set ra = CreateObject("Kelvarin.BinaryRW")
  Set rb = CreateObject("Kelvarin.BinaryRW")
  If ra.FOpenRead(a) <> 1 Or rb.FOpenRead(b) <> 1 Then Exit Function
  For i = 1 To n \ 4
    If ra.FReadInt(4) <> rb.FReadInt(4) Then Exit Function
  Next
  For i = 1 To n Mod 4
    If CInt(ra.FReadInt(1)) <> CInt(rb.FReadInt(1)) Then Exit Function
  Next
  ra.FClose
  rb.FClose
  SameFiles = True
End Function

' Uploads the file `src` as the only file part of a body fed in chunks of `chunk`
' bytes; the result of FD_EndDecode, with the written file's name in `written`.
Function Upload(src, chunk, written)
  Dim body, piece
  body = bin.JoinBuffer(bin.StrToBuffer("--bnd" & crlf & _
         "Content-Disposition: form-data; name=""f""; filename=""run.bin""" & crlf & crlf), GetFile(src))
  body = bin.JoinBuffer(body, bin.StrToBuffer(crlf & "--bnd--" & crlf))
  PutFile base & "\body.bin", body
  bin.FD_Init base & "\up"
  Check rd.FOpenRead(base & "\body.bin") = 1, "open the body"
  Do
    piece = rd.FRead(chunk)
    If rd.FReaded = 0 Then Exit Do
    bin.FD_Decode piece
  Loop
  rd.FClose
  Upload = bin.FD_EndDecode()
  written = ""
  If bin.FD_GetFilesCount = 1 Then written = bin.FD_GetFileName(0)
End Function

fso.CreateFolder base & "\up"
Dim units, unit, lengths, length, chunk, content, written, r, names, k
' The delimiter is CR LF "--bnd"; CR LF "--bn" is a prefix of it.
units = Array(Chr(13), crlf, Chr(10), crlf & "-", crlf & "--bn")
names = Array("CR", "CR LF", "LF", "CR LF -", "boundary prefix")
lengths = Array(32767, 33110, 33130, 40000)
For k = 0 To UBound(units)
  For Each length In lengths
    content = "x" & RunOf(units(k), length) & "yz"
    PutFile base & "\content.bin", bin.StrToBuffer(content)
    For Each chunk In Array(4096, 65536)
      r = Upload(base & "\content.bin", chunk, written)
      Check r = 0, names(k) & " x " & length & " in chunks of " & chunk & ": FD_EndDecode " & r
      Check written <> "" And SameFiles(written, base & "\content.bin"), names(k) & " x " & length & " in chunks of " & chunk & ": exact"
      bin.FD_DeleteTMPFiles
    Next
  Next
Next

' A picture whose pixels are all 0x0D, with zero bytes padding its rows.
Check img.CreateFromSize(115, 100, &H0D0D0D) = 1, "CreateFromSize RGB(13,13,13)"
Check img.SaveToBmp(base & "\grey13.bmp") = 1, "SaveToBmp"
r = Upload(base & "\grey13.bmp", 65536, written)
Check r = 0, "the bitmap uploaded: FD_EndDecode " & r
Check written <> "" And SameFiles(written, base & "\grey13.bmp"), "the uploaded bitmap is exact"
Dim back
Set back = CreateObject("Kelvarin.Image")
Check back.LoadFromBmp(written) = 1, "the uploaded bitmap loads"
Check back.Width = 115 And back.Height = 100, "its size"
Check back.SaveToBmp(base & "\again.bmp") = 1, "saved again"
Check SameFiles(base & "\again.bmp", base & "\grey13.bmp"), "the same pixels"
bin.FD_DeleteTMPFiles

' A read-only file is never replaced by a save.
Dim ro, f
ro = base & "\protected.bmp"
Check bin.FOpenWrite(ro) = 1, "make the protected file"
bin.FWriteStr "protected"
bin.FClose
Set f = fso.GetFile(ro)
f.Attributes = 1
Check 1 = (fso.GetFile(ro).Attributes And 1), "marked read-only"
Check img.SaveToBmp(ro) = 0, "SaveToBmp over a read-only file fails"
Check img.SaveToJpg(ro) = 0, "SaveToJpg over a read-only file fails"
Check bin.FileSize(ro) = 10, "the read-only file keeps its size"
Check rd.FOpenRead(ro) = 1, "open the read-only file"
Check rd.FReadStr() = "protected", "the read-only file keeps its bytes"
rd.FClose
Check bin.FileSize(base & "\~kelv*.tmp") = -1, "no temporary file left behind"
f.Attributes = 0
Check img.SaveToBmp(ro) = 1, "writable again, the save succeeds"

' Run-length bitmaps, 4 by 3 with two colours, written byte by byte.
Function Rle8(pixels)
  Dim head, all, i, n
  n = UBound(pixels) + 1
  head = Array(66, 77, (62 + n) Mod 256, (62 + n) \ 256, 0, 0, 0, 0, 0, 0, 62, 0, 0, 0, _
               40, 0, 0, 0, 4, 0, 0, 0, 3, 0, 0, 0, 1, 0, 8, 0, 1, 0, 0, 0, n, 0, 0, 0, _
               0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 255, 0)
  ReDim all(UBound(head) + n)
  For i = 0 To UBound(head)
    all(i) = head(i)
  Next
  For i = 0 To n - 1
    all(UBound(head) + 1 + i) = pixels(i)
  Next
  Rle8 = all
End Function

Sub PutBytes(path, bytes)
  Dim w, b
  Set w = CreateObject("Kelvarin.BinaryRW")
  Check w.FOpenWrite(path) = 1, "open " & path
  For Each b In bytes
    w.FWriteInt b, 1
  Next
  w.FClose
End Sub

PutBytes base & "\rle.bmp", Rle8(Array(0, 3, 1, 0, 1, 0, 0, 1))
Check img.LoadFromBmp(base & "\rle.bmp") = 1, "a run-length bitmap loads"
Check img.Width = 4 And img.Height = 3, "its size"
' The absolute run's padding byte and the end of the bitmap are missing.
PutBytes base & "\cut.bmp", Rle8(Array(0, 3, 1, 0, 1))
Check img.LoadFromBmp(base & "\cut.bmp") = 0, "a run-length bitmap cut short does not load"
Check img.IsNullImage = 0 And img.Width = 0, "and leaves an empty image"
PutBytes base & "\cut.bmp", Rle8(Array(4, 1, 0, 2, 1))
Check img.LoadFromBmp(base & "\cut.bmp") = 0, "a delta cut short does not load"

bin.FD_FreeData
Set back = Nothing
Set img = Nothing
fso.DeleteFolder base, True
WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit failed
