' BinaryRW through the real script host: typed file I/O, buffers held in variables and
' made by expressions, optional arguments, file utilities, temporary files in a folder
' whose name holds a space.
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

Dim fso, bin, base, f, buf, v, t, tmp, spaced, n
Set fso = CreateObject("Scripting.FileSystemObject")
Set bin = CreateObject("Kelvarin.BinaryRW")
base = fso.GetSpecialFolder(2) & "\kelv-host-" & Int(Timer * 100)
Check bin.DirMake(base) = 1, "DirMake"
Check bin.DirExists(base) = 1, "DirExists"
f = base & "\typed.bin"

' Typed writes and reads.
Check bin.FOpen(f, "w+b") = 1, "FOpen w+b"
Check bin.FWriteInt(-2, 2) = 1, "FWriteInt 2"
Check bin.FWriteInt(255, 1) = 1, "FWriteInt 1"
Check bin.FWriteInt(123456789, 4) = 1, "FWriteInt 4"
Check bin.FWriteFloat(1.5, 10) = 1, "FWriteFloat 10"
Check bin.FWriteFloat(0.25, 4) = 1, "FWriteFloat 4"
Check bin.FWriteStr("ab") = 1, "FWriteStr"
Check bin.FWriteStrBin("abc", 5, 42) = 1, "FWriteStrBin with fill"
Check bin.FWriteStrBin(12, 5) = 0, "FWriteStrBin of a number"
Check bin.FTell = 2 + 1 + 4 + 10 + 4 + 3 + 5, "FTell"
Check bin.FSeek(0, 0) = 1, "FSeek"
v = bin.FReadInt(2)
Check v = -2 And VarType(v) = vbInteger, "FReadInt 2 is a 16-bit integer"
v = bin.FReadInt(1)
Check VarType(v) = 16, "FReadInt 1 is a signed byte (VT_I1)"
Check CInt(v) = -1, "the signed byte holds -1 (script engines compare it only once converted)"
Check bin.FReadInt(4) = 123456789, "FReadInt 4"
v = bin.FReadFloat(10)
Check v = 1.5 And VarType(v) = vbDouble, "FReadFloat 10 is a double"
v = bin.FReadFloat(4)
Check v = 0.25 And VarType(v) = vbSingle, "FReadFloat 4 is a single"
Check bin.FReadStr() = "ab", "FReadStr with the default size"
buf = bin.FReadStrBin(5)
Check bin.BufferToStr(buf) = "abc**", "fixed field with its padding"
Check bin.FReaded = 5, "FReaded"
Check IsNull(bin.FReadInt(3)), "FReadInt of an unsupported size is Null"
buf = bin.FRead()
Check VarType(buf) = 8209 And bin.FReaded = 0, "FRead at the end is an empty buffer"
Check bin.FEof = 1, "FEof after a short read"
bin.FClose

' Numbers copied from field to field keep their bits: a signalling NaN (quiet bit clear)
' stays one, as a double and as an extended number.
Check bin.FOpen(f, "w+b") = 1, "FOpen for NaNs"
bin.FWriteInt 1, 4 : bin.FWriteInt &H7FF00000, 4
bin.FWriteInt &H800, 4 : bin.FWriteInt &H80000000, 4 : bin.FWriteInt &H7FFF, 2
bin.FSeek 0, 0
v = bin.FReadFloat(8)
t = bin.FReadFloat(10)
Check bin.FWriteFloat(v, 8) = 1 And bin.FWriteFloat(v, 10) = 1 And bin.FWriteFloat(t, 8) = 1, "NaNs written back"
bin.FSeek 18, 0
Check bin.FReadInt(4) = 1 And bin.FReadInt(4) = &H7FF00000, "a signalling NaN double copied"
Check bin.FReadInt(4) = &H800 And bin.FReadInt(4) = &H80000000 And bin.FReadInt(2) = &H7FFF, "its extended form"
Check bin.FReadInt(4) = 1 And bin.FReadInt(4) = &H7FF00000, "an extended signalling NaN read as a double"
bin.FClose

' Buffers from variables and from expressions reach FWrite alike.
Check bin.FOpenWrite(f) = 1, "FOpenWrite"
buf = bin.StrToBuffer("Hello")
Check VarType(buf) = 8209, "StrToBuffer gives a byte array"
Check bin.IsBuffer(buf) = 1, "IsBuffer of a variable"
Check bin.FWrite(buf) = 1, "FWrite of a variable"
Check bin.FWrite(bin.StrToBuffer(", ")) = 1, "FWrite of an expression"
Check bin.FWrite(bin.JoinBuffer(buf, bin.StrToBuffer("!", 1))) = 1, "JoinBuffer of a variable and an expression"
Check bin.FWrite("text") = 0, "FWrite of a string"
Check IsNull(bin.JoinBuffer(buf, "x")), "JoinBuffer with a string is Null"
Check bin.IsBuffer("x") = 0, "IsBuffer of a string"
bin.FClose
Check bin.FileSize(f) = 14, "FileSize (the last piece ends in a zero byte)"
Check bin.FileSize64(f) = 14 And VarType(bin.FileSize64(f)) = 20, "FileSize64 is a 64-bit integer"
Check bin.FOpenRead(f) = 1, "FOpenRead"
buf = bin.FRead(100)
Check bin.BufferToStr(buf) = "Hello, Hello!", "content written through variables and expressions"
bin.FClose

' Name splitting and file utilities.
Check bin.ExtractFileName("c:\data\photo.JPG") = "photo.JPG", "ExtractFileName"
Check bin.ExtractFileExt("c:\data\photo.JPG", 1) = "jpg", "ExtractFileExt lower case"
Check bin.ExtractFileNameOnly("docs/archive.tar.gz") = "archive", "ExtractFileNameOnly"
Check bin.ExtractFileName("C:\Dir\File.Txt", 2) = "FILE.TXT", "upper case"
Check bin.FExists(f) = 1, "FExists"
Check bin.FExists(base) = 0, "FExists of a directory"
Check bin.FileCopy(f, base & "\copy.bin", 0) = 1, "FileCopy"
Check bin.FileCopy(f, base & "\copy.bin", 1) = 0, "FileCopy refuses to overwrite"
Check bin.FileMove(base & "\copy.bin", base & "\moved.bin") = 1, "FileMove"
Check bin.FileDelete(base & "\moved.bin") = 1, "FileDelete"
Check bin.DirDelete(base) = 0, "DirDelete of a directory that holds a file"

' Temporary files in a folder whose name holds a space.
spaced = base & "\with space"
Check bin.DirMake(spaced) = 1, "DirMake with a space"
tmp = bin.CreateTMPFile(spaced)
Check Left(tmp, Len(spaced) + 1) = spaced & "\", "CreateTMPFile in the folder: " & tmp
Check UCase(Right(tmp, 4)) = ".TMP", "CreateTMPFile name form"
Check bin.FExists(tmp) = 1 And bin.FileSize(tmp) = 0, "the temporary file exists and is empty"
Check bin.CreateTMPFile(spaced) <> tmp, "a second temporary file gets another name"
Check bin.OldFilesDelete(3600, spaced & "\*.tmp") = 0, "young files are kept"
Check bin.OldFilesDelete(0, "*.tmp") = 0, "a mask without a directory deletes nothing"

fso.DeleteFolder base, True
Check bin.DirExists(base) = 0, "cleaned up"
WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit failed
