// Texts made from bytes and into bytes through the real script host, in JScript: the
// CodePage property's rules, buffers and string fields in each page, and an upload from
// a UTF-8 page read back exactly (client file names, field names and values).
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) passed++;
  else { failed++; WScript.Echo("FAIL: " + what); }
}
function esc(s) { return escape(s); }

var fso = new ActiveXObject("Scripting.FileSystemObject");
var base = fso.GetSpecialFolder(2) + "\\kelv-codepage-" + Math.floor(Math.random() * 1e9);
fso.CreateFolder(base);

// ISO-8859-1 maps every byte to the character of the same number: a view of raw bytes.
var latin = new ActiveXObject("Kelvarin.BinaryRW");
latin.CodePage = 28591;
check(latin.CodePage === 28591, "ISO-8859-1 is a page the system has");
function bytes(buf) { return latin.BufferToStr(buf); }

// ---- The property ------------------------------------------------------------------
var bin = new ActiveXObject("Kelvarin.BinaryRW");
check(bin.CodePage === 0, "the system's page at first");
var steps = [[65001, 65001], [1251, 1251], [12345, 1251], [-1, 1251], [1200, 1251], [0, 0]];
for (var k = 0; k < steps.length; k++) {
  bin.CodePage = steps[k][0];
  check(bin.CodePage === steps[k][1], "CodePage put " + steps[k][0] + " reads " + bin.CodePage);
}

// ---- Buffers and string fields -----------------------------------------------------
var text = "\u00E9\u20AC \u5199\u771F \uD83D\uDCF7";
check(bytes(bin.StrToBuffer("\u00E9\u20AC")) === "\u00E9\u0080", "the system's page (1252) as before");
bin.CodePage = 65001;
check(bytes(bin.StrToBuffer("\u00E9\u20AC")) === "\u00C3\u00A9\u00E2\u0082\u00AC", "UTF-8 bytes");
check(bin.BufferToStr(bin.StrToBuffer(text)) === text, "UTF-8 round trip of every plane");
check(bin.BufferToStr(latin.StrToBuffer("a\u00FFb\u00C3")) === "a\uFFFDb\uFFFD", "invalid UTF-8 becomes U+FFFD");
check(bytes(bin.StrToBuffer("ab", 1)) === "ab" && latin.BufferToStr(bin.StrToBuffer("", 1)) === "", "AddZeroByte");
var f = base + "\\fields.bin";
bin.FOpenWrite(f);
check(bin.FWriteStr(text) === 1, "FWriteStr in UTF-8");
bin.CodePage = 1251;
check(bin.FWriteStr("\u0424\u043E\u0442\u043E") === 1, "FWriteStr in 1251");
check(bin.FWriteStrBin("\u0424\u043E", 4) === 1, "FWriteStrBin of text in 1251");
bin.FClose();
check(fso.GetFile(f).Size === 17 + 1 + 4 + 1 + 4, "the fields' sizes in bytes (" + fso.GetFile(f).Size + ")");
bin.FOpenRead(f);
bin.CodePage = 65001;
check(bin.FReadStr() === text, "FReadStr in UTF-8");
bin.CodePage = 1251;
check(bin.FReadStr() === "\u0424\u043E\u0442\u043E", "FReadStr in 1251");
check(bin.BufferToStr(bin.FReadStrBin(4)) === "\u0424\u043E", "FReadStrBin back in 1251");
bin.FClose();

// ---- An upload from a UTF-8 page -----------------------------------------------------
var page = new ActiveXObject("Kelvarin.BinaryRW");
page.CodePage = 65001;
var crlf = "\r\n";
var photo = "\u0424\u043E\u0442\u043E \u043E\u0442\u043F\u0443\u0441\u043A\u0430.jpg";  // 16 characters
var title = "\u5199\u771F \u011F\u00FC\u015F\u0131\u00F6\u00E7 \u0130";
function part(disposition, content) {
  return "--B0undary" + crlf + "Content-Disposition: form-data; " + disposition + crlf + crlf + content + crlf;
}
var body = page.StrToBuffer(
    part("name=\"\u0437\u0430\u0433\u043E\u043B\u043E\u0432\u043E\u043A\"", title) +
    part("name=\"photo\"; filename=\"" + photo + "\"", "JPEG") +
    part("name=\"other\"; filename=\"photo.jpg\"; filename*=UTF-8''%E5%86%99%E7%9C%9F.jpg", "x") +
    part("name=\"bare\"; filename*=utf-8''%F0%9F%93%B7.jpg", "y") +
    "--B0undary--" + crlf);
var odd = latin.StrToBuffer(part("name=\"odd\"", "a\u00FFb") + "--B0undary--" + crlf);

function decode(codePage, buffer) {
  var d = new ActiveXObject("Kelvarin.BinaryRW");
  d.CodePage = codePage;
  d.FD_Init(base);
  d.FD_Decode(buffer);
  check(d.FD_EndDecode() === 0, "the body decodes in page " + codePage);
  return d;
}
var d = decode(65001, body);
check(d.FD_GetItemName(0) === "\u0437\u0430\u0433\u043E\u043B\u043E\u0432\u043E\u043A", "a field name in UTF-8");
check(d.FD_GetItemValue(0) === title, "a value in UTF-8: " + esc(d.FD_GetItemValue(0)));
check(d.FD_GetFilesCount() === 3, "a part named only by filename* is a file part");
check(d.FD_GetFileHeaderName(0) === photo && photo.length === 16, "the client's file name: " + esc(d.FD_GetFileHeaderName(0)));
check(d.FD_GetFileHeader(0, 0).indexOf(photo) > 0, "its header line");
check(d.FD_GetFileHeaderName(1) === "\u5199\u771F.jpg", "filename* gives the name");
check(d.FD_GetFileHeaderName(2) === "\uD83D\uDCF7.jpg" && d.FD_GetFileFormName(2) === "bare", "filename* alone");
check(d.FD_DeleteTMPFiles() === 3, "the uploads are deleted");
// The system's page reads the same bytes as before: 27 characters of it for the name.
var old = decode(0, body);
check(old.FD_GetFileHeaderName(0).length === 27 && old.FD_GetFilesCount() === 2, "page 0 keeps its results");
check(old.FD_GetFileHeaderName(1) === "photo.jpg", "page 0 takes the plain file name");
old.FD_DeleteTMPFiles();
check(decode(65001, odd).FD_GetItemValue(0) === "a\uFFFDb", "a value with bytes UTF-8 lacks keeps its place");
// A page in another code page, read in that page.
var ru = new ActiveXObject("Kelvarin.BinaryRW");
ru.CodePage = 1251;
check(decode(1251, ru.StrToBuffer(part("name=\"t\"", "\u041F\u0440\u0438\u0432\u0435\u0442") + "--B0undary--" + crlf))
          .FD_GetItemValue(0) === "\u041F\u0440\u0438\u0432\u0435\u0442", "a value in 1251");

fso.DeleteFolder(base, true);
WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(failed);
