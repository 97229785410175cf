<%@ Language="VBScript" CodePage=65001 %>
<!-- #include file="thumb.inc" -->
<%
' A page in UTF-8 that takes an upload in any script: the browser sends the form in the
' page's own encoding, so the BinaryRW reads the decoder's texts in UTF-8 too (CodePage
' 65001) and the client's file name and the title come back exactly as they were typed.
' A picture is kept in the photos folder under the client's name made safe to store
' (UploadName: SafeFileName, an allowed extension, content of that format); a name in any
' script stays as it was typed.
Option Explicit
Response.Charset = "utf-8"
Response.Buffer = True

Dim title, clientName, storedBytes, code, kept
code = ""
If Request.ServerVariables("REQUEST_METHOD") = "POST" Then
  Dim bin, img, dir, kept_dir, total, done, size, i
  Set bin = Server.CreateObject("Kelvarin.BinaryRW")
  bin.CodePage = 65001
  dir = Server.MapPath("uploads")
  If bin.DirExists(dir) <> 1 Then bin.DirMake dir
  ' Pictures kept go to a folder of their own: "uploads" holds only the decoder's files
  ' of requests in progress.
  kept_dir = Server.MapPath("photos")
  If bin.DirExists(kept_dir) <> 1 Then bin.DirMake kept_dir
  bin.FD_Init dir
  total = Request.TotalBytes
  done = 0
  Do While done < total
    size = total - done
    If size > 65536 Then size = 65536
    bin.FD_Decode Request.BinaryRead(size)
    If size = 0 Then Exit Do
    done = done + size
  Loop
  code = bin.FD_EndDecode()
  For i = 0 To bin.FD_GetItemsCount() - 1
    If bin.FD_GetItemName(i) = "title" Then title = bin.FD_GetItemValue(i)
  Next
  If bin.FD_GetFilesCount() > 0 Then
    clientName = bin.SafeFileName(bin.FD_GetFileHeaderName(0))
    storedBytes = bin.FileSize(bin.FD_GetFileName(0))
    Set img = Server.CreateObject("Kelvarin.Image")
    If code = 0 Then kept = UploadName(bin, img, bin.FD_GetFileHeaderName(0), bin.FD_GetFileName(0))
    If kept <> "" Then
      If bin.FileMove(bin.FD_GetFileName(0), kept_dir & "\" & kept) <> 1 Then kept = ""
    End If
  End If
  bin.FD_DeleteTMPFiles
End If
%><!DOCTYPE html>
<html lang="en">
<head><meta charset="utf-8"><title>Upload in any script</title></head>
<body>
<h1>Upload in any script — 任何文字 · любое письмо</h1>
<% If code <> "" Then %>
<p>Result <span id="code"><%= code %></span> (0: complete).</p>
<p>Title: <span id="title"><%= Server.HTMLEncode(title) %></span></p>
<p>File: <span id="file"><%= Server.HTMLEncode(clientName) %></span>, <span id="bytes"><%= storedBytes %></span> bytes<%
If kept <> "" Then %>, kept<% End If %></p>
<% End If %>
<form method="post" enctype="multipart/form-data" accept-charset="utf-8">
  <p>Title: <input type="text" name="title"></p>
  <p>File: <input type="file" name="photo"></p>
  <p><input type="submit" value="Send"></p>
</form>
</body>
</html>
