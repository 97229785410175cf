' The typical upload, start to end, on data this script makes itself:
'   1. draw a photo-like picture and save it as JPEG;
'   2. wrap it in a multipart/form-data body, as a browser posts it, with two fields;
'   3. as a page does: read the body in chunks into the decoder, find the uploaded file,
'      load it, make a framed thumbnail, save it and send it as a buffer;
'   4. delete the upload.
' Usage: cscript upload.vbs [OUTPUT_FOLDER]
Option Explicit

Dim fso, out, img, bin, reader, i, c, crlf, boundary, photo, body, chunk, chunks, r, code
Dim upload, thumb, buffer, n, kept
Set fso = CreateObject("Scripting.FileSystemObject")
If WScript.Arguments.Count > 0 Then
  out = WScript.Arguments(0)
Else
  out = fso.GetSpecialFolder(2)
End If
If Not fso.FolderExists(out) Then fso.CreateFolder out

' 1. A picture: a sky gradient, a sun, hills, a house and a caption.
Set img = CreateObject("Kelvarin.Image")
img.CreateFromSize 640, 480
For i = 0 To 299
  img.PenColor = img.GetColorFromRGB(40 + i \ 3, 90 + i \ 3, 200 + i \ 6)
  img.Line 0, i, 640, i
Next
For i = 300 To 479
  img.PenColor = img.GetColorFromRGB(30 + (i - 300) \ 4, 120 - (i - 300) \ 4, 40)
  img.Line 0, i, 640, i
Next
img.PenColor = img.GetColorFromRGB(255, 200, 0)
img.BrushColor = img.GetColorFromRGB(255, 230, 60)
img.Ellipse 470, 50, 90, 90
img.PenColor = img.GetColorFromRGB(20, 80, 20)
img.BrushColor = img.GetColorFromRGB(40, 140, 50)
img.Ellipse -100, 240, 500, 300
img.Ellipse 250, 270, 520, 260
img.PenColor = 0
img.BrushColor = img.GetColorFromRGB(180, 60, 40)
img.Rectangle 120, 250, 140, 100
img.BrushColor = img.GetColorFromRGB(250, 240, 200)
img.Rectangle 150, 280, 30, 30
img.BrushStyle = 4
img.BrushColor = img.GetColorFromRGB(90, 40, 30)
img.FillRect 200, 300, 40, 50
img.BrushStyle = 1
img.FontName = "Arial"
img.FontHeight = -28
img.FontStyle = 1
img.FontColor = img.GetColorFromRGB(255, 255, 255)
img.TextOut 20, 20, "Kelvarin upload demo"
photo = fso.BuildPath(out, "photo.jpg")
If img.SaveToJpg(photo, 90) <> 1 Then WScript.Echo "could not save " & photo : WScript.Quit 1

' 2. The request body a browser would send: two fields and the photo.
Set bin = CreateObject("Kelvarin.BinaryRW")
crlf = Chr(13) & Chr(10)
boundary = "----KelvarinDemoBoundary7MA4YWxk"
body = bin.StrToBuffer("--" & boundary & crlf & _
  "Content-Disposition: form-data; name=""title""" & crlf & crlf & "Holiday at the lake" & crlf & _
  "--" & boundary & crlf & _
  "Content-Disposition: form-data; name=""album""" & crlf & crlf & "Summer 2026" & crlf & _
  "--" & boundary & crlf & _
  "Content-Disposition: form-data; name=""photo""; filename=""C:\Users\ann\Pictures\lake.jpg""" & crlf & _
  "Content-Type: image/jpeg" & crlf & crlf)
Set reader = CreateObject("Kelvarin.BinaryRW")
reader.FOpenRead photo
Do
  chunk = reader.FRead(65536)
  If reader.FReaded = 0 Then Exit Do
  body = bin.JoinBuffer(body, chunk)
Loop
reader.FClose
body = bin.JoinBuffer(body, bin.StrToBuffer(crlf & "--" & boundary & "--" & crlf))
bin.FOpenWrite fso.BuildPath(out, "request.body")
bin.FWrite body
bin.FClose

' 3. The page: the body arrives in chunks and goes through the decoder.
upload = fso.BuildPath(out, "uploads")
If Not fso.FolderExists(upload) Then fso.CreateFolder upload
bin.FD_Init upload
reader.FOpenRead fso.BuildPath(out, "request.body")
chunks = 0
Do
  chunk = reader.FRead(16384)
  If reader.FReaded = 0 Then Exit Do
  chunks = chunks + 1
  r = bin.FD_Decode(chunk)
Loop
reader.FClose
code = bin.FD_EndDecode()
WScript.Echo "request body      " & bin.FileSize(fso.BuildPath(out, "request.body")) & " bytes in " & chunks & " chunks"
WScript.Echo "FD_EndDecode      " & code & " (0: complete)"
For n = 0 To bin.FD_GetItemsCount - 1
  WScript.Echo "field             " & bin.FD_GetItemName(n) & " = " & bin.FD_GetItemValue(n)
Next
WScript.Echo "files             " & bin.FD_GetFilesCount
WScript.Echo "client name       " & bin.FD_GetFileHeaderName(0) & " (" & bin.SafeFileName(bin.FD_GetFileHeaderName(0)) & ")"
WScript.Echo "content type      " & bin.FD_GetFileContentType(0)
WScript.Echo "stored as         " & bin.FD_GetFileName(0) & ", " & bin.FileSize(bin.FD_GetFileName(0)) & " bytes"

Set thumb = CreateObject("Kelvarin.Image")
thumb.HeaderReadJpg bin.FD_GetFileName(0)
WScript.Echo "header probe      " & thumb.HeaderGetHtmlWH
If thumb.LoadFromJpg(bin.FD_GetFileName(0)) <> 1 Then WScript.Echo "the upload is no JPEG" : WScript.Quit 1
WScript.Echo "loaded            " & thumb.GetHtmlWH
thumb.cntThumbBorder = 3
thumb.SetThumbBorder 0, thumb.GetColorFromRGB(60, 60, 60)
thumb.SetThumbBorder 1, thumb.GetColorFromRGB(255, 255, 255)
thumb.SetThumbBorder 2, thumb.GetColorFromRGB(200, 160, 60)
thumb.ThumbBgColor = thumb.GetColorFromRGB(245, 245, 240)
thumb.MakeThumb 200, 200
WScript.Echo "thumbnail         " & thumb.GetHtmlWH
thumb.SaveToJpg fso.BuildPath(out, "thumbnail.jpg"), 85
WScript.Echo "saved             " & fso.BuildPath(out, "thumbnail.jpg") & ", " & bin.FileSize(fso.BuildPath(out, "thumbnail.jpg")) & " bytes"
buffer = thumb.SaveToBufferJpg(85)
bin.FOpenWrite fso.BuildPath(out, "thumbnail-buffer.jpg")
bin.FWrite buffer
bin.FClose
WScript.Echo "as a buffer       " & bin.FileSize(fso.BuildPath(out, "thumbnail-buffer.jpg")) & " bytes, ready for the response"

' The photo is kept under its client's name made safe to store, as a page would keep it:
' an allowed extension (ExtractFileExt) and content of that format (FileFormat). The
' demo's own copy from an earlier run goes first; a page never replaces a kept file.
kept = fso.BuildPath(upload, bin.SafeFileName(bin.FD_GetFileHeaderName(0)))
bin.FileDelete kept
If bin.ExtractFileExt(kept, 1) = "jpg" And thumb.HeaderReadFile(bin.FD_GetFileName(0)) = 1 And thumb.FileFormat = "jpeg" Then
  If bin.FileCopy(bin.FD_GetFileName(0), kept, 1) = 1 Then WScript.Echo "kept as           " & kept
End If

' 4. The upload is no longer needed.
WScript.Echo "deleted uploads   " & bin.FD_DeleteTMPFiles()
If code = 0 And bin.FExists(fso.BuildPath(out, "thumbnail.jpg")) = 1 Then WScript.Echo "Done."
