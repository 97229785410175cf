' The limits of an upload through the real script host: each stops the upload at the
' part that passes it, which leaves no file and no value, and FD_EndDecode gives 13; the
' limits are kept by the object for every later FD_Init. (VBScript: the file size limit
' is a 64-bit value, which the JScript engine cannot read.)
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

Dim fso, bin, dir, crlf, body, r, k
Set fso = CreateObject("Scripting.FileSystemObject")
Set bin = CreateObject("Kelvarin.BinaryRW")
dir = fso.GetSpecialFolder(2) & "\kelv-limits-" & Int(Timer * 100)
Check bin.DirMake(dir) = 1, "DirMake"
crlf = Chr(13) & Chr(10)

Function TextPart(name, value)
  TextPart = "--b" & crlf & "Content-Disposition: form-data; name=""" & name & """" & crlf & crlf & value & crlf
End Function
Function FilePart(name, content)
  FilePart = "--b" & crlf & "Content-Disposition: form-data; name=""" & name & """; filename=""" & name & _
             ".bin""" & crlf & crlf & content & crlf
End Function
body = bin.StrToBuffer(TextPart("a", "hello") & FilePart("f1", String(10, "1")) & TextPart("b", "world!") & _
                       FilePart("f2", String(20, "2")) & "--b--" & crlf)

' Decodes the body; FD_Decode's result, then FD_EndDecode's.
Function Upload()
  Dim decoded
  bin.FD_Init dir
  decoded = bin.FD_Decode(body)
  Upload = decoded & " " & bin.FD_EndDecode()
End Function
' What the upload left: each field, and each file with its size on disk.
Function Results()
  Dim s, i
  s = ""
  For i = 0 To bin.FD_GetItemsCount() - 1
    s = s & " " & bin.FD_GetItemName(i) & "=" & bin.FD_GetItemValue(i)
  Next
  For i = 0 To bin.FD_GetFilesCount() - 1
    s = s & " " & bin.FD_GetFileFormName(i) & ":" & bin.FileSize(bin.FD_GetFileName(i))
  Next
  Results = Mid(s, 2)
End Function
Function Limit(name)
  Select Case name
    Case "FD_MaxFileSize": Limit = bin.FD_MaxFileSize
    Case "FD_MaxFiles": Limit = bin.FD_MaxFiles
    Case "FD_MaxFieldSize": Limit = bin.FD_MaxFieldSize
    Case "FD_MaxFields": Limit = bin.FD_MaxFields
  End Select
End Function
Sub SetLimit(name, value)
  Select Case name
    Case "FD_MaxFileSize": bin.FD_MaxFileSize = value
    Case "FD_MaxFiles": bin.FD_MaxFiles = value
    Case "FD_MaxFieldSize": bin.FD_MaxFieldSize = value
    Case "FD_MaxFields": bin.FD_MaxFields = value
  End Select
End Sub

Check Limit("FD_MaxFileSize") = 0 And Limit("FD_MaxFiles") = 0 And Limit("FD_MaxFieldSize") = 0 And _
      Limit("FD_MaxFields") = 0, "no limits at first"
Check VarType(bin.FD_MaxFileSize) = 20, "the file size limit is a 64-bit integer"
r = Upload()
Check r = "0 0", "without limits the body is complete: " & r
Check Results() = "a=hello b=world! f1:10 f2:20", "everything decoded: " & Results()
bin.FD_DeleteTMPFiles

Dim cases(5)
cases(0) = Array("FD_MaxFileSize", 20, "0 0", "a=hello b=world! f1:10 f2:20")
cases(1) = Array("FD_MaxFileSize", 19, "0 13", "a=hello b=world! f1:10")
cases(2) = Array("FD_MaxFiles", 1, "0 13", "a=hello b=world! f1:10")
cases(3) = Array("FD_MaxFieldSize", 6, "0 0", "a=hello b=world! f1:10 f2:20")
cases(4) = Array("FD_MaxFieldSize", 5, "0 13", "a=hello f1:10")
cases(5) = Array("FD_MaxFields", 1, "0 13", "a=hello f1:10")
Dim c, what
For k = 0 To 5
  c = cases(k)
  what = c(0) & " = " & c(1)
  SetLimit c(0), c(1)
  Check Limit(c(0)) = c(1), what & " reads back"
  r = Upload()
  Check r = c(2), what & ": FD_Decode and FD_EndDecode give " & r
  Check Results() = c(3), what & ": " & Results()
  bin.FD_DeleteTMPFiles
  Check bin.FExists(dir & "\*") = 0, what & ": no file left on disk"
  SetLimit c(0), 0
Next

' Kept by the object: through FD_FreeData and later uploads, and set after FD_Init.
bin.FD_MaxFiles = 1
bin.FD_FreeData
Check Upload() = "0 13", "the limit outlives FD_FreeData"
bin.FD_DeleteTMPFiles
bin.FD_MaxFiles = 0
bin.FD_Init dir
bin.FD_MaxFields = 1
Check bin.FD_Decode(body) = 0, "a limit set after FD_Init holds"
Check bin.FD_EndDecode() = 13, "and ends the upload with 13"
bin.FD_DeleteTMPFiles
bin.FD_MaxFields = -3
Check bin.FD_MaxFields = 0, "a limit below 0 is none"
bin.FD_MaxFileSize = 5000000000
Check bin.FD_MaxFileSize = 5000000000, "a 64-bit file size limit: " & bin.FD_MaxFileSize

' A header line with no end stops at its bound once a limit is set.
bin.FD_Init dir
Check bin.FD_Decode(bin.StrToBuffer("--b" & crlf & "X-Huge: " & String(20000, "h"))) = 0, "a header line with no end"
Check bin.FD_EndDecode() = 13, "stops with 13"

fso.DeleteFolder dir, True
WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit failed
