#!/usr/bin/python3
"""Pictures in Display P3 and Adobe RGB saved through Image objects, viewed as a
colour-managed viewer views them (Pillow's ImageCms applying the profile each file
carries, sRGB for none) and compared with the original in CIE Lab.

    check_colour.py COLOUR_TOOL

Mean CIE76 difference at most 1.0 for PNG and lossless WebP, 1.5 for JPEG at quality 95;
ConvertToSRGB and ColorMode 1 give untagged pixels within 1.0; an untagged picture gains
no profile and keeps its pixels.
"""
import io
import math
import pathlib
import subprocess
import sys
import tempfile

from PIL import Image, ImageCms, ImageFilter

ADOBE = pathlib.Path("/usr/share/color/icc/compatibleWithAdobeRGB1998.icc")
LIMITS = {"keep.png": 1.0, "keep.webp": 1.0, "keep.jpg": 1.5, "convert.png": 1.0, "mode1.png": 1.0}


def picture(icc):
    """A photo-like picture in the space of `icc`: smooth gradients and patches of sky,
    skin, foliage and strong colours, made in sRGB (where photos keep most of their
    colours) and converted into the profile's numbers."""
    w, h = 192, 128
    img = Image.new("RGB", (w, h))
    px = img.load()
    for y in range(h):
        for x in range(w):
            px[x, y] = (40 + x * 200 // (w - 1), 60 + y * 160 // (h - 1), 200 - (x + y) * 150 // (w + h - 2))
    patches = [(225, 40, 30), (40, 170, 60), (30, 60, 200), (230, 180, 150), (120, 170, 230), (128, 128, 128)]
    for i, c in enumerate(patches):
        for y in range(8, 40):
            for x in range(i * 32, i * 32 + 28):
                px[x, y] = c
    # Edges as soft as a lens makes them.
    img = img.filter(ImageFilter.GaussianBlur(1.5))
    to_space = ImageCms.buildTransform(ImageCms.createProfile("sRGB"), ImageCms.ImageCmsProfile(io.BytesIO(icc)),
                                       "RGB", "RGB", renderingIntent=ImageCms.Intent.RELATIVE_COLORIMETRIC)
    out = ImageCms.applyTransform(img, to_space)
    out.info.pop("icc_profile", None)  # the files say themselves which profile they carry
    return out


def lab(img, icc):
    """The picture in Lab, through `icc` (bytes) or sRGB for None."""
    src = ImageCms.ImageCmsProfile(io.BytesIO(icc)) if icc else ImageCms.createProfile("sRGB")
    to_lab = ImageCms.buildTransform(src, ImageCms.createProfile("LAB"), "RGB", "LAB",
                                     renderingIntent=ImageCms.Intent.RELATIVE_COLORIMETRIC)
    return list(ImageCms.applyTransform(img.convert("RGB"), to_lab).getdata())


def mean_delta_e(a, b):
    # Pillow's LAB mode stores L as 0..255 and a, b offset by 128.
    total = 0.0
    for (l1, a1, b1), (l2, a2, b2) in zip(a, b):
        total += math.sqrt(((l1 - l2) * 100 / 255) ** 2 + (a1 - a2) ** 2 + (b1 - b2) ** 2)
    return total / len(a)


def main():
    tool = sys.argv[1]
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        tmp = pathlib.Path(tmp)
        subprocess.run([tool, "p3", str(tmp / "p3.icc")], check=True)
        profiles = {"Display P3": (tmp / "p3.icc").read_bytes(), "Adobe RGB": ADOBE.read_bytes()}
        for name, icc in profiles.items():
            original = picture(icc)
            src = tmp / "original.png"
            original.save(src, icc_profile=icc)
            truth = lab(original, icc)
            out = tmp / name.replace(" ", "")
            out.mkdir()
            subprocess.run([tool, "saves", str(src), str(out)], check=True)
            for file, limit in LIMITS.items():
                saved = Image.open(out / file)
                written = saved.info.get("icc_profile")
                should_carry = file.startswith("keep")
                de = mean_delta_e(lab(saved, written), truth)
                ok = de <= limit and bool(written) == should_carry
                failures += not ok
                print(f"{'ok  ' if ok else 'FAIL'} {name:10} {file:12} mean dE {de:5.2f} (limit {limit}), "
                      f"profile {'written' if written else 'none'}")
        # Untagged: no profile appears and the pixels stay.
        original = picture(profiles["Display P3"])
        plain = tmp / "plain.png"
        original.save(plain)
        out = tmp / "plain"
        out.mkdir()
        subprocess.run([tool, "saves", str(plain), str(out)], check=True)
        for file in ("keep.png", "keep.webp", "convert.png", "mode1.png"):
            saved = Image.open(out / file)
            ok = "icc_profile" not in saved.info and list(saved.convert("RGB").getdata()) == list(original.getdata())
            failures += not ok
            print(f"{'ok  ' if ok else 'FAIL'} untagged   {file:12} no profile, pixels unchanged")
    print(f"{failures} failed")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
