#!/usr/bin/python3
"""Writes the inspection corpus, tests/data/inspect/: small FITS files that
take the reader down its paths, written as real writers write them (CFITSIO,
astropy) and, for the malformed ones that no library writes, byte by byte;
and its README.md, from the table below.

Rerun it from the top of the checkout after changing it:

    apt-get install -y libcfitsio-dev python3-astropy   # Debian packages
    /usr/bin/python3 tools/make-inspect-corpus/make_corpus.py

(Debian's Python: that is where python3-astropy installs.) It compiles
cfitsio_files.c beside it with cc and pkg-config into a temporary folder and
runs it, then writes the astropy and byte-level files. Every file is written
anew, and the same inputs give the same bytes: no time stamps, no random
numbers. scripts/compare-inspect runs two builds of quillon-inspect over
these files.
"""

import math
import os
import shutil
import struct
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
OUT = os.path.join(ROOT, "tests", "data", "inspect")

# name: what the file exercises. The README lists them in this order.
CORPUS = {
    # CFITSIO
    "cfitsio-int16-signed.fits": "BITPIX 16 without BZERO (signed samples: the 16-bit advice), CRVAL1 + CD1_1",
    "cfitsio-uint16-bzero32768.fits": "CFITSIO's unsigned 16-bit type: BITPIX 16, BZERO 32768, BSCALE 1",
    "cfitsio-int32.fits": "BITPIX 32",
    "cfitsio-float32-cdelt1-crpix1.fits": "BITPIX -32; CRVAL1 at CRPIX1 = 1, CDELT1 without CD1_1, CTYPE1 WAVE, CUNIT1 Angstrom",
    "cfitsio-float64.fits": "BITPIX -64",
    "cfitsio-uint8.fits": "BITPIX 8: refused",
    "cfitsio-int16-bscale-bzero.fits": "BITPIX 16 scaled by CFITSIO: BSCALE 0.5, BZERO 100",
    "cfitsio-int16-blank.fits": "BITPIX 16 with BLANK = -32768 on 18 samples (missing)",
    "cfitsio-float32-nan-inf.fits": "BITPIX -32 with NaN, +Inf and -Inf samples (missing), the first and last among them",
    "cfitsio-float32-all-nan.fits": "every sample NaN: refused, nothing to draw",
    "cfitsio-image-2d.fits": "a 200 x 3 image: the first row is drawn, with a warning",
    "cfitsio-multispec.fits": "IRAF multispec (CTYPE1 MULTISPE, WAT0_001 = 'system=multispec'), 200 x 2: aperture 1 at its WAT2 wavelengths",
    "cfitsio-bintable.fits": "empty primary array (NAXIS = 0) and the spectrum in a BINTABLE extension: refused",
    "cfitsio-naxis1-zero.fits": "NAXIS1 = 0: refused, no samples",
    "cfitsio-35-cards.fits": "35 cards and END: the header fills one 2880-byte block",
    "cfitsio-36-cards.fits": "36 cards and END: a header of two blocks, data at 5760",
    # astropy
    "astropy-float32-cunit-nm.fits": "CRVAL1 + CDELT1 + CRPIX1 in nanometres (CUNIT1 nm, CTYPE1 WAVE)",
    "astropy-float32-crpix1-cd1_1.fits": "CRVAL1 at CRPIX1 = 11 with CD1_1 (the CD matrix beside CDELT1)",
    "astropy-float64-wave-log.fits": "CTYPE1 WAVE-LOG: the standard's logarithmic axis",
    "astropy-float32-dc-flag.fits": "IRAF log-linear: DC-FLAG = 1, CRVAL1 and CD1_1 in log10(Angstrom)",
    "astropy-float32-descending.fits": "descending dispersion (CD1_1 < 0)",
    "astropy-uint16.fits": "numpy uint16 as astropy writes it: BITPIX 16, BZERO 32768",
    "astropy-uint32.fits": "numpy uint32 as astropy writes it: BITPIX 32, BZERO 2147483648",
    "astropy-int16-scaled.fits": "floats scaled by astropy into BITPIX 16 (BSCALE, BZERO)",
    "astropy-int16-blank.fits": "BITPIX 16 with BLANK and no BZERO",
    "astropy-float64-nan.fits": "BITPIX -64 with NaN samples and one infinity",
    "astropy-image-2d.fits": "a 150 x 4 BITPIX 32 image: the first row, with a warning",
    "astropy-bintable.fits": "astropy's empty primary and a BINTABLE: refused",
    # byte level
    "hand-truncated-data.fits": "the data block ends early (1000 samples declared, 720 present): refused",
    "hand-ends-in-header.fits": "the file ends inside its header (no padding): refused",
    "hand-no-end.fits": "no END card: the keywords are still found, data at 2880",
    "hand-lowercase-simple.fits": "'simple' in lower case: not a FITS file",
    "hand-lowercase-end.fits": "'end' in lower case ends the header; a lower-case 'cd1_1' is not CD1_1",
    "hand-object-slash.fits": "OBJECT = 'M 31 / disk': the slash ends the value",
    "hand-repeated-keywords.fits": "CRVAL1, CD1_1 and OBJECT twice: the last CRVAL1 and CD1_1, the first OBJECT",
    "hand-carriage-return-in-header.fits": "a byte 13 inside a header card cuts the header text short",
    "hand-carriage-return-in-data.fits": "byte 13 only in the data: the header text runs into the data",
    "hand-not-fits.fits": "a text file with a FITS name: not a FITS file",
    "hand-empty.fits": "an empty file",
    "hand-bitpix-64.fits": "BITPIX 64 (64-bit integers): refused",
    "hand-bitpix-odd.fits": "BITPIX 12, no FITS type: refused",
    "hand-bscale-zero.fits": "BSCALE = 0: refused",
    "hand-naxis1-one.fits": "NAXIS1 = 1: the dispersion warning whatever CD1_1 says",
    "hand-naxis2-zero.fits": "NAXIS = 2 with NAXIS2 = 0: no data, refused",
    "hand-no-calibration.fits": "neither CRVAL1 nor CD1_1: both calibration warnings",
    "hand-number-out-of-range.fits": "CRVAL1 = 1.0E999, beyond the range of doubles: refused",
    "hand-all-zero.fits": "every sample 0: level 0, refused",
    "hand-int16-bzero1000.fits": "BITPIX 16 with BZERO 1000",
    "hand-dc-flag-not-log.fits": "DC-FLAG = 1 with a CRVAL1 that cannot be a logarithm: drawn linear, warning",
    "hand-wave-log-no-crval1.fits": "CTYPE1 WAVE-LOG without a positive CRVAL1: drawn linear, warning",
    "hand-wave-tab.fits": "CTYPE1 WAVE-TAB, an algorithm the reader does not read: warning",
    "hand-latin1-object.FITS": "OBJECT with Latin-1 and control bytes (escaped output); upper-case extension",
    "hand-ctype-freq.fit": "CTYPE1 FREQ, not a wavelength: warning; .fit extension",
    "hand-unknown-cunit.fts": "CUNIT1 'furlong', an unknown unit: warning; .fts extension",
}


def shape(i, level):
    """The same spectrum as cfitsio_files.c: continuum, ripple, two lines."""
    a = (i - 90) * (i - 90) / 40.0
    b = (i - 170) * (i - 170) / 12.0
    return level * (1.0 + 0.0008 * i + 0.05 * math.sin(i / 7.0) - 0.45 * math.exp(-a) - 0.3 * math.exp(-b))


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


# ---- CFITSIO ------------------------------------------------------------------


def cfitsio_files():
    flags = subprocess.run(["pkg-config", "--cflags", "--libs", "cfitsio"], check=True,
                           capture_output=True, text=True).stdout.split()
    with tempfile.TemporaryDirectory() as tmp:
        program = os.path.join(tmp, "cfitsio_files")
        subprocess.run(["cc", "-std=c99", "-O1", "-Wall", "-Wextra", "-Werror", "-o", program,
                        os.path.join(HERE, "cfitsio_files.c")] + flags + ["-lm"], check=True)
        subprocess.run([program, OUT], check=True)


# ---- astropy ------------------------------------------------------------------


def astropy_files():
    import numpy as np
    from astropy.io import fits

    def spectrum(n, level, dtype):
        return np.array([shape(i, level) for i in range(n)], dtype=dtype)

    def save(name, hdus):
        fits.HDUList(hdus).writeto(os.path.join(OUT, name), overwrite=True, output_verify="exception")

    def primary(data, object_name, cards):
        hdu = fits.PrimaryHDU(data)
        hdu.header["OBJECT"] = (object_name, "Name of the object observed")
        for key, value, comment in cards:
            hdu.header[key] = (value, comment)
        return hdu

    save("astropy-float32-cunit-nm.fits", [primary(spectrum(300, 2.5, np.float32), "HD 122563", [
        ("CTYPE1", "WAVE", "Wavelength in vacuum"),
        ("CUNIT1", "nm", "Unit of the axis"),
        ("CRPIX1", 1.0, "Reference pixel"),
        ("CRVAL1", 400.0, "Wavelength at the reference pixel"),
        ("CDELT1", 0.1, "nm per pixel")])])
    save("astropy-float32-crpix1-cd1_1.fits", [primary(spectrum(300, 7.0, np.float32), "HD 122563", [
        ("CTYPE1", "WAVE", "Wavelength in vacuum"),
        ("CUNIT1", "Angstrom", "Unit of the axis"),
        ("CRPIX1", 11.0, "Reference pixel"),
        ("CRVAL1", 4020.0, "Wavelength at the reference pixel"),
        ("CDELT1", 9.0, "Not used: CD1_1 is given"),
        ("CD1_1", 2.0, "Angstrom per pixel")])])
    save("astropy-float64-wave-log.fits", [primary(spectrum(300, 1.0e-15, np.float64), "SDSS J1234+5678", [
        ("CTYPE1", "WAVE-LOG", "Logarithmic wavelength axis"),
        ("CUNIT1", "Angstrom", "Unit of the axis"),
        ("CRPIX1", 1.0, "Reference pixel"),
        ("CRVAL1", 3800.0, "Wavelength at the reference pixel"),
        ("CDELT1", 1.5, "Angstrom per pixel at the reference pixel")])])
    save("astropy-float32-dc-flag.fits", [primary(spectrum(300, 350.0, np.float32), "HD 19445", [
        ("CTYPE1", "LINEAR", "IRAF linear axis"),
        ("CRPIX1", 1.0, "Reference pixel"),
        ("CRVAL1", 3.6, "log10 of the wavelength at the reference pixel"),
        ("CD1_1", 0.0002, "log10(Angstrom) per pixel"),
        ("CDELT1", 0.0002, "log10(Angstrom) per pixel"),
        ("DC-FLAG", 1, "Log-linear dispersion"),
        ("WAT0_001", "system=equispec", "IRAF coordinate system"),
        ("WAT1_001", "wtype=linear label=Wavelength units=angstroms", "IRAF axis 1")])])
    save("astropy-float32-descending.fits", [primary(spectrum(300, 90.0, np.float32), "HD 19445", [
        ("CRVAL1", 7000.0, "Wavelength of pixel 0 (Angstrom)"),
        ("CD1_1", -2.0, "Angstrom per pixel, descending")])])
    linear = [("CRVAL1", 4000.0, "Wavelength of pixel 0 (Angstrom)"), ("CD1_1", 2.0, "Angstrom per pixel")]
    save("astropy-uint16.fits", [primary(np.floor(spectrum(300, 50000.0, np.float64)).astype(np.uint16),
                                         "HD 140283", linear)])
    save("astropy-uint32.fits", [primary(np.floor(spectrum(300, 3.0e9, np.float64)).astype(np.uint32),
                                         "HD 140283", linear)])
    scaled = primary(spectrum(300, 20000.0, np.float64), "HD 140283", linear)
    scaled.scale("int16", bscale=0.5, bzero=20000.0)
    save("astropy-int16-scaled.fits", [scaled])
    raw = np.floor(spectrum(300, 9000.0, np.float64)).astype(np.int16)
    raw[40:45] = -999
    blank = primary(raw, "HD 140283", linear)
    blank.header["BLANK"] = (-999, "Value of missing samples")
    save("astropy-int16-blank.fits", [blank])
    with_nan = spectrum(300, 3.0, np.float64)
    with_nan[[3, 4, 5, 120, 299]] = np.nan
    with_nan[60] = np.inf
    save("astropy-float64-nan.fits", [primary(with_nan, "SN 1987A", linear)])
    image = np.array([np.floor(spectrum(150, 1.0e5 * (r + 1), np.float64)) for r in range(4)], dtype=np.int32)
    save("astropy-image-2d.fits", [primary(image, "Long slit", linear)])
    empty = fits.PrimaryHDU()
    empty.header["OBJECT"] = ("HD 140283", "Name of the object observed")
    table = fits.BinTableHDU.from_columns([
        fits.Column(name="WAVELENGTH", format="D", unit="Angstrom", array=4000 + 2.0 * np.arange(100)),
        fits.Column(name="FLUX", format="E", array=spectrum(100, 1e-14, np.float32))], name="SPECTRUM")
    save("astropy-bintable.fits", [empty, table])


# ---- Byte level ---------------------------------------------------------------


def card(key, value=None, comment=None):
    """One 80-byte card; `value` is written as given (quote strings yourself)."""
    text = key.ljust(8)
    if value is not None:
        text += "= " + (value.rjust(20) if not value.startswith("'") else value.ljust(20))
        if comment:
            text += " / " + comment
    elif comment:
        text += comment
    text = text.encode("latin-1") if isinstance(text, str) else text
    return text[:80].ljust(80, b" ")


def header(cards, end=True, pad=True):
    data = b"".join(cards) + (card("END") if end else b"")
    if pad:
        data += b" " * (-len(data) % 2880)
    return data


def samples(bitpix, values, pad=True):
    fmt = {16: ">h", 32: ">i", -32: ">f", -64: ">d", 64: ">q"}[bitpix]
    data = b"".join(struct.pack(fmt, v) for v in values)
    if pad:
        data += b"\0" * (-len(data) % 2880)
    return data


def base_cards(bitpix, naxis1, extra=(), object_name="'HD 140283'", calibration=True):
    cards = [card("SIMPLE", "T", "Standard FITS"), card("BITPIX", str(bitpix), "Sample type"),
             card("NAXIS", "1"), card("NAXIS1", str(naxis1))]
    if object_name is not None:
        cards.append(card("OBJECT", object_name))
    if calibration:
        cards += [card("CRVAL1", "4000.0", "Wavelength of pixel 0"), card("CD1_1", "2.0", "Angstrom per pixel")]
    return cards + list(extra)


def floats(n, level=100.0):
    return [shape(i, level) for i in range(n)]


def hand_files():
    f32 = lambda n, **kw: header(base_cards(-32, n, **kw)) + samples(-32, floats(n))

    write("hand-truncated-data.fits", header(base_cards(-32, 1000)) + samples(-32, floats(720)))
    write("hand-ends-in-header.fits", header(base_cards(-32, 300), pad=False))
    write("hand-no-end.fits", header(base_cards(-32, 300), end=False) + samples(-32, floats(300)))
    lower = header([card("simple", "T")] + base_cards(-32, 300)[1:]) + samples(-32, floats(300))
    write("hand-lowercase-simple.fits", lower)
    cards = base_cards(-32, 300, calibration=False) + [card("CRVAL1", "4000.0"), card("cd1_1", "2.0")]
    write("hand-lowercase-end.fits", header(cards + [card("end")] + [card("CD1_1", "3.0")], end=False)
          + samples(-32, floats(300)))
    write("hand-object-slash.fits", f32(300, object_name="'M 31 / disk'"))
    cards = base_cards(-32, 300, object_name="'First name'") + [
        card("CRVAL1", "5000.0", "Repeated: the last counts"), card("CD1_1", "1.5", "Repeated"),
        card("OBJECT", "'Second name'", "Repeated: the first counts")]
    write("hand-repeated-keywords.fits", header(cards) + samples(-32, floats(300)))
    cards = base_cards(-32, 300, extra=[card("COMMENT", comment="A line\rbreak in the header")])
    write("hand-carriage-return-in-header.fits", header(cards) + samples(-32, floats(300)))
    values = [int(shape(i, 3000)) for i in range(300)]
    values[100] = 0x0D0D  # bytes 13 13 in the data
    write("hand-carriage-return-in-data.fits",
          header(base_cards(16, 300, extra=[card("BZERO", "32768")])) + samples(16, values))
    write("hand-not-fits.fits", b"This is a text file with a FITS name.\nIt holds no header.\n")
    write("hand-empty.fits", b"")
    write("hand-bitpix-64.fits", header(base_cards(64, 300)) + samples(64, [int(v) for v in floats(300)]))
    write("hand-bitpix-odd.fits", header(base_cards(12, 300)) + b"\0" * 2880)
    write("hand-bscale-zero.fits", header(base_cards(-32, 300, extra=[card("BSCALE", "0.0")]))
          + samples(-32, floats(300)))
    write("hand-naxis1-one.fits", header(base_cards(-32, 1)) + samples(-32, [42.0]))
    cards = [card("SIMPLE", "T"), card("BITPIX", "-32"), card("NAXIS", "2"), card("NAXIS1", "300"),
             card("NAXIS2", "0"), card("OBJECT", "'Empty'"), card("CRVAL1", "4000.0"), card("CD1_1", "2.0")]
    write("hand-naxis2-zero.fits", header(cards))
    write("hand-no-calibration.fits", f32(300, calibration=False))
    cards = base_cards(-32, 300, calibration=False) + [card("CRVAL1", "1.0E999"), card("CD1_1", "2.0")]
    write("hand-number-out-of-range.fits", header(cards) + samples(-32, floats(300)))
    write("hand-all-zero.fits", header(base_cards(-32, 300)) + samples(-32, [0.0] * 300))
    write("hand-int16-bzero1000.fits", header(base_cards(16, 300, extra=[card("BZERO", "1000")]))
          + samples(16, [int(shape(i, 3000)) for i in range(300)]))
    cards = base_cards(-32, 300, calibration=False) + [
        card("CRVAL1", "4000.0"), card("CD1_1", "2.0"), card("DC-FLAG", "1", "Log-linear")]
    write("hand-dc-flag-not-log.fits", header(cards) + samples(-32, floats(300)))
    cards = base_cards(-32, 300, calibration=False) + [
        card("CTYPE1", "'WAVE-LOG'"), card("CRVAL1", "0.0"), card("CDELT1", "1.5")]
    write("hand-wave-log-no-crval1.fits", header(cards) + samples(-32, floats(300)))
    write("hand-wave-tab.fits", f32(300, extra=[card("CTYPE1", "'WAVE-TAB'")]))
    object_name = b"'Eta Cygni \xe9\x1b[2J'"  # e acute in Latin-1, then a terminal escape
    cards = base_cards(-32, 300, object_name=None) + [b"OBJECT  = " + object_name.ljust(70)]
    write("hand-latin1-object.FITS", header(cards) + samples(-32, floats(300)))
    write("hand-ctype-freq.fit", f32(300, extra=[card("CTYPE1", "'FREQ'"), card("CUNIT1", "'Hz'")]))
    write("hand-unknown-cunit.fts", f32(300, extra=[card("CUNIT1", "'furlong'")]))


# ---- README -------------------------------------------------------------------


def readme():
    lines = [
        "# Inspection corpus",
        "",
        "Small FITS files that take the reader down its paths: every sample type,",
        "scaling, missing samples, the wavelength keywords it reads, images,",
        "tables and malformed files. `scripts/compare-inspect` runs the",
        "quillon-inspect of an earlier commit and of the working tree over them",
        "(and over `examples/`) and shows any difference in what the loader makes",
        "of them.",
        "",
        "Written by `tools/make-inspect-corpus/make_corpus.py` (its top says how to",
        "rerun it): the `cfitsio-` files by CFITSIO, the `astropy-` files by",
        "astropy, the `hand-` files byte by byte. Do not edit them by hand; change",
        "the generator and rerun it. This list is written by it too.",
        "",
        "| File | Exercises |",
        "|---|---|",
    ]
    for name, what in CORPUS.items():
        lines.append(f"| `{name}` | {what} |")
    with open(os.path.join(OUT, "README.md"), "w") as f:
        f.write("\n".join(lines) + "\n")


def main():
    try:
        import astropy  # noqa: F401
    except ImportError:
        sys.exit("make_corpus.py: astropy is missing: apt-get install python3-astropy, and run it with /usr/bin/python3")
    if shutil.which("pkg-config") is None or shutil.which("cc") is None:
        sys.exit("make_corpus.py: cc and pkg-config are needed (build-essential, pkg-config, libcfitsio-dev)")
    if os.path.isdir(OUT):
        shutil.rmtree(OUT)  # files the table no longer names go too
    os.makedirs(OUT)
    cfitsio_files()
    astropy_files()
    hand_files()
    readme()
    written = sorted(n for n in os.listdir(OUT) if n != "README.md")
    if written != sorted(CORPUS):
        sys.exit("make_corpus.py: the files written and the table differ: "
                 f"{sorted(set(written) ^ set(CORPUS))}")
    total = sum(os.path.getsize(os.path.join(OUT, n)) for n in written)
    print(f"{len(written)} files, {total} bytes in {os.path.relpath(OUT, ROOT)}")


if __name__ == "__main__":
    main()
