// Every writer on a disk that fills up, through the real script host: each returns its
// failure result at once, leaves no temporary file and leaves an existing target as it
// was. Run by full_disk.sh, which mounts the small file system:
//   full_disk.js FULL_DIR SCRATCH_DIR
// FULL_DIR is on the small file system, SCRATCH_DIR on a roomy one.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) passed++;
  else { failed++; WScript.Echo("FAIL: " + what); }
}

var full = WScript.Arguments(0), scratch = WScript.Arguments(1);
var bin = new ActiveXObject("Kelvarin.BinaryRW");
var rd = new ActiveXObject("Kelvarin.BinaryRW");
var img = new ActiveXObject("Kelvarin.Image");

function repeat(s, n) { return new Array(n + 1).join(s); }
var block = bin.StrToBuffer(repeat("0123456789abcdef", 4096));  // 64 KiB

// A file's whole content as text (the files compared here hold text).
function content(path) {
  if (rd.FOpenRead(path) !== 1) return "<missing>";
  var s = bin.BufferToStr(rd.FRead(1 << 20));
  rd.FClose();
  return s;
}
function put(path, text) {
  bin.FOpenWrite(path);
  bin.FWrite(bin.StrToBuffer(text));
  bin.FClose();
}
function noTemporaryFiles(what) {
  check(bin.FExists(full + "\\~kelv*") === 0, what + ": no temporary file left");
}

// A 3 MB source on the roomy disk, for the copy and the upload.
var source = scratch + "\\source.bin";
bin.FOpenWrite(source);
for (var i = 0; i < 48; i++) bin.FWrite(block);
bin.FClose();
check(bin.FileSize(source) === 48 * 65536, "the 3 MB source");

// The targets that must outlive the failed writes, then the disk filled up: first a
// 256 KB spare file, then a filler until a write falls short. Deleting the spare
// leaves room for a part of each write, so every writer meets a write that goes
// through in part and then one that fails.
var names = ["keep.bmp", "keep.jpg", "keep.png", "keep.bin"];
for (i = 0; i < names.length; i++) put(full + "\\" + names[i], "original " + names[i]);
bin.FOpenWrite(full + "\\spare.bin");
for (i = 0; i < 4; i++) bin.FWrite(block);
bin.FClose();
check(bin.FOpenWrite(full + "\\filler.bin") === 1, "open the filler");
var wrote = 0, r;
do { r = bin.FWrite(block); wrote++; } while (r === 1 && wrote < 1000);
check(r === 0 && wrote < 1000, "FWrite returns 0 once the disk is full (after " + wrote + " blocks)");
check(bin.FWriteInt(7, 4) === 0, "FWriteInt after the failed write");
check(bin.FWriteFloat(1.5, 8) === 0, "FWriteFloat after the failed write");
check(bin.FWriteStr("x") === 0, "FWriteStr after the failed write");
check(bin.FWriteStrBin("x", 4) === 0, "FWriteStrBin after the failed write");
bin.FClose();
check(bin.FileDelete(full + "\\spare.bin") === 1, "room for part of a write");

// The saves: a picture whose BMP, JPEG and uncompressed PNG each need far more room.
img.CreateFromSize(1500, 1500, 0x336699);
img.PenColor = 0xFFFFFF;
for (i = 0; i < 1500; i += 5) img.Line(0, i, 1500, 1500 - i);
var saves = [
  ["SaveToBmp", function (p) { return img.SaveToBmp(p); }, "keep.bmp"],
  ["SaveToJpg", function (p) { return img.SaveToJpg(p, 100); }, "keep.jpg"],
  ["SaveToPng", function (p) { return img.SaveToPng(p, 0); }, "keep.png"],
  ["FileCopy", function (p) { return bin.FileCopy(source, p, 0); }, "keep.bin"]
];
for (i = 0; i < saves.length; i++) {
  var name = saves[i][0], save = saves[i][1], keep = full + "\\" + saves[i][2];
  check(save(keep) === 0, name + " over an existing file fails");
  check(content(keep) === "original " + saves[i][2], name + ": the existing file is unchanged");
  noTemporaryFiles(name + " over an existing file");
  check(save(full + "\\new-" + saves[i][2]) === 0, name + " to a new name fails");
  check(bin.FExists(full + "\\new-" + saves[i][2]) === 0, name + ": no new file");
  noTemporaryFiles(name + " to a new name");
}
check(bin.FileCopy(source, full + "\\keep.bin", 1) === 0, "FileCopy that refuses an existing file");
check(content(full + "\\keep.bin") === "original keep.bin", "FileCopy refusing: unchanged");

// A stream's writes on the nearly full disk: large ones fail at once, small ones as
// soon as the stream's buffer has to go out.
check(bin.FOpenWrite(full + "\\stream.bin") === 1, "open a stream");
check(bin.FWriteStrBin("x", 1 << 20) === 0, "FWriteStrBin of 1 MB fails");
bin.FClose();
check(bin.FOpenWrite(full + "\\stream.bin") === 1, "open the stream again");
check(bin.FWriteStr(repeat("y", 1 << 20)) === 0, "FWriteStr of 1 MB fails");
bin.FClose();
check(bin.FOpenWrite(full + "\\stream.bin") === 1, "and again");
var n = 0;
while (bin.FWriteInt(n, 8) === 1 && n < 100000) n++;
check(n < 100000, "FWriteInt fails once the buffered bytes meet the full disk (after " + n + ")");
n = 0;
while (bin.FWriteFloat(n, 10) === 1 && n < 100000) n++;
check(n === 0, "FWriteFloat on the failed stream");
bin.FClose();
bin.FileDelete(full + "\\stream.bin");

// An upload of a 3 MB file into the full folder: the decode stops with the short write
// and the end reports it, as a short write is reported.
var head = bin.StrToBuffer("--b\r\nContent-Disposition: form-data; name=\"f\"; filename=\"big.bin\"\r\n\r\n");
var tail = bin.StrToBuffer("\r\n--b--\r\n");
check(rd.FOpenRead(source) === 1, "open the source");
bin.FD_Init(full);
var decoded = bin.FD_Decode(head), chunks = 0;
while (decoded === 1 && chunks < 100) {
  var chunk = rd.FRead(65536);
  if (rd.FReaded() === 0) break;
  decoded = bin.FD_Decode(chunk);
  chunks++;
}
rd.FClose();
check(decoded === 0 && chunks < 48, "FD_Decode returns 0 at the full disk (after " + chunks + " chunks)");
check(bin.FD_Decode(tail) === 0, "nothing more is decoded");
check(bin.FD_EndDecode() === 1, "FD_EndDecode reports the short write");
check(bin.FD_GetFilesCount() === 1, "the upload's record");
bin.FD_DeleteTMPFiles();

bin.FileDelete(full + "\\filler.bin");
WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(failed);
