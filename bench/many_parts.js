// Times the decoder on a body of COUNT parts of one byte each, under the script host:
// file parts, or with "fields" text fields (the decoder's own work without creating
// files). The body is written to BODY_DIR first, then read back in 64 KiB chunks into
// FD_Decode with the upload going to OUT_DIR (generated names). Prints the seconds of
// the decode (FD_Init to FD_EndDecode) and of FD_DeleteTMPFiles, the result, the
// number of files and the number deleted.
//   many_parts.js BODY_DIR OUT_DIR COUNT [fields]
var bodyDir = WScript.Arguments(0), out = WScript.Arguments(1);
var count = parseInt(WScript.Arguments(2), 10);
var fields = WScript.Arguments.length > 3 && WScript.Arguments(3) === "fields";
var bin = new ActiveXObject("Kelvarin.BinaryRW"), rd = new ActiveXObject("Kelvarin.BinaryRW");
var body = bodyDir + "\\parts.body";
bin.FOpenWrite(body);
var part = bin.StrToBuffer("--b\r\nContent-Disposition: form-data; name=\"f\"" + (fields ? "" : "; filename=\"x.bin\"") +
                           "\r\n\r\nx\r\n");
for (var i = 0; i < count; i++) bin.FWrite(part);
bin.FWrite(bin.StrToBuffer("--b--\r\n"));
bin.FClose();
var t0 = new Date().getTime();
bin.FD_Init(out);
rd.FOpenRead(body);
for (;;) {
  var chunk = rd.FRead(65536);
  if (rd.FReaded() === 0) break;
  bin.FD_Decode(chunk);
}
var result = bin.FD_EndDecode();
var t1 = new Date().getTime();
var files = bin.FD_GetFilesCount(), deleted = bin.FD_DeleteTMPFiles();
var t2 = new Date().getTime();
rd.FClose();
bin.FileDelete(body);
WScript.Echo((t1 - t0) / 1000 + " " + (t2 - t1) / 1000 + " " + result + " " + files + " " + deleted);
