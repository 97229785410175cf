// Text in every script through the real script host: drawn and measured as its own
// characters (never as the '?' of a code page), a character the font lacks drawn by an
// installed font that has it, and Unicode font names.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) passed++;
  else { failed++; WScript.Echo("FAIL: " + what); }
}

var W = 90, H = 24;
function canvas(font, charset) {
  var img = new ActiveXObject("Kelvarin.Image");
  img.CreateFromSize(W, H);
  if (font) img.FontName = font;
  if (charset !== undefined) img.FontCharSet = charset;
  img.BrushStyle = 1;
  img.FontColor = 0;
  return img;
}
// The picture TextOut makes, as its rows of colours.
function picture(text, font, charset) {
  var img = canvas(font, charset), rows = [];
  img.TextOut(2, 2, text);
  for (var y = 0; y < H; y++) {
    var row = [];
    for (var x = 0; x < W; x++) row.push(img.GetColor(x, y));
    rows.push(row);
  }
  return rows;
}
// The inked part of a picture, cut to its bounding box, as a string.
function ink(rows) {
  var x0 = W, y0 = H, x1 = -1, y1 = -1, x, y;
  for (y = 0; y < H; y++)
    for (x = 0; x < W; x++)
      if (rows[y][x] != 0xFFFFFF) { x0 = Math.min(x0, x); y0 = Math.min(y0, y); x1 = Math.max(x1, x); y1 = Math.max(y1, y); }
  var out = [x1 - x0, y1 - y0];
  for (y = y0; y <= y1; y++) out.push(rows[y].slice(x0, x1 + 1).join(","));
  return out.join(";");
}
function width(text, font) { return canvas(font).GetTextWidth(text); }
function marks(n) { var s = ""; while (s.length < n) s += "?"; return s; }

// Each script drawn and measured as itself, not as one '?' a UTF-16 unit, nor as the
// look-alike letters a code page's best fit makes of it.
var scripts = [
  ["Cyrillic", "\u041f\u0440\u0438\u0432\u0435\u0442"],
  ["Greek", "\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1"],
  ["Turkish", "\u011f\u0131 \u0130\u015f", "gi Is"],
  ["Chinese", "\u4e2d\u6587\u5b57"],
  ["emoji", "\ud83d\ude00"]
];
for (var i = 0; i < scripts.length; i++) {
  var name = scripts[i][0], text = scripts[i][1], drawn = ink(picture(text));
  check(drawn != ink(picture(marks(text.length))), name + " is not drawn as question marks");
  check(width(text) != width(marks(text.length)), name + " is not measured as question marks: " + width(text));
  if (scripts[i][2]) check(drawn != ink(picture(scripts[i][2])), name + " is not drawn as " + scripts[i][2]);
}
// FontCharSet picks the font; it no longer decides which characters draw.
check(ink(picture("\u0416\u0443\u043a", "", 0)) != ink(picture("???", "", 0)), "Cyrillic with the ANSI character set");
check(ink(picture("\u4e2d", "", 204)) == ink(picture("\u4e2d", "WenQuanYi Micro Hei")), "Chinese with the Russian character set");

// The default font has no Chinese: an installed font that has it draws it, and the text
// is measured as drawn.
var han = "\u4e2d", cjk = "WenQuanYi Micro Hei";
check(ink(picture(han)) != ink(picture("\u0378")), "a Han character is not the missing-glyph box");
check(ink(picture(han)) == ink(picture(han, cjk)), "a Han character is drawn by a font that has it");
check(width("a" + han + "b") == width("a") + width(han, cjk) + width("b"), "mixed text measured as drawn");
var img = canvas();
check(img.GetTextHeight(han) == img.GetTextHeight("x"), "the line height whatever the characters");

// Font names in Unicode; the name keeps 31 UTF-16 units and never half a pair.
var x29 = "xxxxxxxxxxxxxxxxxxxxxxxxxxxxx", names = [
  ["\u6587\u6cc9\u9a7f\u5fae\u7c73\u9ed1", "\u6587\u6cc9\u9a7f\u5fae\u7c73\u9ed1"],
  ["Foto\u011fraf Sans", "Foto\u011fraf Sans"],
  ["A\ud800B", "A\ud800B"],
  [x29 + "x\ud83d\ude00", x29 + "x"],
  [x29 + "\ud83d\ude00z", x29 + "\ud83d\ude00"]
];
for (i = 0; i < names.length; i++) {
  img.FontName = names[i][0];
  check(img.FontName === names[i][1], "FontName " + escape(names[i][0]) + " reads back " + escape(img.FontName));
}

WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(failed);
