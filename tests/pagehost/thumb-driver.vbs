' Makes the thumbnail of each photo named on the command line with FramedThumb, the upload
' page's own function (run-browser-test puts examples/thumb.inc in front of this script),
' and writes it into the folder named first, under the photo's name.
Dim args, outDir, i, img, bin, thumb, name, passed, failed
Set args = WScript.Arguments
outDir = args(0)
passed = 0
failed = 0
For i = 1 To args.Count - 1
  Set img = CreateObject("Kelvarin.Image")
  Set bin = CreateObject("Kelvarin.BinaryRW")
  thumb = FramedThumb(img, args(i))
  name = bin.ExtractFileName(args(i))
  If IsNull(thumb) Then
    WScript.Echo name & ": no thumbnail"
    failed = failed + 1
  ElseIf bin.FOpenWrite(outDir & "\" & name) = 1 Then
    bin.FWrite thumb
    bin.FClose
    passed = passed + 1
  Else
    WScript.Echo name & ": can't write the thumbnail"
    failed = failed + 1
  End If
Next
WScript.Echo passed & " passed, " & failed & " failed"
WScript.Quit failed
