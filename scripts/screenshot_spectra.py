#!/usr/bin/python3
"""Writes six real-looking spectra of the H-alpha region as simple FITS files
(BITPIX -32, CRVAL1 / CD1_1 calibration, OBJECT) for scripts/screenshots.
Plain Python, no FITS library: a header of 80-character cards padded to 2880
bytes, then big-endian single-precision samples padded likewise.

    screenshot_spectra.py FOLDER
"""

import math
import random
import struct
import sys

LAMBDA0 = 6200.0  # Angstroms, wavelength of pixel 0
DISPERSION = 0.25  # Angstroms per pixel
SAMPLES = 3000  # 6200.25 .. 6950 Angstroms


def card(key, value=None, comment=""):
    if value is None:
        text = f"{key:<8}"
    elif isinstance(value, str):
        text = f"{key:<8}= '{value:<8}'"
        if comment:
            text += f" / {comment}"
    else:
        if isinstance(value, bool):
            v = "T" if value else "F"
        elif isinstance(value, int):
            v = str(value)
        else:
            v = repr(float(value)).upper()
        text = f"{key:<8}= {v:>20}"
        if comment:
            text += f" / {comment}"
    return f"{text:<80}"[:80]


def write_fits(path, samples, obj):
    cards = [
        card("SIMPLE", True, "conforms to FITS standard"),
        card("BITPIX", -32, "IEEE single precision"),
        card("NAXIS", 1),
        card("NAXIS1", len(samples)),
        card("OBJECT", obj),
        card("CRVAL1", LAMBDA0, "wavelength of pixel 0 (Angstroms)"),
        card("CD1_1", DISPERSION, "Angstroms per pixel"),
        card("CTYPE1", "LINEAR"),
        card("EXPTIME", 600.0, "seconds"),
        card("END"),
    ]
    header = "".join(cards)
    header += " " * (-len(header) % 2880)
    data = b"".join(struct.pack(">f", s) for s in samples)
    data += b"\0" * (-len(data) % 2880)
    with open(path, "wb") as f:
        f.write(header.encode("ascii"))
        f.write(data)


def wavelengths():
    return [LAMBDA0 + DISPERSION * i for i in range(1, SAMPLES + 1)]


def gauss(lam, centre, sigma):
    return math.exp(-0.5 * ((lam - centre) / sigma) ** 2)


def lorentz(lam, centre, width):
    return 1.0 / (1.0 + ((lam - centre) / width) ** 2)


# Lines of the region, Angstroms.
H_ALPHA = 6562.8
METALS = [6230.7, 6252.6, 6265.1, 6318.0, 6335.3, 6355.0, 6393.6, 6400.0, 6411.6, 6421.4, 6430.8,
          6439.1, 6462.6, 6494.9, 6546.2, 6592.9, 6643.6, 6678.0, 6717.7, 6750.2, 6810.3, 6841.3]
TELLURIC_B = (6867.0, 6884.0)
NEBULAR = [(6548.0, 0.33), (6562.8, 1.0), (6583.4, 1.0), (6716.4, 0.45), (6730.8, 0.35),
           (6300.3, 0.15), (6363.8, 0.05)]


def spectrum(kind, seed):
    rng = random.Random(seed)
    out = []
    for lam in wavelengths():
        t = (lam - LAMBDA0) / (SAMPLES * DISPERSION)
        if kind == "A":  # hot star: broad Balmer absorption, few metals
            f = 1.0 - 0.12 * t
            f *= 1.0 - 0.55 * lorentz(lam, H_ALPHA, 9.0)
        elif kind == "G":  # solar type: many metal lines, moderate H-alpha
            f = 0.9 + 0.15 * t
            f *= 1.0 - 0.7 * gauss(lam, H_ALPHA, 1.1) - 0.15 * lorentz(lam, H_ALPHA, 3.0)
            for c in METALS:
                f *= 1.0 - 0.35 * gauss(lam, c, 0.35)
        elif kind == "K":  # cool giant: stronger metals, red slope
            f = 0.7 + 0.45 * t
            f *= 1.0 - 0.5 * gauss(lam, H_ALPHA, 0.9)
            for c in METALS:
                f *= 1.0 - 0.55 * gauss(lam, c, 0.4)
        elif kind == "M":  # red dwarf: TiO band heads with saw-tooth edges
            f = 0.5 + 0.8 * t
            for head in (6159.0, 6651.0, 6681.0, 6714.0):
                if lam > head:
                    f *= 1.0 - 0.32 * math.exp(-(lam - head) / 70.0)
            f *= 1.0 + 1.2 * gauss(lam, H_ALPHA, 0.6)  # chromospheric emission
        elif kind == "Be":  # emission-line star: double-peaked H-alpha
            f = 1.0 - 0.08 * t
            f *= 1.0 + 2.6 * gauss(lam, H_ALPHA - 2.2, 1.6) + 2.2 * gauss(lam, H_ALPHA + 2.4, 1.6)
            f *= 1.0 - 0.3 * gauss(lam, H_ALPHA, 0.7)
        else:  # planetary nebula: emission lines on a faint continuum
            f = 0.3
            for c, strength in NEBULAR:
                f += 0.9 * strength * gauss(lam, c, 0.9)
        if kind != "PN" and TELLURIC_B[0] < lam < TELLURIC_B[1]:
            f *= 1.0 - 0.35 * math.sin(math.pi * (lam - TELLURIC_B[0]) / (TELLURIC_B[1] - TELLURIC_B[0]))
        level = 1200.0 if kind != "PN" else 3000.0
        noise = 0.012 if kind != "PN" else 0.008
        out.append(level * (f + rng.gauss(0.0, noise)))
    return out


SPECTRA = [
    ("vega_a0v.fts", "A", "HD 172167"),
    ("sun_g2v.fts", "G", "HD 10700"),
    ("arcturus_k1.fts", "K", "HD 124897"),
    ("m_dwarf.fts", "M", "GJ 411"),
    ("be_star.fts", "Be", "gamma Cas"),
    ("nebula.fts", "PN", "NGC 7027"),
]


def main(argv):
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    for seed, (name, kind, obj) in enumerate(SPECTRA, start=1):
        write_fits(f"{argv[1]}/{name}", spectrum(kind, seed), obj)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
