<%@ Language="VBScript" %>
<!-- #include file="thumb.inc" -->
<%
' A classic server page that takes a photo upload: the request body is read in chunks
' into the decoder, the photo becomes a framed thumbnail, and the thumbnail is sent
' back in the response; a photo whose name and content agree is kept in the photos
' folder under its client's name made safe (UploadName). The form below posts to this
' same page.
Option Explicit
Response.Buffer = True

If Request.ServerVariables("REQUEST_METHOD") = "POST" Then
  Dim bin, img, dir, kept_dir, total, done, size, code, thumb, kept
  Set bin = Server.CreateObject("Kelvarin.BinaryRW")
  Set img = Server.CreateObject("Kelvarin.Image")
  dir = Server.MapPath("uploads")
  If bin.DirExists(dir) <> 1 Then bin.DirMake dir
  ' Photos kept go to a folder of their own: "uploads" holds only the decoder's files of
  ' requests in progress.
  kept_dir = Server.MapPath("photos")
  If bin.DirExists(kept_dir) <> 1 Then bin.DirMake kept_dir
  ' What this form can bring: one photo of up to 50 MB and a few short fields. A body
  ' that passes a limit stops at once, keeps nothing of the part that passed it, and
  ' FD_EndDecode gives 13.
  bin.FD_MaxFileSize = 50 * 1048576
  bin.FD_MaxFiles = 1
  bin.FD_MaxFieldSize = 4096
  bin.FD_MaxFields = 8
  bin.FD_Init dir
  total = Request.TotalBytes
  done = 0
  Do While done < total
    size = total - done
    If size > 65536 Then size = 65536
    ' BinaryRead sets size to the count it read: 0 when the client stopped sending.
    bin.FD_Decode Request.BinaryRead(size)
    If size = 0 Then Exit Do
    done = done + size
  Loop
  code = bin.FD_EndDecode()
  If code = 0 And bin.FD_GetFilesCount() > 0 Then
    thumb = FramedThumb(img, bin.FD_GetFileName(0))
    ' FileMove never replaces a file: a name already kept keeps its first file.
    kept = UploadName(bin, img, bin.FD_GetFileHeaderName(0), bin.FD_GetFileName(0))
    If Not IsNull(thumb) And kept <> "" Then bin.FileMove bin.FD_GetFileName(0), kept_dir & "\" & kept
    bin.FD_DeleteTMPFiles
    If Not IsNull(thumb) Then
      ' Only the picture goes out: the page's text so far (line ends) is dropped.
      Response.Clear
      Response.ContentType = "image/jpeg"
      Response.BinaryWrite thumb
      Response.End
    End If
  End If
  bin.FD_DeleteTMPFiles
  Response.Clear
  Response.Write "The upload could not be used (result " & code & ")."
  Response.End
End If
%>
<html>
<head><title>Photo upload</title></head>
<body>
<h1>Photo upload</h1>
<form method="post" enctype="multipart/form-data">
  <p>Title: <input type="text" name="title"></p>
  <p>Photo (JPEG, PNG, GIF, WebP, AVIF or a phone's HEIC): <input type="file" name="photo"
     accept="image/jpeg,image/png,image/gif,image/webp,image/avif,image/heic,image/heif,.heic,.heif"></p>
  <p><input type="submit" value="Make a thumbnail"></p>
</form>
</body>
</html>
