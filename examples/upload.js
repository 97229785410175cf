// The typical upload in JScript: a picture drawn and saved, a multipart body built
// around it, decoded in chunks as a page would, and a framed thumbnail made from it.
// Usage: cscript upload.js [OUTPUT_FOLDER]
var fso = new ActiveXObject("Scripting.FileSystemObject");
var out = WScript.Arguments.length > 0 ? WScript.Arguments(0) : fso.GetSpecialFolder(2).Path;
if (!fso.FolderExists(out)) fso.CreateFolder(out);

var img = new ActiveXObject("Kelvarin.Image");
img.CreateFromSize(320, 240);
for (var y = 0; y < 240; y++) {
  img.PenColor = img.GetColorFromRGB(30 + y / 2, 60 + y / 3, 180);
  img.Line(0, y, 320, y);
}
img.BrushColor = img.GetColorFromRGB(250, 220, 40);
img.Ellipse(220, 30, 60, 60);
var photo = fso.BuildPath(out, "js-photo.jpg");
img.SaveToJpg(photo);

var bin = new ActiveXObject("Kelvarin.BinaryRW");
var crlf = "\r\n", boundary = "----KelvarinJScriptDemo";
var body = bin.StrToBuffer("--" + boundary + crlf + 'Content-Disposition: form-data; name="caption"' + crlf + crlf +
                           "Evening sky" + crlf + "--" + boundary + crlf +
                           'Content-Disposition: form-data; name="photo"; filename="sky.jpg"' + crlf +
                           "Content-Type: image/jpeg" + crlf + crlf);
var reader = new ActiveXObject("Kelvarin.BinaryRW");
reader.FOpenRead(photo);
for (;;) {
  var part = reader.FRead(65536);
  if (reader.FReaded() == 0) break;
  body = bin.JoinBuffer(body, part);
}
reader.FClose();
body = bin.JoinBuffer(body, bin.StrToBuffer(crlf + "--" + boundary + "--" + crlf));

var uploads = fso.BuildPath(out, "js-uploads");
if (!fso.FolderExists(uploads)) fso.CreateFolder(uploads);
bin.FD_Init(uploads, "sky");
bin.FD_Decode(body);
var code = bin.FD_EndDecode();
WScript.Echo("FD_EndDecode  " + code);
WScript.Echo("caption       " + bin.FD_GetItemValue(0));
WScript.Echo("file          " + bin.FD_GetFileName(0) + " from " + bin.FD_GetFileHeaderName(0));

var thumb = new ActiveXObject("Kelvarin.Image");
thumb.LoadFromJpg(bin.FD_GetFileName(0));
thumb.cntThumbBorder = 1;
thumb.SetThumbBorder(0, thumb.GetColorFromRGB(0, 0, 0));
thumb.ThumbBgColor = thumb.GetColorFromRGB(255, 255, 255);
thumb.MakeThumb(120, 120);
thumb.SaveToJpg(fso.BuildPath(out, "js-thumbnail.jpg"));
WScript.Echo("thumbnail     " + thumb.GetHtmlWH());
WScript.Echo("deleted       " + bin.FD_DeleteTMPFiles());
if (code == 0) WScript.Echo("Done.");
