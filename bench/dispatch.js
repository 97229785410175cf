// Calls per second through the script host's late binding: a member with number
// arguments (GetColor) and one that takes a name (FExists), each timed over many calls.
//   cscript dispatch.js CALLS NAME
var calls = Number(WScript.Arguments(0));
var name = WScript.Arguments(1);
var img = new ActiveXObject("Kelvarin.Image");
img.CreateFromSize(10, 10, 255);
var bin = new ActiveXObject("Kelvarin.BinaryRW");
function rate(n, f) {
  var t0 = new Date().getTime();
  f(n);
  var ms = new Date().getTime() - t0;
  return ms > 0 ? Math.round(n * 1000 / ms) : 0;
}
var colour = rate(calls, function (n) { for (var i = 0; i < n; i++) img.GetColor(i % 10, 3); });
var names = rate(calls / 10, function (n) { for (var i = 0; i < n; i++) bin.FExists(name); });
WScript.Echo("GetColor " + colour + " FExists " + names);
