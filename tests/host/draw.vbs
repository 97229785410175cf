' Drawing through the real script host: shapes, lines and text drawn by the module and
' read back pixel by pixel, and the property rules.
Option Explicit
Dim passed, failed
passed = 0 : failed = 0
Sub Check(ok, what)
  If ok Then
    passed = passed + 1
  Else
    failed = failed + 1
    WScript.Echo "FAIL: " & what
  End If
End Sub

Dim img, red, white, w, h, x, y, dark
Set img = CreateObject("Kelvarin.Image")
red = img.GetColorFromRGB(255, 0, 0)
white = img.GetColorFromRGB(255, 255, 255)
Check red = 255, "GetColorFromRGB"
Check img.GetColorFromRGB(255, 128, 0) = 33023, "GetColorFromRGB of orange"
Check img.GetGFromColor(33023) = 128 And img.GetRFromColor(-1) = 255, "colour parts"
Check img.PenColor = 0 And img.FontName = "", "properties without an image"
img.PenColor = red
img.Line 0, 0, 5, 5
Check img.GetColor(0, 0) = 0, "drawing without an image does nothing"

Check img.CreateFromSize(40, 30) = 1, "CreateFromSize"
Check img.PenWidth = 1 And img.BrushColor = white And img.BrushStyle = 0, "pen and brush defaults"
Check img.FontName = "MS Sans Serif" And img.FontColor = -2147483640 And img.FontCharSet = 1, "font defaults"
img.PenColor = red
img.Line 0, 0, 5, 0
Check img.GetColor(4, 0) = red And img.GetColor(5, 0) = white, "the end point is not drawn"
img.BrushColor = img.GetColorFromRGB(0, 0, 255)
img.FillRect 2, 3, 4, 5
Check img.GetColor(6, 8) = img.BrushColor And img.GetColor(7, 8) = white, "FillRect covers w+1 by h+1"
img.Rectangle 10, 10, 9, 9
Check img.GetColor(10, 10) = red And img.GetColor(15, 15) = img.BrushColor, "Rectangle: outline and inside"
img.LineRect 25, 2, 5, 5
Check img.GetColor(30, 7) = red And img.GetColor(27, 4) = white, "LineRect draws the outline only"
img.BrushStyle = 9
Check img.BrushStyle = 0, "brush style above 7 is solid"
img.BrushStyle = 5
img.LineEllipse 0, 0, 10, 10
Check img.BrushStyle = 5, "LineEllipse keeps the brush style"
img.FontStyle = 255
Check img.FontStyle = 15, "font style bits"
img.FontStyle = 0
img.PenWidth = -3
Check img.PenWidth = 1, "negative pen width ignored"
Check img.GetColor(-1, 0) = -1 And img.GetColor(40, 0) = -1, "outside the image"

Check img.CreateFromSize(200, 40) = 1, "a canvas for text"
img.FontColor = 0
w = img.GetTextWidth("Kelvarin")
h = img.GetTextHeight("Kelvarin")
Check w > 20 And h > 8, "text extent " & w & " x " & h
Check img.GetTextWidth("Kelvarin utilities") > w, "longer text is wider"
img.BrushColor = img.GetColorFromRGB(0, 255, 0)
img.TextOut 5, 5, "Kelvarin"
Check img.GetColor(5, 5) = img.BrushColor, "a solid brush paints the text cell"
dark = 0
For y = 5 To 5 + h - 1
  For x = 5 To 5 + w - 1
    If img.GetColor(x, y) <> img.BrushColor Then dark = dark + 1
  Next
Next
Check dark > 20, "glyphs drawn: " & dark
img.PenColor = red
img.LineTo 5 + w, 35
Check img.GetColor(5 + w, 34) = red Or img.GetColor(5 + w - 1, 34) = red, "the pen moved to the end of the text"
img.RotateCW
Check img.PenColor = 0, "a new bitmap has a new surface"

WScript.Echo passed & " passed, " & failed & " failed"
If failed > 0 Then WScript.Quit failed
