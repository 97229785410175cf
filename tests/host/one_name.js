// A name means one file, through the real script host: names Windows would store as
// another file (a trailing dot or space, a stream, a device) are refused by every member
// that takes a name, names that only look close still work, names past MAX_PATH work,
// and SafeFileName gives names that can be stored and found again.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) passed++;
  else { failed++; WScript.Echo("FAIL: " + what); }
}

var fso = new ActiveXObject("Scripting.FileSystemObject");
var bin = new ActiveXObject("Kelvarin.BinaryRW");
var img = new ActiveXObject("Kelvarin.Image");
var base = fso.GetSpecialFolder(2) + "\\kelv-one-name-" + Math.floor(Math.random() * 1e9);
fso.CreateFolder(base);
function put(path, text) {
  var f = fso.CreateTextFile(path, true);
  f.Write(text);
  f.Close();
}
function repeat(s, n) {
  var out = "";
  for (var k = 0; k < n; k++) out += s;
  return out;
}
put(base + "\\shell.asp", "ASP");
put(base + "\\src.txt", "SRC");
img.CreateFromSize(8, 6, 255);
img.SaveToBmp(base + "\\src.bmp");

// ---- Trap names: every member refuses, nothing appears, nothing goes -------------------
var traps = ["shell.asp.", "shell.asp ", "shell.asp. .", "shell.asp::$DATA", "x.asp:y.jpg", "NUL", "nul.txt",
             "aux.txt", "com1.txt", "COM\u00B9.jpg", "lpt9", "con", "CONOUT$", "sub.\\x.txt",
             "shell.as>", "shell.as<", "shell\"asp", "shell.as?."];
for (var k = 0; k < traps.length; k++) {
  var t = base + "\\" + traps[k], what = " of " + escape(traps[k]);
  check(bin.FOpenWrite(t) === 0 && bin.FOpenAppend(t) === 0 && bin.FOpen(t, "wb") === 0 && bin.FOpenRead(t) === 0,
        "the opens" + what);
  bin.FClose();
  check(bin.FExists(t) === 0 && bin.DirExists(t) === 0, "FExists and DirExists" + what);
  // FileSize64's 64-bit integer is beyond this script host; FileSize reads the same size.
  check(bin.FileSize(t) === -1, "FileSize" + what);
  check(bin.FileCopy(base + "\\src.txt", t, 0) === 0 && bin.FileCopy(t, base + "\\copy.txt", 0) === 0, "FileCopy" + what);
  check(bin.FileMove(base + "\\src.txt", t) === 0 && bin.FileMove(t, base + "\\moved.txt") === 0, "FileMove" + what);
  check(bin.FileDelete(t) === 0 && bin.DirDelete(t) === 0 && bin.DirMake(t) === 0, "FileDelete and the folders" + what);
  check(bin.CreateTMPFile(t) === "" && bin.OldFilesDelete(0, t) === 0, "CreateTMPFile and OldFilesDelete" + what);
  check(img.SaveToBmp(t) === 0 && img.SaveToJpg(t) === 0 && img.SaveToPng(t) === 0, "the saves" + what);
  check(img.LoadFromBmp(t) === 0 && img.LoadFromFile(t) === 0 && img.HeaderReadFile(t) === 0, "the loads" + what);
  img.CreateFromSize(8, 6, 255);
  bin.FD_Init(t);
  bin.FD_Decode(bin.StrToBuffer("--B\r\nContent-Disposition: form-data; name=\"f\"; filename=\"a.jpg\"\r\n\r\nx\r\n--B--\r\n"));
  check(bin.FD_EndDecode() !== 0 || bin.FD_GetFilesCount() === 0 || !fso.FileExists(bin.FD_GetFileName(0)) ||
        bin.FD_GetFileName(0).indexOf(t + "\\") !== 0, "an upload into" + what);
  bin.FD_DeleteTMPFiles();
  bin.FD_FreeData();
}
check(fso.GetFile(base + "\\shell.asp").Size === 3 && fso.GetFile(base + "\\src.txt").Size === 3,
      "the files named by the traps stay as they were");
check(fso.GetFolder(base).Files.Count === 3 && fso.GetFolder(base).SubFolders.Count === 0,
      "nothing new in the folder (" + fso.GetFolder(base).Files.Count + " files)");
// Device paths, and the script's own verbatim prefix.
check(bin.FExists("\\\\.\\NUL") === 0 && bin.FOpenWrite("\\\\.\\NUL") === 0, "a device path");
check(bin.FExists("\\\\?\\" + base + "\\shell.asp") === 1, "a name with its own \\\\?\\ prefix");
check(bin.FileDelete("\\\\?\\" + base + "\\shell.asp.") === 0 && fso.FileExists(base + "\\shell.asp"),
      "a \\\\?\\ name is checked too");

// Masks still search.
check(bin.FExists(base + "\\shell.as?") === 1 && bin.FileSize(base + "\\*.asp") === 3, "a mask finds shell.asp");

// ---- Names that only look close still work ---------------------------------------------
var close = ["a.b.c.jpg", "console.jpg", "com10.txt", ".hidden", "nul-x.txt", "x\uFF0E", "\uFF0E\uFF0E", "lpt.txt"];
for (var k = 0; k < close.length; k++) {
  var n = base + "\\" + close[k], what = " of " + escape(close[k]);
  check(bin.FileCopy(base + "\\src.txt", n, 1) === 1 && fso.FileExists(n), "FileCopy" + what);
  check(bin.FExists(n) === 1 && bin.FileSize(n) === 3, "FExists and FileSize" + what);
  check(bin.FOpenAppend(n) === 1 && bin.FWriteStr("x") === 1, "FOpenAppend" + what);
  bin.FClose();
  check(bin.FileMove(n, n + "2") === 1 && bin.FileDelete(n + "2") === 1 && !fso.FileExists(n + "2"), "FileMove" + what);
}

// ---- SafeFileName ----------------------------------------------------------------------
// The names stored here, which go at the end by FileDelete: the script host's own folder
// removal stops at a name past MAX_PATH.
var made = {};
var table = [
  ["C:\\Users\\ann\\lake.jpg", "lake.jpg"], ["shell.asp.", "shell.asp"], ["shell.asp::$DATA", "shell.asp__$DATA"],
  ["x.asp:y.jpg", "x.asp_y.jpg"], ["a<b>c?.jpg", "a_b_c_.jpg"], ["...", "_"], ["", "_"],
  ["\u5199\u771F 2026.jpg", "\u5199\u771F 2026.jpg"], ["photo\u202Egpj.exe", "photogpj.exe"],
  ["\uFEFFa\u200Bb\u2066.jpg", "ab.jpg"], ["con.jpg", "_con.jpg"], ["COM\u00B2", "_COM\u00B2"],
  ["a\u0001\u001F\u007F|\"*.jpg", "a______.jpg"], [" .hidden ", "hidden"], ["y\u0000z", "y"],
  ["x\uFF0E", "x\uFF0E"], ["a/b\\c.jpg", "c.jpg"],
  [repeat("a", 300) + ".jpg", repeat("a", 251) + ".jpg"],
  [repeat("\u5199", 100) + ".jpg", repeat("\u5199", 83) + ".jpg"],
  [repeat("\uD83D\uDCF7", 100) + ".jpg", repeat("\uD83D\uDCF7", 62) + ".jpg"]
];
for (var k = 0; k < table.length; k++) {
  var got = bin.SafeFileName(table[k][0]);
  check(got === table[k][1], "SafeFileName of " + escape(table[k][0].substr(0, 40)) + " gave " + escape(got.substr(0, 40)));
  // Each result can be stored and found again under that very name.
  var stored = base + "\\" + got;
  made[stored] = true;
  check(fso.FileExists(stored) || bin.FileCopy(base + "\\src.txt", stored, 1) === 1, "storing " + escape(got.substr(0, 40)));
  check(bin.FExists(stored) === 1 && bin.FileSize(stored) === 3 && fso.FileExists(stored), "finding " + escape(got.substr(0, 40)));
}
var traps2 = traps.concat(["a\u202Eb", "\\\\.\\aux", ":", "?*"]);
for (var k = 0; k < traps2.length; k++) {
  var s = base + "\\" + bin.SafeFileName(traps2[k]);
  check(bin.FOpenWrite(s) === 1 && fso.FileExists(s), "SafeFileName of a trap stores: " + escape(traps2[k]));
  bin.FClose();
}

// ---- A path of 400 UTF-16 units ---------------------------------------------------------
var deep = base;
for (var k = 0; k < 5; k++) {
  deep += "\\" + repeat("\u5199\u771F", 40);
  check(bin.DirMake(deep) === 1 && bin.DirExists(deep) === 1, "DirMake of a long path, level " + k);
}
check(bin.DirExists(deep + "\\") === 1 && bin.DirMake(deep + "\\x\\") === 1 && bin.DirDelete(deep + "\\x\\") === 1,
      "a long folder named with its separator");
var longBmp = deep + "\\photo.bmp", longJpg = deep + "\\photo.jpg", longCopy = deep + "\\copy.bmp";
check(longBmp.length > 400, "the path is past 400 units (" + longBmp.length + ")");
img.CreateFromSize(9, 7, 255);
check(img.SaveToBmp(longBmp) === 1 && img.SaveToJpg(longJpg) === 1, "saves into a long path");
check(img.LoadFromBmp(longBmp) === 1 && img.Width === 9 && img.LoadFromFile(longJpg) === 1, "loads from a long path");
check(img.HeaderReadFile(longJpg) === 1 && img.FileFormat === "jpeg", "probes in a long path");
check(bin.FileCopy(longBmp, longCopy, 1) === 1 && bin.FExists(longCopy) === 1 && bin.FileSize(longCopy) === bin.FileSize(longBmp),
      "FileCopy in a long path");
check(bin.FOpenAppend(longCopy) === 1 && bin.FWriteStr("z") === 1, "FOpenAppend in a long path");
bin.FClose();
check(bin.FileMove(longCopy, deep + "\\moved.bmp") === 1 && bin.FileDelete(deep + "\\moved.bmp") === 1, "FileMove and FileDelete in a long path");
var tmp = bin.CreateTMPFile(deep);
check(tmp.indexOf(deep + "\\") === 0 && bin.FExists(tmp) === 1, "CreateTMPFile in a long path gave " + tmp.length);

// The long folders go by the component's own members, which take their names whole.
bin.FileDelete(longBmp);
bin.FileDelete(longJpg);
bin.FileDelete(tmp);
for (var k = 0; k < 5; k++) {
  check(bin.DirDelete(deep) === 1, "DirDelete of a long path, level " + k);
  deep = deep.substr(0, deep.lastIndexOf("\\"));
}
for (var name in made) check(bin.FileDelete(name) === 1 && bin.FExists(name) === 0, "FileDelete of " + escape(name.substr(base.length, 40)));
bin = null;
img = null;
fso.DeleteFolder(base, true);
WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(failed);
