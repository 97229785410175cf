' BinaryRW on its own: a small binary record file written with typed fields and read
' back, and the file utilities.
Option Explicit
Dim bin, name
Set bin = CreateObject("Kelvarin.BinaryRW")
name = bin.CreateTMPFile()
WScript.Echo "temporary file " & bin.ExtractFileName(name)
bin.FOpen name, "w+b"
bin.FWriteStrBin "ANN", 8, 32       ' an 8-byte name field, padded with spaces
bin.FWriteInt 1987, 2               ' a 16-bit year
bin.FWriteFloat 72.5, 8             ' a double
bin.FWriteStr "free text"           ' a zero-terminated string
bin.FSeek 0, 0
WScript.Echo "name  [" & bin.BufferToStr(bin.FReadStrBin(8)) & "]"
WScript.Echo "year  " & bin.FReadInt(2)
WScript.Echo "value " & bin.FReadFloat(8)
WScript.Echo "text  " & bin.FReadStr()
bin.FClose
WScript.Echo "size  " & bin.FileSize(name) & " bytes"
bin.FileDelete name
WScript.Echo "Done."
