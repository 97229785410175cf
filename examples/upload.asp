<%@ Language="VBScript" %>
<%
' A classic server page that takes a photo upload: the request body is read in chunks
' into the decoder, the photo becomes a framed thumbnail, and the thumbnail is sent
' back in the response. The form below posts to this same page.
Option Explicit
Response.Buffer = True

If Request.ServerVariables("REQUEST_METHOD") = "POST" Then
  Dim bin, img, total, done, size, code, thumb
  Set bin = Server.CreateObject("Kelvarin.BinaryRW")
  Set img = Server.CreateObject("Kelvarin.Image")
  bin.FD_Init Server.MapPath("uploads")
  total = Request.TotalBytes
  done = 0
  Do While done < total
    size = total - done
    If size > 65536 Then size = 65536
    bin.FD_Decode Request.BinaryRead(size)
    done = done + size
  Loop
  code = bin.FD_EndDecode()
  If code = 0 And bin.FD_GetFilesCount() > 0 Then
    If img.LoadFromJpg(bin.FD_GetFileName(0)) = 1 Then
      img.cntThumbBorder = 2
      img.SetThumbBorder 0, img.GetColorFromRGB(80, 80, 80)
      img.SetThumbBorder 1, img.GetColorFromRGB(255, 255, 255)
      img.ThumbBgColor = img.GetColorFromRGB(240, 240, 240)
      img.MakeThumb 160, 120
      thumb = img.SaveToBufferJpg(85)
      bin.FD_DeleteTMPFiles
      Response.ContentType = "image/jpeg"
      Response.BinaryWrite thumb
      Response.End
    End If
  End If
  bin.FD_DeleteTMPFiles
  Response.Write "The upload could not be used (result " & code & ")."
  Response.End
End If
%>
<html>
<body>
<form method="post" enctype="multipart/form-data">
  <p>Title: <input type="text" name="title"></p>
  <p>Photo (JPEG): <input type="file" name="photo"></p>
  <p><input type="submit" value="Make a thumbnail"></p>
</form>
</body>
</html>
