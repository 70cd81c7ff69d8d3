#!/usr/bin/python3
"""Writes small files in the layouts archives and pipelines use for their
spectra (tests/spectrum/spectrum_layouts_test.cpp reads them), and
expected.txt: every spectrum of every file as astropy reads it, in file
order, one line each:

    ADDRESS|N|WAVELENGTHS (Angstrom)|FLUXES (nan where flagged)|SIGMAS (or -)|FLAGGED

The flags, units and error kinds are applied here from each data model, by
numpy, independently of the reader under test. Files that hold no spectrum
are listed in nospectrum.txt.

    /usr/bin/python3 tests/data/layouts/make_layouts.py
"""
import gzip
import os

import numpy as np
from astropy.io import fits

here = os.path.dirname(os.path.abspath(__file__))
rng = np.random.default_rng(2022)
expected = []


def path(name):
    return os.path.join(here, name)


def expect(address, wave, flux, sigma, bad):
    flux = np.array(flux, dtype=np.float64)
    bad = np.asarray(bad, dtype=bool)
    flux[bad] = np.nan
    if sigma is not None:
        sigma = np.array(sigma, dtype=np.float64)
        sigma[bad] = np.nan
    fmt = lambda a: " ".join(repr(float(v)) for v in a)
    expected.append("|".join([address, str(len(flux)), fmt(wave), fmt(flux),
                              "-" if sigma is None else fmt(sigma), str(int(bad.sum()))]))


def spectrum(n, level=10.0):
    return (level + rng.normal(0, 1, n)).astype(np.float32)


# SDSS spec: an empty primary with BUNIT, COADD one row per sample, a
# catalogue row, exposures from HDU 3 on.
def sdss():
    n = 120
    loglam = (3.5800 + 1e-4 * np.arange(n)).astype(np.float32)
    flux = spectrum(n)
    ivar = rng.uniform(0.5, 2, n).astype(np.float32)
    ivar[[7, 8]] = 0
    and_mask = np.zeros(n, np.int32)
    and_mask[[20, 21, 22]] = 1 << 23
    or_mask = and_mask | (rng.integers(0, 2, n, dtype=np.int32) << 3)
    coadd = fits.BinTableHDU.from_columns([
        fits.Column(name="flux", format="E", array=flux),
        fits.Column(name="loglam", format="E", array=loglam),
        fits.Column(name="ivar", format="E", array=ivar),
        fits.Column(name="and_mask", format="J", array=and_mask),
        fits.Column(name="or_mask", format="J", array=or_mask),
        fits.Column(name="wdisp", format="E", array=np.ones(n, np.float32)),
        fits.Column(name="sky", format="E", array=np.ones(n, np.float32)),
        fits.Column(name="model", format="E", array=flux)], name="COADD")
    catalogue = fits.BinTableHDU.from_columns([
        fits.Column(name="PLATE", format="J", array=[1234]),
        fits.Column(name="Z", format="E", array=[0.1]),
        fits.Column(name="CLASS", format="6A", array=["GALAXY"])], name="SPALL")
    m = 80
    exp_loglam = (3.5810 + 1e-4 * np.arange(m)).astype(np.float32)
    exp_flux = spectrum(m)
    exp_ivar = rng.uniform(0.5, 2, m).astype(np.float32)
    exposure = fits.BinTableHDU.from_columns([
        fits.Column(name="flux", format="E", array=exp_flux),
        fits.Column(name="loglam", format="E", array=exp_loglam),
        fits.Column(name="ivar", format="E", array=exp_ivar),
        fits.Column(name="mask", format="J", array=np.zeros(m, np.int32))], name="B1-00123456-00123455-00123457")
    primary = fits.PrimaryHDU()
    primary.header["BUNIT"] = "1E-17 erg/cm^2/s/Ang"
    fits.HDUList([primary, coadd, catalogue, exposure]).writeto(path("sdss-spec.fits"), overwrite=True)
    with fits.open(path("sdss-spec.fits")) as f:
        d = f["COADD"].data
        expect("sdss-spec.fits[COADD]", 10 ** d["loglam"].astype(np.float64), d["flux"],
               np.where(d["ivar"] > 0, 1 / np.sqrt(np.maximum(d["ivar"].astype(np.float64), 1e-300)), np.nan),
               (d["and_mask"] != 0) | (d["ivar"] <= 0))
        d = f[3].data
        expect("sdss-spec.fits[B1-00123456-00123455-00123457]", 10 ** d["loglam"].astype(np.float64), d["flux"],
               1 / np.sqrt(d["ivar"].astype(np.float64)), (d["mask"] != 0) | (d["ivar"] <= 0))


# LAMOST: a one-row COADD table with array columns and no TUNIT.
def lamost():
    n = 200
    wave = 3700 + 1.5 * np.arange(n)
    flux = spectrum(n, 50)
    ivar = rng.uniform(0.1, 1, n).astype(np.float32)
    andmask = np.zeros(n, np.int32)
    andmask[100:104] = 2
    ivar[150] = 0
    table = fits.BinTableHDU.from_columns([
        fits.Column(name="FLUX", format=f"{n}E", array=[flux]),
        fits.Column(name="IVAR", format=f"{n}E", array=[ivar]),
        fits.Column(name="WAVELENGTH", format=f"{n}D", array=[wave]),
        fits.Column(name="ANDMASK", format=f"{n}J", array=[andmask]),
        fits.Column(name="ORMASK", format=f"{n}J", array=[andmask]),
        fits.Column(name="NORMALIZATION", format=f"{n}E", array=[flux])], name="COADD")
    fits.HDUList([fits.PrimaryHDU(), table]).writeto(path("lamost.fits"), overwrite=True)
    with fits.open(path("lamost.fits")) as f:
        r = f["COADD"].data[0]
        ivar = r["IVAR"].astype(np.float64)
        expect("lamost.fits[COADD]", r["WAVELENGTH"], r["FLUX"],
               np.where(ivar > 0, 1 / np.sqrt(np.maximum(ivar, 1e-300)), np.nan), (r["ANDMASK"] != 0) | (ivar <= 0))


# DESI coadd: per camera a wavelength vector and targets x pixels images.
def desi():
    hdus = [fits.PrimaryHDU()]
    fibermap = fits.BinTableHDU.from_columns([
        fits.Column(name="TARGETID", format="K", array=[1, 2, 3]),
        fits.Column(name="TARGET_RA", format="D", unit="deg", array=[10.0, 10.1, 10.2])], name="FIBERMAP")
    hdus.append(fibermap)
    for camera, start, n in (("B", 3600.0, 90), ("R", 5760.0, 70)):
        wave = fits.ImageHDU(start + 0.8 * np.arange(n), name=f"{camera}_WAVELENGTH")
        wave.header["BUNIT"] = "Angstrom"
        flux = fits.ImageHDU(np.stack([spectrum(n, 5) for _ in range(3)]), name=f"{camera}_FLUX")
        flux.header["BUNIT"] = "10**-17 erg/(s cm2 Angstrom)"
        ivar = rng.uniform(0.5, 2, (3, n)).astype(np.float32)
        ivar[1, 10:12] = 0
        mask = np.zeros((3, n), np.int32)
        mask[2, 30:35] = 1
        hdus += [wave, flux, fits.ImageHDU(ivar, name=f"{camera}_IVAR"), fits.ImageHDU(mask, name=f"{camera}_MASK")]
    fits.HDUList(hdus).writeto(path("desi-coadd.fits"), overwrite=True)
    with fits.open(path("desi-coadd.fits")) as f:
        for camera in ("B", "R"):
            for row in range(3):
                ivar = f[f"{camera}_IVAR"].data[row].astype(np.float64)
                expect(f"desi-coadd.fits[{camera}_FLUX][row {row}]", f[f"{camera}_WAVELENGTH"].data,
                       f[f"{camera}_FLUX"].data[row], np.where(ivar > 0, 1 / np.sqrt(np.maximum(ivar, 1e-300)), np.nan),
                       (f[f"{camera}_MASK"].data[row] != 0) | (ivar <= 0))


# HST STIS echelle x1d: a row per order, NELEM valid of each array, DQ
# against SDQFLAGS; COS: a row per segment, DQ_WGT 0 is bad.
def hst():
    rows, width = 3, 64
    nelem = np.array([64, 60, 50], np.int16)
    wave = np.stack([2000 + 40 * r + 0.5 * np.arange(width) for r in range(rows)])  # orders overlap
    flux = np.stack([spectrum(width, 3) for _ in range(rows)])
    error = rng.uniform(0.1, 0.2, (rows, width)).astype(np.float32)
    dq = np.zeros((rows, width), np.int16)
    dq[0, 5] = 4        # counts: in SDQFLAGS
    dq[1, 6] = 2048     # not in SDQFLAGS: informational
    table = fits.BinTableHDU.from_columns([
        fits.Column(name="SPORDER", format="I", array=np.array([100, 99, 98], np.int16)),
        fits.Column(name="NELEM", format="I", array=nelem),
        fits.Column(name="WAVELENGTH", format=f"{width}D", unit="Angstrom", array=wave),
        fits.Column(name="GROSS", format=f"{width}E", unit="Counts/s", array=flux),
        fits.Column(name="FLUX", format=f"{width}E", unit="erg/s/cm**2/Angstrom", array=flux),
        fits.Column(name="ERROR", format=f"{width}E", unit="erg/s/cm**2/Angstrom", array=error),
        fits.Column(name="DQ", format=f"{width}I", array=dq)], name="SCI")
    table.header["SDQFLAGS"] = 31743 & ~2048
    fits.HDUList([fits.PrimaryHDU(), table]).writeto(path("stis-x1d.fits"), overwrite=True)
    with fits.open(path("stis-x1d.fits")) as f:
        d = f["SCI"].data
        bits = f["SCI"].header["SDQFLAGS"]
        for r in range(rows):
            k = d["NELEM"][r]
            expect(f"stis-x1d.fits[SCI][row {r}]", d["WAVELENGTH"][r][:k], d["FLUX"][r][:k], d["ERROR"][r][:k],
                   (d["DQ"][r][:k].astype(np.int64) & bits) != 0)

    width = 48
    wave = np.stack([1140 + 0.01 * np.arange(width), 1300 + 0.01 * np.arange(width)])
    flux = np.stack([spectrum(width, 10) * np.float32(1e-14) for _ in range(2)])
    error = (flux * 0.1).astype(np.float32)
    weight = np.ones((2, width), np.float32)
    weight[1, 40:] = 0
    table = fits.BinTableHDU.from_columns([
        fits.Column(name="SEGMENT", format="4A", array=["FUVA", "FUVB"]),
        fits.Column(name="NELEM", format="J", array=[width, width]),
        fits.Column(name="WAVELENGTH", format=f"{width}D", unit="angstrom", array=wave),
        fits.Column(name="FLUX", format=f"{width}E", unit="erg /s /cm**2 /angstrom", array=flux),
        fits.Column(name="ERROR", format=f"{width}E", unit="erg /s /cm**2 /angstrom", array=error),
        fits.Column(name="DQ", format=f"{width}I", array=np.zeros((2, width), np.int16)),
        fits.Column(name="DQ_WGT", format=f"{width}E", array=weight)], name="SCI")
    fits.HDUList([fits.PrimaryHDU(), table]).writeto(path("cos-x1d.fits"), overwrite=True)
    with fits.open(path("cos-x1d.fits")) as f:
        d = f["SCI"].data
        for r in range(2):
            expect(f"cos-x1d.fits[SCI][row {r}]", d["WAVELENGTH"][r], d["FLUX"][r], d["ERROR"][r], d["DQ_WGT"][r] == 0)


# JWST x1d, old style: EXTRACT1D per slit (EXTVER), a row per sample, um and
# Jy, an ASDF extension; new style: a row per source, NaN padding and
# N_ALONGDISP, an extended source read as SURF_BRIGHT.
def jwst():
    primary = fits.PrimaryHDU()
    primary.header["TELESCOP"] = "JWST"
    hdus = [primary]
    for ver, n in ((1, 60), (2, 45)):
        wave = 1.0 + 0.01 * np.arange(n) + 0.2 * ver
        dq = np.zeros(n, np.uint32)
        dq[3] = 1
        dq[4] = 4  # not DO_NOT_USE
        t = fits.BinTableHDU.from_columns([
            fits.Column(name="WAVELENGTH", format="D", unit="um", array=wave),
            fits.Column(name="FLUX", format="D", unit="Jy", array=spectrum(n, 1).astype(np.float64) * 1e-3),
            fits.Column(name="FLUX_ERROR", format="D", unit="Jy", array=np.full(n, 1e-5)),
            fits.Column(name="SURF_BRIGHT", format="D", unit="MJy/sr", array=spectrum(n, 7).astype(np.float64)),
            fits.Column(name="SB_ERROR", format="D", unit="MJy/sr", array=np.full(n, 0.5)),
            fits.Column(name="DQ", format="J", bzero=2147483648, array=dq)], name="EXTRACT1D", ver=ver)
        hdus.append(t)
    hdus.append(fits.BinTableHDU.from_columns([fits.Column(name="ASDF_METADATA", format="100B",
                                                           array=np.zeros((1, 100), np.uint8))], name="ASDF"))
    fits.HDUList(hdus).writeto(path("jwst-x1d.fits"), overwrite=True)
    with fits.open(path("jwst-x1d.fits")) as f:
        for ver in (1, 2):
            d = f["EXTRACT1D", ver].data
            expect("jwst-x1d.fits[EXTRACT1D]" if ver == 1 else "jwst-x1d.fits[EXTRACT1D,2]", d["WAVELENGTH"] * 1e4,
                   d["FLUX"], d["FLUX_ERROR"], (d["DQ"].astype(np.int64) & 1) != 0)

    primary = fits.PrimaryHDU()
    primary.header["TELESCOP"] = "JWST"
    primary.header["SRCTYPE"] = "EXTENDED"
    width, valid = 40, np.array([40, 33])
    wave = np.full((2, width), np.nan)
    sb = np.full((2, width), np.nan)
    for r in range(2):
        wave[r, :valid[r]] = 5 + 0.02 * np.arange(valid[r])
        sb[r, :valid[r]] = spectrum(valid[r], 4)
    t = fits.BinTableHDU.from_columns([
        fits.Column(name="SOURCE_ID", format="J", array=[1, 2]),
        fits.Column(name="N_ALONGDISP", format="J", array=valid),
        fits.Column(name="WAVELENGTH", format=f"{width}D", unit="um", array=wave),
        fits.Column(name="FLUX", format=f"{width}D", unit="Jy", array=sb * 1e-3),
        fits.Column(name="FLUX_ERROR", format=f"{width}D", unit="Jy", array=sb * 1e-5),
        fits.Column(name="SURF_BRIGHT", format=f"{width}D", unit="MJy/sr", array=sb),
        fits.Column(name="SB_ERROR", format=f"{width}D", unit="MJy/sr", array=sb * 0.01),
        fits.Column(name="DQ", format=f"{width}J", array=np.zeros((2, width), np.int32))], name="EXTRACT1D")
    fits.HDUList([primary, t]).writeto(path("jwst-x1d-rows.fits"), overwrite=True)
    with fits.open(path("jwst-x1d-rows.fits")) as f:
        d = f["EXTRACT1D"].data
        for r in range(2):
            k = d["N_ALONGDISP"][r]
            expect(f"jwst-x1d-rows.fits[EXTRACT1D][row {r}]", d["WAVELENGTH"][r][:k] * 1e4, d["SURF_BRIGHT"][r][:k],
                   d["SB_ERROR"][r][:k], np.zeros(k, bool))


# ESO Phase 3: one row, roles in TUTYP/TUCD, nm.
def eso():
    n = 150
    wave = 450 + 0.1 * np.arange(n)
    qual = np.zeros(n, np.int32)
    qual[60:63] = 1
    cols = [fits.Column(name="WAVE", format=f"{n}D", unit="nm", array=[wave]),
            fits.Column(name="FLUX", format=f"{n}E", unit="erg cm**(-2) s**(-1) angstrom**(-1)", array=[spectrum(n, 2)]),
            fits.Column(name="ERR", format=f"{n}E", unit="erg cm**(-2) s**(-1) angstrom**(-1)",
                        array=[rng.uniform(0.1, 0.2, n).astype(np.float32)]),
            fits.Column(name="QUAL", format=f"{n}J", array=[qual])]
    t = fits.BinTableHDU.from_columns(cols, name="SPECTRUM")
    for i, (utype, ucd) in enumerate((("spec:Data.SpectralAxis.Value", "em.wl"),
                                      ("spec:Data.FluxAxis.Value", "phot.flux.density;em.wl"),
                                      ("spec:Data.FluxAxis.Accuracy.StatError", "stat.error;phot.flux.density;em.wl"),
                                      ("spec:Data.FluxAxis.Accuracy.QualityStatus", "meta.code.qual")), start=1):
        t.header[f"TUTYP{i}"] = utype
        t.header[f"TUCD{i}"] = ucd
    fits.HDUList([fits.PrimaryHDU(), t]).writeto(path("eso-spectrum.fits"), overwrite=True)
    with fits.open(path("eso-spectrum.fits")) as f:
        r = f["SPECTRUM"].data[0]
        expect("eso-spectrum.fits[SPECTRUM]", r["WAVE"] * 10, r["FLUX"], r["ERR"], r["QUAL"] != 0)


# APOGEE apStar: FLUX, ERROR, MASK images, a row per spectrum, log-linear WCS.
def apogee():
    rows, n = 3, 100
    flux = np.stack([spectrum(n, 100) for _ in range(rows)])
    error = rng.uniform(1, 2, (rows, n)).astype(np.float32)
    mask = np.zeros((rows, n), np.int16)
    mask[0, 10] = 1          # BADPIX
    mask[1, 11] = 1 << 12    # informational: not bad
    hdus = [fits.PrimaryHDU()]
    for name, data in (("FLUX", flux), ("ERROR", error), ("MASK", mask)):
        h = fits.ImageHDU(data, name=name)
        h.header["CRVAL1"] = 4.179
        h.header["CDELT1"] = 6e-6
        h.header["CRPIX1"] = 1
        h.header["CTYPE1"] = "LOG-LINEAR"
        h.header["DC-FLAG"] = 1
        hdus.append(h)
    fits.HDUList(hdus).writeto(path("apogee-apstar.fits"), overwrite=True)
    with fits.open(path("apogee-apstar.fits")) as f:
        h = f["FLUX"].header
        wave = 10 ** (h["CRVAL1"] + (np.arange(n) + 1 - h["CRPIX1"]) * h["CDELT1"])
        for r in range(rows):
            expect(f"apogee-apstar.fits[FLUX][row {r}]", wave, f["FLUX"].data[r], f["ERROR"].data[r],
                   (f["MASK"].data[r].astype(np.int64) & 0x7F) != 0)


# DEEP2 spec1d (IDL mwrfits): one-row tables, no TUNIT, blue and red sides.
def deep2():
    hdus = [fits.PrimaryHDU()]
    for name, start in (("BXSPF-B", 6500.0), ("BXSPF-R", 7800.0)):
        n = 128
        t = fits.BinTableHDU.from_columns([
            fits.Column(name="SPEC", format=f"{n}E", array=[spectrum(n, 20)]),
            fits.Column(name="LAMBDA", format=f"{n}E", array=[(start + 0.33 * np.arange(n)).astype(np.float32)]),
            fits.Column(name="IVAR", format=f"{n}E", array=[rng.uniform(0.5, 1, n).astype(np.float32)]),
            fits.Column(name="CRMASK", format=f"{n}I", array=[np.zeros(n, np.int16)]),
            fits.Column(name="BITMASK", format=f"{n}J", array=[np.zeros(n, np.int32)])], name=name)
        hdus.append(t)
    fits.HDUList(hdus).writeto(path("deep2-spec1d.fits"), overwrite=True)
    with fits.open(path("deep2-spec1d.fits")) as f:
        for name in ("BXSPF-B", "BXSPF-R"):
            r = f[name].data[0]
            ivar = r["IVAR"].astype(np.float64)
            expect(f"deep2-spec1d.fits[{name}]", r["LAMBDA"], r["SPEC"], 1 / np.sqrt(ivar), ivar <= 0)


# PypeIt spec1d: a table per object, optimal and boxcar side by side,
# OPT_MASK True means good.
def pypeit():
    n = 90
    wave = 5000 + 1.1 * np.arange(n)
    opt_mask = np.ones(n, bool)
    opt_mask[[3, 4]] = False
    box_mask = np.ones(n, bool)
    box_mask[50] = False
    sig = rng.uniform(0.2, 0.3, n).astype(np.float32)
    t = fits.BinTableHDU.from_columns([
        fits.Column(name="TRACE_SPAT", format="D", array=np.full(n, 100.0)),
        fits.Column(name="OPT_WAVE", format="D", array=wave),
        fits.Column(name="OPT_COUNTS", format="D", array=spectrum(n, 300).astype(np.float64)),
        fits.Column(name="OPT_COUNTS_IVAR", format="D", array=np.ones(n)),
        fits.Column(name="OPT_COUNTS_SIG", format="D", array=np.ones(n)),
        fits.Column(name="OPT_FLAM", format="D", array=spectrum(n, 3).astype(np.float64)),
        fits.Column(name="OPT_FLAM_SIG", format="D", array=sig.astype(np.float64)),
        fits.Column(name="OPT_FLAM_IVAR", format="D", array=1 / sig.astype(np.float64) ** 2),
        fits.Column(name="OPT_MASK", format="L", array=opt_mask),
        fits.Column(name="BOX_WAVE", format="D", array=wave + 0.01),
        fits.Column(name="BOX_COUNTS", format="D", array=spectrum(n, 250).astype(np.float64)),
        fits.Column(name="BOX_COUNTS_SIG", format="D", array=np.full(n, 2.0)),
        fits.Column(name="BOX_MASK", format="L", array=box_mask)], name="SPAT0100-SLIT0101-DET01")
    fits.HDUList([fits.PrimaryHDU(), t]).writeto(path("pypeit-spec1d.fits"), overwrite=True)
    with fits.open(path("pypeit-spec1d.fits")) as f:
        d = f[1].data
        expect("pypeit-spec1d.fits[SPAT0100-SLIT0101-DET01][col OPT_FLAM]", d["OPT_WAVE"], d["OPT_FLAM"],
               d["OPT_FLAM_SIG"], ~d["OPT_MASK"])
        expect("pypeit-spec1d.fits[SPAT0100-SLIT0101-DET01][col BOX_COUNTS]", d["BOX_WAVE"], d["BOX_COUNTS"],
               d["BOX_COUNTS_SIG"], ~d["BOX_MASK"])


# specutils: wcs1d-fits in an extension (a 1-D image with its own WCS; the
# primary's CRVAL1 must not count) and tabular-fits.
def specutils():
    n = 75
    primary = fits.PrimaryHDU()
    primary.header["CRVAL1"] = 99999.0
    image = fits.ImageHDU(spectrum(n, 8), name="SPECTRUM")
    image.header["CTYPE1"] = "WAVE"
    image.header["CUNIT1"] = "nm"
    image.header["CRVAL1"] = 600.0
    image.header["CDELT1"] = 0.25
    image.header["CRPIX1"] = 3.0
    image.header["BUNIT"] = "Jy"
    fits.HDUList([primary, image]).writeto(path("specutils-wcs1d.fits"), overwrite=True)
    with fits.open(path("specutils-wcs1d.fits")) as f:
        h = f[1].header
        expect("specutils-wcs1d.fits[SPECTRUM]", 10 * (h["CRVAL1"] + (np.arange(n) + 1 - h["CRPIX1"]) * h["CDELT1"]),
               f[1].data, None, np.zeros(n, bool))

    wave = 9000 - 2.0 * np.arange(n)  # red to blue
    t = fits.BinTableHDU.from_columns([
        fits.Column(name="wavelength", format="D", unit="Angstrom", array=wave),
        fits.Column(name="flux", format="D", unit="erg / (Angstrom cm2 s)", array=spectrum(n, 6).astype(np.float64)),
        fits.Column(name="uncertainty", format="D", unit="erg / (Angstrom cm2 s)", array=np.full(n, 0.3))])
    t.header["CRVAL1"] = 1.0  # a table's header does not set its columns' wavelengths
    fits.HDUList([fits.PrimaryHDU(), t]).writeto(path("specutils-tabular.fits"), overwrite=True)
    with fits.open(path("specutils-tabular.fits")) as f:
        d = f[1].data
        expect("specutils-tabular.fits[1]", d["wavelength"], d["flux"], d["uncertainty"], np.zeros(n, bool))


# linetools: 1-D images FLUX, ERROR, WAVELENGTH, CONTINUUM; a frequency axis.
def linetools():
    n = 64
    hdus = [fits.PrimaryHDU(), fits.ImageHDU(spectrum(n, 1), name="FLUX"),
            fits.ImageHDU(rng.uniform(0.05, 0.1, n).astype(np.float32), name="ERROR"),
            fits.ImageHDU(3200 + 0.7 * np.arange(n), name="WAVELENGTH"),
            fits.ImageHDU(np.ones(n, np.float32), name="CONTINUUM")]
    fits.HDUList(hdus).writeto(path("linetools.fits"), overwrite=True)
    with fits.open(path("linetools.fits")) as f:
        expect("linetools.fits[FLUX]", f["WAVELENGTH"].data, f["FLUX"].data, f["ERROR"].data, np.zeros(n, bool))

    radio = fits.ImageHDU(spectrum(n, 1), name="SPEC")
    radio.header["CTYPE1"] = "FREQ"
    radio.header["CUNIT1"] = "GHz"
    radio.header["CRVAL1"] = 100.0
    radio.header["CDELT1"] = 0.01
    radio.header["CRPIX1"] = 1.0
    fits.HDUList([fits.PrimaryHDU(), radio]).writeto(path("frequency.fits"), overwrite=True)


# Files without a spectrum: a sky image and a catalogue of spectra.
def nothing():
    sky = fits.ImageHDU(rng.normal(0, 1, (20, 30)).astype(np.float32), name="SCI")
    for key, value in (("CTYPE1", "RA---TAN"), ("CTYPE2", "DEC--TAN"), ("CRVAL1", 150.0), ("CRVAL2", 2.0),
                       ("CDELT1", -1e-4), ("CDELT2", 1e-4)):
        sky.header[key] = value
    fits.HDUList([fits.PrimaryHDU(), sky]).writeto(path("sky-image.fits"), overwrite=True)
    cat = fits.BinTableHDU.from_columns([
        fits.Column(name="RA", format="D", unit="deg", array=[1.0, 2.0]),
        fits.Column(name="DEC", format="D", unit="deg", array=[3.0, 4.0]),
        fits.Column(name="Z", format="E", array=[0.1, 0.2]),
        fits.Column(name="LAMBDA_REF", format="E", unit="Angstrom", array=[5400.0, 5400.0]),
        fits.Column(name="PHOT_G", format="E", unit="Jy", array=[1e-3, 2e-3]),
        fits.Column(name="SPECFILE", format="20A", array=["a.fits", "b.fits"])], name="CATALOG")
    fits.HDUList([fits.PrimaryHDU(), cat]).writeto(path("catalogue.fits"), overwrite=True)


# Malformed and edge cases: an error image that does not fit its flux, and a
# table whose every sample is flagged.
def malformed():
    fits.HDUList([fits.PrimaryHDU(), fits.ImageHDU(np.stack([spectrum(50), spectrum(50)]), name="FLUX"),
                  fits.ImageHDU(np.ones((2, 40), np.float32), name="ERROR")]).writeto(path("misfit-error.fits"),
                                                                                    overwrite=True)
    n = 30
    t = fits.BinTableHDU.from_columns([
        fits.Column(name="loglam", format="E", array=(3.6 + 1e-4 * np.arange(n)).astype(np.float32)),
        fits.Column(name="flux", format="E", array=spectrum(n)),
        fits.Column(name="and_mask", format="J", array=np.ones(n, np.int32))], name="COADD")
    fits.HDUList([fits.PrimaryHDU(), t]).writeto(path("all-flagged.fits"), overwrite=True)
    # Cells of a row that disagree in length, a table whose TFORM cannot be
    # read (patched in after writing), then a sound table: only the last is a
    # spectrum, and what was left aside is told.
    odd = fits.BinTableHDU.from_columns([
        fits.Column(name="NELEM", format="J", array=[99]),
        fits.Column(name="WAVE", format="10D", array=[4000 + np.arange(10.0)]),
        fits.Column(name="FLUX", format="12E", array=[spectrum(12)])], name="ODD")
    bad = fits.BinTableHDU.from_columns([fits.Column(name="WAVE", format="D", array=[1.0, 2.0]),
                                         fits.Column(name="FLUX", format="D", array=[1.0, 2.0])], name="BAD")
    good = fits.BinTableHDU.from_columns([fits.Column(name="WAVE", format="20D", array=[5000 + np.arange(20.0)]),
                                          fits.Column(name="FLUX", format="20E", array=[spectrum(20)])], name="GOOD")
    fits.HDUList([fits.PrimaryHDU(), odd, bad, good]).writeto(path("odd-tables.fits"), overwrite=True)
    with open(path("odd-tables.fits"), "r+b") as f:
        data = f.read()
        at = data.rindex(b"TFORM2  = 'D ", 0, data.index(b"EXTNAME = 'BAD "))
        f.seek(at)
        f.write(b"TFORM2  = 'Z ")


# Spectra in the rows of one primary image, each writer recognised by its
# keywords: an SDSS DR7 spSpec file (flux, continuum-subtracted flux, sigma,
# mask; COEFF0/COEFF1), a LAMOST low-resolution file of DR8 and before
# (flux, ivar, wavelength, and-mask, or-mask) and a Spextool file (three
# orders of wavelength in um, flux, error and flags, NaN-padded); then a
# primary sky image and a 2-D image without any such keyword.
def image_rows():
    n = 150
    c0, c1 = 3.5798, 1e-4
    flux, sigma = spectrum(n), (0.5 + rng.random(n)).astype(np.float32)
    mask = np.zeros(n, np.float32)
    mask[[10, 11, 90]] = 16
    rows = np.stack([flux, flux - 10, sigma, mask, np.zeros(n, np.float32)])
    h = fits.PrimaryHDU(rows)
    for key, value in (("TELESCOP", "SDSS 2.5-M"), ("COEFF0", c0), ("COEFF1", c1), ("CRVAL1", c0), ("CD1_1", c1),
                       ("CRPIX1", 1), ("CTYPE1", "LAMBDA"), ("BUNIT", "1E-17 erg/cm/s^2/Ang"), ("OBJECT", "QSO")):
        h.header[key] = value
    h.writeto(path("sdss-spspec.fits"), overwrite=True)
    expect("sdss-spspec.fits[0]", 10 ** (c0 + c1 * np.arange(n)), flux, sigma, mask != 0)

    n = 160
    wave = 10 ** (3.5682 + 1e-4 * np.arange(n))
    flux = spectrum(n, 50)
    ivar = (0.3 + rng.random(n)).astype(np.float32)
    ivar[[5, 6]] = 0
    andmask = np.zeros(n, np.float32)
    andmask[100] = 4
    ormask = andmask.copy()
    ormask[120] = 8
    h = fits.PrimaryHDU(np.stack([flux, ivar, wave.astype(np.float32), andmask, ormask]))
    for key, value in (("TELESCOP", "LAMOST"), ("COEFF0", 3.5682), ("COEFF1", 1e-4), ("CRVAL1", 3.5682),
                       ("CD1_1", 1e-4), ("CRPIX1", 1)):
        h.header[key] = value
    h.writeto(path("lamost-dr8.fits"), overwrite=True)
    expect("lamost-dr8.fits[0]", wave.astype(np.float32), flux, 1 / np.sqrt(ivar.astype(np.float64)),
           (andmask != 0) | (ivar <= 0))

    n, orders = 120, [3, 4, 5]
    cube = np.full((3, 4, n), np.nan, np.float32)
    for k, order in enumerate(orders):
        used = n - 20 * k  # shorter orders padded with NaN
        cube[k, 0, :used] = 0.9 + 0.35 * k + 0.002 * np.arange(used)
        cube[k, 1, :used] = spectrum(used, 5)
        cube[k, 2, :used] = 0.2
        cube[k, 3, :used] = 0
        cube[k, 3, 7] = 1
    h = fits.PrimaryHDU(cube)
    for key, value in (("INSTR", "SpeX"), ("XUNITS", "um"), ("YUNITS", "W m-2 um-1"), ("NORDERS", 3),
                       ("ORDERS", "3,4,5"), ("NAPS", 1)):
        h.header[key] = value
    h.writeto(path("spextool.fits"), overwrite=True)
    for k in range(3):
        used = n - 20 * k  # the padding is not a part of the order
        wave = cube[k, 0, :used].astype(np.float64) * 1e4
        expect("spextool.fits[0][row %d]" % k, wave, cube[k, 1, :used], cube[k, 2, :used], cube[k, 3, :used] != 0)

    sky = fits.PrimaryHDU(rng.normal(0, 1, (20, 30)).astype(np.float32))
    for key, value in (("CTYPE1", "RA---TAN"), ("CTYPE2", "DEC--TAN"), ("CRVAL1", 150.0), ("CRVAL2", 2.0),
                       ("CDELT1", -1e-4), ("CDELT2", 1e-4)):
        sky.header[key] = value
    sky.writeto(path("sky-primary.fits"), overwrite=True)


# Error values at their edges: an inverse variance that is not a number
# (no sigma, not flagged), infinite (no sigma), negative or 0 (flagged); a
# variance that is negative or infinite (no sigma, not flagged).
def odd_errors():
    n = 60
    wave = 5000 + np.arange(n, dtype=np.float64)
    flux = spectrum(n)
    ivar = (0.5 + rng.random(n)).astype(np.float64)
    ivar[[3, 4, 5, 6]] = [np.nan, np.inf, -1.0, 0.0]
    var = (0.5 + rng.random(n)).astype(np.float64)
    var[[7, 8, 9]] = [-2.0, np.inf, np.nan]
    ivars = fits.BinTableHDU.from_columns([fits.Column(name="WAVE", format="D", array=wave),
                                           fits.Column(name="FLUX", format="E", array=flux),
                                           fits.Column(name="IVAR", format="D", array=ivar)], name="IVARS")
    variances = fits.BinTableHDU.from_columns([fits.Column(name="WAVE", format="D", array=wave),
                                               fits.Column(name="FLUX", format="E", array=flux),
                                               fits.Column(name="VAR", format="D", array=var)], name="VARS")
    fits.HDUList([fits.PrimaryHDU(), ivars, variances]).writeto(path("odd-errors.fits"), overwrite=True)
    with np.errstate(invalid="ignore", divide="ignore"):
        sigma = np.where((ivar > 0) & np.isfinite(ivar), 1 / np.sqrt(np.where(ivar > 0, ivar, 1)), np.nan)
        expect("odd-errors.fits[IVARS]", wave, flux, sigma, ivar <= 0)
        sigma = np.where((var >= 0) & np.isfinite(var), np.sqrt(np.where(var >= 0, var, 0)), np.nan)
        expect("odd-errors.fits[VARS]", wave, flux, sigma, np.zeros(n, bool))


for write in (sdss, lamost, desi, hst, jwst, eso, apogee, deep2, pypeit, specutils, linetools, nothing, malformed,
              image_rows, odd_errors):
    write()
with open(path("lamost.fits"), "rb") as plain, gzip.GzipFile(path("lamost.fits.gz"), "wb", mtime=0) as packed:
    packed.write(plain.read())
with open(path("expected.txt"), "w") as out:
    out.write("\n".join(expected) + "\n")
