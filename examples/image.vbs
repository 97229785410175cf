' Image on its own: a drawing, turned, scaled and saved; the size of a file read from its
' header without loading it.
Option Explicit
Dim fso, out, img, probe
Set fso = CreateObject("Scripting.FileSystemObject")
out = fso.GetSpecialFolder(2)
Set img = CreateObject("Kelvarin.Image")
img.CreateFromSize 300, 200, img.GetColorFromRGB(230, 240, 255)
img.PenColor = img.GetColorFromRGB(0, 0, 128)
img.PenWidth = 3
img.BrushStyle = 5
img.BrushColor = img.GetColorFromRGB(0, 128, 0)
img.Rectangle 20, 20, 120, 80
img.PenWidth = 1
img.BrushStyle = 0
img.BrushColor = img.GetColorFromRGB(255, 255, 0)
img.Ellipse 160, 40, 100, 100
img.TextOut 20, 150, "Kelvarin.Image"
img.RotateCW
img.ResizeImg img.Width \ 2, img.Height \ 2
img.SaveToBmp fso.BuildPath(out, "kelv-example.bmp")
WScript.Echo "saved " & img.GetHtmlWH
Set probe = CreateObject("Kelvarin.Image")
probe.HeaderReadBmp fso.BuildPath(out, "kelv-example.bmp")
WScript.Echo "probed " & probe.HeaderGetHtmlWH
fso.DeleteFile fso.BuildPath(out, "kelv-example.bmp")
WScript.Echo "Done."
