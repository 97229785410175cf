' The form-data decoder through the real script host: a body built with byte buffers is
' written to a file, read back in chunks with FRead and fed to FD_Decode, as a page
' feeds the request body; then the items and the file are checked.
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

Dim fso, bin, rd, base, crlf, body, content, chunk, n, r, path, back
Set fso = CreateObject("Scripting.FileSystemObject")
Set bin = CreateObject("Kelvarin.BinaryRW")
Set rd = CreateObject("Kelvarin.BinaryRW")
base = fso.GetSpecialFolder(2) & "\kelv-fd-" & Int(Timer * 100)
Check bin.DirMake(base) = 1, "DirMake"
crlf = Chr(13) & Chr(10)

' A file content with line ends, dashes and a boundary prefix, plus a zero byte.
content = bin.JoinBuffer(bin.StrToBuffer("line 1" & crlf & "--bnd not the end" & crlf & "-"), bin.StrToBuffer("", 1))
body = bin.StrToBuffer("--bnd" & crlf & "Content-Disposition: form-data; name=""title""" & crlf & crlf & _
       "Holiday" & crlf & "in two lines" & crlf & _
       "--bnd" & crlf & "Content-Disposition: form-data; name=""photo""; filename=""C:\pics\a b.bin""" & crlf & _
       "Content-Type: application/octet-stream" & crlf & crlf)
body = bin.JoinBuffer(body, content)
body = bin.JoinBuffer(body, bin.StrToBuffer(crlf & "--bnd--" & crlf))
Check bin.FOpenWrite(base & "\body.bin") = 1, "write the body"
Check bin.FWrite(body) = 1, "FWrite the body"
bin.FClose

Check bin.FD_Init(base) = 1, "FD_Init with a directory"
Check rd.FOpenRead(base & "\body.bin") = 1, "open the body"
n = 0
Do
  chunk = rd.FRead(7)
  If rd.FReaded = 0 Then Exit Do
  r = bin.FD_Decode(chunk)
  n = n + 1
Loop
rd.FClose
Check n > 10, "fed in many small chunks"
Check r = 0, "the last chunk reached the closing delimiter"
Check bin.FD_EndDecode() = 0, "a complete body"
Check bin.FD_GetItemsCount = 1, "one item"
Check bin.FD_GetItemName(0) = "title", "item name"
Check bin.FD_GetItemValue(0) = "Holiday" & Chr(10) & Chr(13) & "in two lines", "lines joined with LF CR"
Check bin.FD_GetFilesCount = 1, "one file"
Check bin.FD_GetFileFormName(0) = "photo", "form name"
Check bin.FD_GetFileHeaderName(0) = "C:\pics\a b.bin", "client name verbatim"
Check bin.ExtractFileName(bin.FD_GetFileHeaderName(0)) = "a b.bin", "client name reduced"
Check bin.FD_GetFileContentType(0) = "application/octet-stream", "content type"
Check bin.FD_GetFileHeadersCount(0) = 2, "header lines kept"
Check Left(bin.FD_GetFileHeader(0, 0), 20) = "Content-Disposition:", "first header line"
path = bin.FD_GetFileName(0)
Check Left(path, Len(base) + 4) = base & "\001", "generated name with the 001 prefix: " & path
Check bin.FileSize(path) = 29, "file size (the content ends in a zero byte)"
Check rd.FOpenRead(path) = 1, "open the written file"
back = rd.FRead()
rd.FClose
Check bin.BufferToStr(back) = "line 1" & crlf & "--bnd not the end" & crlf & "-", "file content"
Check bin.FD_Decode(chunk) = 0, "no decoding after FD_EndDecode"
Check bin.FD_Decode("text") = 0, "a string is not a buffer"
Check bin.FD_DeleteTMPFiles = 1, "upload deleted"
Check bin.FExists(path) = 0, "gone"
Check bin.FD_DeleteTMPFiles = 0, "nothing left to delete"

' With a base name and no line join.
Check bin.FD_Init(base, "up", "{-NoLineEnd-}") = 1, "FD_Init with a base name"
Check bin.FD_Decode(body) = 0, "the whole body at once"
Check bin.FD_EndDecode() = 0, "complete again"
Check bin.FD_GetFileName(0) = base & "\up_1.tmp", "base-name file"
Check bin.FD_GetItemValue(0) = "Holidayin two lines", "lines joined with nothing"
bin.FD_FreeData
Check bin.FD_GetFilesCount = 0, "no decoder after FD_FreeData"
Check bin.FExists(base & "\up_1.tmp") = 1, "the file outlives the decoder"

fso.DeleteFolder base, True
WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit failed
