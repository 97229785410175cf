// Info through the real script host in JScript: creation, calls by name, results.
var passed = 0, failed = 0;
function check(ok, what) {
  if (ok) passed++;
  else { failed++; WScript.Echo("FAIL: " + what); }
}

var info = new ActiveXObject("Kelvarin.Info");
check(info.GetVersion() === 1, "GetVersion");
check(info.GetMinorVersion() === 5, "GetMinorVersion");
check(info.GetTrueValue() === 1 && info.GetFalseValue() === 0, "true and false values");
check(typeof info.GetSystemText() === "string", "text result is a string");
check(info.GetSystemText() === "undefined", "system text");
check(info.GetAuthorInfo().length > 0, "author text");
var threw = false;
try { info.NoSuchMember(); } catch (e) { threw = true; }
check(threw, "an unknown member raises");
check(typeof new ActiveXObject("Kelvarin.Image") === "object", "Image is created");
check(typeof new ActiveXObject("Kelvarin.BinaryRW") === "object", "BinaryRW is created");

WScript.Echo(passed + " passed, " + failed + " failed");
if (failed > 0) WScript.Quit(failed);
