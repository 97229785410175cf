// File names through the real script host, in JScript (its \u escapes reach every
// script): names that look like a parent folder in other characters never reach the
// parent, a character a code page lacks is never a wildcard, and names in many scripts
// save, load, probe, copy, move, delete and upload under exactly the name given.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) passed++;
  else { failed++; WScript.Echo("FAIL: " + what); }
}

var fso = new ActiveXObject("Scripting.FileSystemObject");
var bin = new ActiveXObject("Kelvarin.BinaryRW");
var img = new ActiveXObject("Kelvarin.Image");
var base = fso.GetSpecialFolder(2) + "\\kelv-names-" + Math.floor(Math.random() * 1e9);
var up = base + "\\up", sub = up + "\\sub";
fso.CreateFolder(base);
fso.CreateFolder(up);
fso.CreateFolder(sub);
fso.CreateFolder(up + "\\empty");

function put(path, text) {
  var f = fso.CreateTextFile(path, true);
  f.Write(text);
  f.Close();
}
put(up + "\\secret.txt", "SECRET");
put(up + "\\old.txt", "OLD");
put(base + "\\ab.jpg", "AB");
img.CreateFromSize(6, 5, 255);
check(img.SaveToBmp(up + "\\secret.bmp") === 1, "the parent's bitmap is made");
var bmpSize = fso.GetFile(up + "\\secret.bmp").Size;

// A body of one file part, as a browser sends it, made with a UTF-8 BinaryRW.
var utf8 = new ActiveXObject("Kelvarin.BinaryRW");
utf8.CodePage = 65001;
function body(fileName, content) {
  var crlf = "\r\n";
  return utf8.StrToBuffer("--XyZ" + crlf + "Content-Disposition: form-data; name=\"f\"; filename=\"" + fileName + "\"" +
                          crlf + "Content-Type: image/jpeg" + crlf + crlf + content + crlf + "--XyZ--" + crlf);
}

// ---- Other characters that look like "..\" ----------------------------------------
// Fullwidth full stops and reverse solidus, and the division slash, which a best-fit
// code page maps to ".", "\" and "/".
var lookalikes = ["\uFF0E\uFF0E\uFF3C", "..\uFF3C", "\uFF0E\uFF0E\\", "\uFF0E.\u2215"];
for (var k = 0; k < lookalikes.length; k++) {
  var p = sub + "\\" + lookalikes[k], what = " of " + escape(lookalikes[k]);
  check(bin.FExists(p + "secret.txt") === 0, "FExists" + what);
  check(bin.FileSize(p + "secret.txt") === -1, "FileSize" + what);
  check(bin.FOpenRead(p + "secret.txt") === 0 && bin.FOpen(p + "secret.txt", "rb") === 0, "FOpenRead and FOpen" + what);
  bin.FClose();
  check(bin.FileCopy(p + "secret.txt", base + "\\copied.txt", 0) === 0 && !fso.FileExists(base + "\\copied.txt"),
        "FileCopy from" + what);
  check(bin.FileMove(p + "secret.txt", base + "\\moved.txt") === 0, "FileMove from" + what);
  check(bin.FileDelete(p + "secret.txt") === 0, "FileDelete" + what);
  check(bin.DirExists(p + "empty") === 0, "DirExists" + what);
  check(bin.DirDelete(p + "empty") === 0 && fso.FolderExists(up + "\\empty"), "DirDelete" + what);
  check(img.LoadFromBmp(p + "secret.bmp") === 0 && img.LoadFromFile(p + "secret.bmp") === 0, "loads" + what);
  check(img.HeaderReadBmp(p + "secret.bmp") === 0 && img.HeaderReadFile(p + "secret.bmp") === 0, "probes" + what);
  img.CreateFromSize(2, 2, 0);
  img.SaveToBmp(p + "secret.bmp");
  img.SaveToJpg(p + "made.jpg");
  check(fso.GetFile(up + "\\secret.bmp").Size === bmpSize && !fso.FileExists(up + "\\made.jpg"), "saves" + what);
  bin.FileCopy(base + "\\ab.jpg", p + "secret.txt", 0);
  if (bin.FOpenWrite(p + "written.txt") === 1) bin.FWriteStr("x");
  bin.FClose();
  if (bin.FOpenAppend(p + "secret.txt") === 1) bin.FWriteStr("x");
  bin.FClose();
  bin.DirMake(p + "made");
  check(!fso.FileExists(up + "\\written.txt") && !fso.FolderExists(up + "\\made"), "FOpenWrite and DirMake" + what);
  bin.CreateTMPFile(p);
  // Uploads: the folder, and a base name that reaches up.
  bin.FD_Init(p);
  bin.FD_Decode(body("a.jpg", "upload"));
  bin.FD_EndDecode();
  bin.FD_Init(sub, lookalikes[k] + "evil");
  bin.FD_Decode(body("a.jpg", "upload"));
  bin.FD_EndDecode();
  check(bin.FD_GetFileName(0) === sub + "\\" + lookalikes[k] + "evil_1.tmp", "the base name is kept" + what);
  check(!fso.FileExists(up + "\\evil_1.tmp") && bin.FExists(up + "\\*.tmp") === 0, "uploads and temporary files stay below" + what);
  bin.FD_DeleteTMPFiles();
  bin.FD_FreeData();
  check(fso.FileExists(up + "\\secret.txt") && fso.GetFile(up + "\\secret.txt").Size === 6, "the parent's file" + what);
}
check(fso.GetFolder(up).Files.Count === 3 && fso.GetFolder(up).SubFolders.Count === 2,
      "nothing new in the parent folder (" + fso.GetFolder(up).Files.Count + " files)");

// ---- Names in many scripts ---------------------------------------------------------
var names = [
  ["Latin-1", "Gr\u00FC\u00DFe \u00E0 Montr\u00E9al"],
  ["Turkish", "Foto\u011Fraf \u0131\u015F\u0131k"],
  ["Greek", "\u03A6\u03C9\u03C4\u03BF\u03B3\u03C1\u03B1\u03C6\u03AF\u03B1"],
  ["CJK", "\u5199\u771F"],
  ["emoji", "\uD83D\uDCF7 photo"]
];
for (var k = 0; k < names.length; k++) {
  var n = names[k][1], what = " (" + names[k][0] + ")";
  var dir = base + "\\" + n;
  check(bin.DirMake(dir) === 1 && fso.FolderExists(dir) && bin.DirExists(dir) === 1, "DirMake" + what);
  var bmp = dir + "\\" + n + ".bmp", jpg = dir + "\\" + n + ".jpg", png = dir + "\\" + n + ".png";
  img.CreateFromSize(7, 4, 255);
  check(img.SaveToBmp(bmp) === 1 && fso.FileExists(bmp), "SaveToBmp" + what);
  check(img.SaveToJpg(jpg) === 1 && fso.FileExists(jpg), "SaveToJpg" + what);
  check(img.SaveToPng(png) === 1 && fso.FileExists(png), "SaveToPng" + what);
  img.DeleteImage();
  check(img.LoadFromBmp(bmp) === 1 && img.Width === 7, "LoadFromBmp" + what);
  check(img.LoadFromJpg(jpg) === 1 && img.LoadFromPng(png) === 1 && img.LoadFromFile(jpg) === 1, "the other loads" + what);
  check(img.LoadFromJpgMin(jpg, 1, 1) === 1, "LoadFromJpgMin" + what);
  check(img.HeaderReadBmp(bmp) === 1 && img.HeaderGetWidth() === 7, "HeaderReadBmp" + what);
  check(img.HeaderReadJpg(jpg) === 1 && img.HeaderReadPng(png) === 1 && img.HeaderReadFile(bmp) === 1, "probes" + what);
  check(bin.FExists(bmp) === 1 && bin.FileSize(bmp) === fso.GetFile(bmp).Size, "FExists and FileSize" + what);
  var copy = dir + "\\" + n + " copy.bmp", moved = dir + "\\" + n + " moved.bmp";
  check(bin.FileCopy(bmp, copy, 0) === 1 && fso.FileExists(copy), "FileCopy" + what);
  check(bin.FileMove(copy, moved) === 1 && fso.FileExists(moved) && !fso.FileExists(copy), "FileMove" + what);
  check(bin.FileDelete(moved) === 1 && !fso.FileExists(moved), "FileDelete" + what);
  check(bin.ExtractFileName(bmp) === n + ".bmp" && bin.ExtractFileNameOnly(bmp) === n && bin.ExtractFileExt(bmp) === "bmp",
        "ExtractFileName" + what);
  var txt = dir + "\\" + n + ".txt";
  check(bin.FOpenWrite(txt) === 1 && bin.FWriteStr("ab") === 1, "FOpenWrite" + what);
  bin.FClose();
  check(bin.FOpenAppend(txt) === 1, "FOpenAppend" + what);
  bin.FClose();
  check(bin.FOpenRead(txt) === 1 && bin.FReadStr() === "ab", "FOpenRead" + what);
  bin.FClose();
  var tmp = bin.CreateTMPFile(dir);
  check(tmp.indexOf(dir + "\\") === 0 && fso.FileExists(tmp), "CreateTMPFile" + what + " gave " + escape(tmp));
  // An upload into the folder, and one named from a base name in the same script.
  bin.FD_Init(dir);
  bin.FD_Decode(body(n + ".jpg", "content"));
  check(bin.FD_EndDecode() === 0 && bin.FD_GetFileName(0).indexOf(dir + "\\") === 0 &&
        fso.FileExists(bin.FD_GetFileName(0)), "an upload into the folder" + what);
  bin.FD_Init(dir, n);
  bin.FD_Decode(body(n + ".jpg", "content"));
  check(bin.FD_EndDecode() === 0 && bin.FD_GetFileName(0) === dir + "\\" + n + "_1.tmp" &&
        fso.FileExists(dir + "\\" + n + "_1.tmp"), "an upload under a base name" + what);
  bin.FD_FreeData();
}
// The case of a name changes by Unicode rules.
check(bin.ExtractFileName("c:\\x\\Foto\u011Fraf.jpg", 2) === "FOTO\u011ERAF.JPG", "upper case, Turkish");
check(bin.ExtractFileExt("a.\u03A6\u03A9\u03A4\u039F", 1) === "\u03C6\u03C9\u03C4\u03BF", "lower case, Greek");
check(bin.ExtractFileNameOnly("\u0424\u043E\u0442\u043E.jpg", 2) === "\u0424\u041E\u0422\u041E", "upper case, Cyrillic");
// A folder named with a letter a code page lacks is made under that name, not a look-alike.
check(!fso.FolderExists(base + "\\Fotograf isik"), "no look-alike folder was made");
// A name holding a NUL names no file: its tail is what a page checked.
check(bin.FExists(base + "\\ab.jpg\u0000.txt") === 0 && bin.FOpenWrite(base + "\\ab.jpg\u0000.txt") === 0,
      "a name with a NUL");
check(bin.ExtractFileExt(base + "\\ab.asp\u0000.jpg") === "asp" &&
      bin.ExtractFileName("x\\y\u0000\\z") === "y", "the name-splitting members take text up to its first NUL");

// ---- A character a code page lacks is no wildcard ------------------------------------
check(bin.FExists(base + "\\\u5199\u771F.jpg") === 0, "FExists of a CJK name that is not there");
// OldFilesDelete takes files at least a second old.
var t1 = new Date().getTime();
while (new Date().getTime() - t1 < 1200) {}
check(bin.OldFilesDelete(0, base + "\\\u5199\u771F.jpg") === 0 && fso.FileExists(base + "\\ab.jpg"),
      "OldFilesDelete of a CJK name deletes nothing else");
// Masks that look like the parent folder delete at most the files named so in the folder.
for (var k = 0; k < lookalikes.length; k++) bin.OldFilesDelete(0, sub + "\\" + lookalikes[k] + "*.txt");
check(fso.FileExists(up + "\\old.txt") && fso.FileExists(up + "\\secret.txt"), "old files of the parent stay");
check(bin.OldFilesDelete(0, base + "\\" + names[3][1] + "\\*.tmp") >= 1, "OldFilesDelete in a CJK folder");

fso.DeleteFolder(base, true);
WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(failed);
