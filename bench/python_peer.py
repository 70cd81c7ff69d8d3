#!/usr/bin/python3
"""The Python peer of Quillon's benchmarks: the same work done with astropy
and matplotlib (Debian's python3-astropy and python3-matplotlib), timed in
the same run as the C++ benchmarks by scripts/bench.

    python_peer.py make-files DIR          write the benchmark FITS files
    python_peer.py load FILE               open + decode + calibrate + level
    python_peer.py draw16 FILE...          full redraw of 16 x 3000 samples
    python_peer.py draw1m                  redraw of one 1,000,000-sample curve
    python_peer.py rss FILE...             VmRSS after loading and drawing
    python_peer.py window                  start-up: a matplotlib window, "Peer"
    python_peer.py maxrss PROGRAM ARGS...  peak resident memory of a program
    python_peer.py make-scaling DIR        the scaling files: 10^3..10^7 samples
    python_peer.py load-scaling DIR        load of each scaling file
    python_peer.py redraw-scaling N [K]    redraws of an existing figure of K
                                           curves of N samples, whole and zoomed
    python_peer.py rss-scaling N [K]       VmRSS with K curves of N samples drawn
    python_peer.py make-tables DIR         the table files: a row per sample, one
                                           row of array cells, an image extension
    python_peer.py load-tables DIR         load of each table file with astropy
                                           and with specutils' Spectrum1D.read

Each timing mode prints one JSON object: the median time of one operation in
milliseconds over the repetitions, and the repetition count.
"""

import json
import os
import statistics
import subprocess
import sys
import time

if len(sys.argv) > 1 and sys.argv[1] == "maxrss":
    # Runs before the heavy imports: this process only waits for the child.
    child = subprocess.Popen(sys.argv[2:], stdout=subprocess.DEVNULL)
    _, status, usage = os.wait4(child.pid, 0)
    print(json.dumps({"mode": "maxrss", "maxrss_kb": usage.ru_maxrss,
                      "status": os.waitstatus_to_exitcode(status)}))
    sys.exit(0 if os.waitstatus_to_exitcode(status) == 0 else 1)

import numpy as np  # noqa: E402
from astropy.io import fits  # noqa: E402

import matplotlib  # noqa: E402

if len(sys.argv) > 1 and sys.argv[1] == "window":
    # Start-up to the first window, as a viewer built on these libraries
    # would start: both imported, one figure window shown.
    matplotlib.use("TkAgg")
    import matplotlib.pyplot as plt  # noqa: E402
    plt.figure("Peer")
    plt.show()
    sys.exit(0)

matplotlib.use("Agg")
from matplotlib.figure import Figure  # noqa: E402
from matplotlib.backends.backend_agg import FigureCanvasAgg  # noqa: E402

# The plot window at its default size (10000 x 5000 twips) is about
# 1000 x 600 pixels of drawing surface at 96 dpi.
WIDTH_PX, HEIGHT_PX, DPI = 1000, 600, 100


def spectrum(n, seed, lambda0=4000.0, dispersion=1.0):
    """A real-looking spectrum: a sloping continuum with noise, a few
    absorption lines and one emission line, as float32 samples."""
    rng = np.random.default_rng(seed)
    x = np.arange(1, n + 1, dtype=np.float64)
    lam = lambda0 + dispersion * x
    flux = 1000.0 + 0.05 * (lam - lam[0]) + rng.normal(0.0, 12.0, n)
    for centre, depth, width in ((0.2, 300, 4.0), (0.45, 500, 2.5), (0.7, 250, 6.0)):
        c = lam[0] + centre * (lam[-1] - lam[0])
        flux -= depth * np.exp(-0.5 * ((lam - c) / (width * dispersion)) ** 2)
    c = lam[0] + 0.58 * (lam[-1] - lam[0])
    flux += 900 * np.exp(-0.5 * ((lam - c) / (3.0 * dispersion)) ** 2)
    return flux.astype(np.float32)


def write_spectrum(path, n, seed, lambda0, dispersion, name):
    hdu = fits.PrimaryHDU(spectrum(n, seed, lambda0, dispersion))
    hdu.header["CRVAL1"] = lambda0
    hdu.header["CD1_1"] = dispersion
    hdu.header["OBJECT"] = name
    hdu.writeto(path, overwrite=True)


def make_files(folder):
    write_spectrum(f"{folder}/load3000.fts", 3000, 1, 4000.0, 1.0, "BENCH 3000")
    for slot in range(1, 17):
        write_spectrum(f"{folder}/slot{slot:02d}.fts", 3000, 100 + slot,
                       4000.0 + 20.0 * slot, 1.0, f"STAR {slot}")


def load(path):
    """What LoadFitsSpectrum does with a file: header values, samples as
    doubles, wavelength range, normalising level (median of the maxima of
    50-sample blocks, each starting at 0) and the levelled samples."""
    with fits.open(path, memmap=False) as hdul:
        header = hdul[0].header
        data = np.asarray(hdul[0].data, dtype=np.float64)
        lambda0 = float(header.get("CRVAL1", 0.0))
        dispersion = float(header.get("CD1_1", 0.0))
        n = int(header.get("NAXIS1", data.size))
        _ = header.get("OBJECT", "")
    data = data[:n]
    lambda_end = lambda0 + dispersion * n
    peaks = np.maximum(np.maximum.reduceat(data, np.arange(0, n, 50)), 0.0)
    norm = float(np.median(peaks))
    levelled = 100.0 * data / norm
    return lambda0, dispersion, lambda_end, levelled


SCALING_SIZES = (1_000, 10_000, 100_000, 1_000_000, 10_000_000)


def scaling_name(folder, n):
    return f"{folder}/scale{n}.fts"


def make_scaling(folder):
    for n in SCALING_SIZES:
        write_spectrum(scaling_name(folder, n), n, 1, 4000.0, 3000.0 / n, "BENCH SCALING")


def long_curves(n, count):
    """`count` levelled curves of n samples over 4000-7000 Angstroms."""
    lam = 4000.0 + (3000.0 / n) * np.arange(1, n + 1)
    return [(lam, 100.0 * spectrum(n, 50 + k, 4000.0, 3000.0 / n).astype(np.float64) / 1000.0)
            for k in range(count)]


def existing_figure(curves):
    """The figure built once, as a viewer keeps it between redraws."""
    figure, canvas = new_canvas()
    axes = figure.add_axes((0.08, 0.2, 0.88, 0.75))
    axes.grid(True, color="#c0c0c0")
    top = -1e300
    for slot, (lam, levelled) in enumerate(curves, start=1):
        offset = 0 if len(curves) == 1 else 20 * (slot - 15)
        axes.step(lam, levelled - offset, where="pre", linewidth=1)
        top = max(top, float(levelled.max()) - offset)
    axes.set_ylim(-40, top)
    axes.set_xlim(4000, 7000)
    axes.set_xlabel("Wavelength /Angstroms")
    canvas.draw()
    return figure, canvas, axes


def new_canvas():
    figure = Figure(figsize=(WIDTH_PX / DPI, HEIGHT_PX / DPI), dpi=DPI)
    return figure, FigureCanvasAgg(figure)


def draw(figure, canvas, curves):
    """A full redraw as Quillon's renderer does one: everything rebuilt from
    the data (axes, grid, the step curves with their offsets) and rasterised."""
    figure.clear()
    axes = figure.add_axes((0.08, 0.2, 0.88, 0.75))
    axes.grid(True, color="#c0c0c0")
    top = -1e300
    for slot, (lam, levelled) in enumerate(curves, start=1):
        offset = 20 * (slot - 15)
        axes.step(lam, levelled - offset, where="pre", linewidth=1)
        top = max(top, float(levelled.max()) - offset)
    axes.set_ylim(-40, top)
    axes.set_xlim(min(c[0][0] for c in curves), max(c[0][-1] for c in curves))
    axes.set_xlabel("Wavelength /Angstroms")
    canvas.draw()


def timed(operation, min_seconds=2.0, min_reps=5, warm_up=True):
    if warm_up:
        operation()  # imports, font cache, first allocation
    times = []
    started = time.perf_counter()
    while len(times) < min_reps or time.perf_counter() - started < min_seconds:
        t0 = time.perf_counter()
        operation()
        times.append(time.perf_counter() - t0)
    return {"ms": statistics.median(times) * 1000.0, "reps": len(times)}


def curves_from(paths):
    curves = []
    for path in paths:
        lambda0, dispersion, _, levelled = load(path)
        lam = lambda0 + dispersion * np.arange(1, levelled.size + 1)
        curves.append((lam, levelled))
    return curves


def resident_kb():
    with open("/proc/self/status") as status:
        for line in status:
            if line.startswith("VmRSS:"):
                return int(line.split()[1])
    return -1


# The table files, 10^6 samples each, as archives lay them out: a table with a
# row per sample (SDSS's COADD), a one-row table of array cells (LAMOST, ESO),
# a 1-D image extension with its own WCS (specutils' wcs1d-fits).
TABLE_SAMPLES = 1_000_000
TABLE_FILES = ("rows", "arraycell", "image")


def table_name(folder, kind):
    return f"{folder}/table-{kind}.fits"


def make_tables(folder):
    n = TABLE_SAMPLES
    wave = 3600.0 + 0.005 * np.arange(n)
    flux = (1.5 + np.sin(0.001 * np.arange(n))).astype(np.float64)
    ivar = np.full(n, 4.0, dtype=np.float32)
    primary = fits.PrimaryHDU()
    rows = fits.BinTableHDU.from_columns([
        fits.Column(name="WAVE", format="D", unit="Angstrom", array=wave),
        fits.Column(name="FLUX", format="D", unit="erg/s/cm2/Angstrom", array=flux),
        fits.Column(name="IVAR", format="E", array=ivar),
        fits.Column(name="MASK", format="J", array=np.zeros(n, dtype=np.int32))], name="COADD")
    fits.HDUList([primary, rows]).writeto(table_name(folder, "rows"), overwrite=True)
    cells = fits.BinTableHDU.from_columns([
        fits.Column(name="WAVE", format=f"{n}D", unit="Angstrom", array=wave[np.newaxis, :]),
        fits.Column(name="FLUX", format=f"{n}D", unit="erg/s/cm2/Angstrom", array=flux[np.newaxis, :]),
        fits.Column(name="ERR", format=f"{n}E", unit="erg/s/cm2/Angstrom",
                    array=(0.5 / np.sqrt(ivar))[np.newaxis, :])], name="SPECTRUM")
    fits.HDUList([primary, cells]).writeto(table_name(folder, "arraycell"), overwrite=True)
    image = fits.ImageHDU(flux, name="FLUX")
    image.header["CTYPE1"] = "WAVE"
    image.header["CUNIT1"] = "Angstrom"
    image.header["CRVAL1"] = 3600.0
    image.header["CDELT1"] = 0.005
    image.header["CRPIX1"] = 1.0
    image.header["BUNIT"] = "erg/s/cm2/Angstrom"
    fits.HDUList([primary, image]).writeto(table_name(folder, "image"), overwrite=True)


def block_level(flux):
    """The level: the median of the 50-sample block maxima (from 0) of the
    present samples."""
    present = np.where(np.isfinite(flux), flux, 0.0)
    peaks = np.maximum(np.maximum.reduceat(present, np.arange(0, present.size, 50)), 0.0)
    return float(np.median(peaks))


def load_table_astropy(path, kind):
    """fits.open, the spectrum's columns as float64, the level."""
    with fits.open(path, memmap=False) as hdus:
        hdu = hdus[1]
        if kind == "image":
            h = hdu.header
            flux = hdu.data.astype(np.float64)
            wave = h["CRVAL1"] + h["CDELT1"] * (np.arange(flux.size) + 1 - h["CRPIX1"])
        elif kind == "rows":
            data = hdu.data
            wave = data["WAVE"].astype(np.float64)
            flux = data["FLUX"].astype(np.float64)
            ivar = data["IVAR"].astype(np.float64)
            flux[(ivar <= 0) | (data["MASK"] != 0)] = np.nan
        else:
            data = hdu.data
            wave = data["WAVE"][0].astype(np.float64)
            flux = data["FLUX"][0].astype(np.float64)
            _ = data["ERR"][0].astype(np.float64)
        norm = block_level(flux)
        return wave, 100.0 * flux / norm


def load_table_specutils(path, kind):
    from specutils import Spectrum1D
    fmt = {"rows": "tabular-fits", "arraycell": "tabular-fits", "image": "wcs1d-fits"}[kind]
    return Spectrum1D.read(path, format=fmt, hdu=1)


def main(argv):
    if len(argv) < 2:
        print(__doc__, file=sys.stderr)
        return 2
    mode, args = argv[1], argv[2:]
    if mode == "make-files" and len(args) == 1:
        make_files(args[0])
        return 0
    if mode == "load" and len(args) == 1:
        result = timed(lambda: load(args[0]))
    elif mode == "draw16" and args:
        curves = curves_from(args)
        figure, canvas = new_canvas()
        result = timed(lambda: draw(figure, canvas, curves))
    elif mode == "draw1m" and not args:
        n = 1_000_000
        lam = 4000.0 + 0.01 * np.arange(1, n + 1)
        levelled = 100.0 * spectrum(n, 7, 4000.0, 0.01).astype(np.float64) / 1000.0
        figure, canvas = new_canvas()
        result = timed(lambda: draw(figure, canvas, [(lam, levelled)]), min_seconds=5.0, min_reps=3)
    elif mode == "make-scaling" and len(args) == 1:
        make_scaling(args[0])
        return 0
    elif mode == "load-scaling" and len(args) == 1:
        for n in SCALING_SIZES:
            path = scaling_name(args[0], n)
            row = timed(lambda: load(path), min_seconds=1.0 if n < 10_000_000 else 3.0, min_reps=5)
            row.update({"mode": mode, "samples": n})
            print(json.dumps(row), flush=True)
        return 0
    elif mode == "make-tables" and len(args) == 1:
        make_tables(args[0])
        return 0
    elif mode == "load-tables" and len(args) == 1:
        for kind in TABLE_FILES:
            path = table_name(args[0], kind)
            row = {"mode": mode, "file": kind, "samples": TABLE_SAMPLES}
            row["astropy"] = timed(lambda: load_table_astropy(path, kind), min_seconds=1.0, min_reps=5)
            try:
                row["specutils"] = timed(lambda: load_table_specutils(path, kind), min_seconds=1.0, min_reps=3)
            except Exception as error:  # noqa: BLE001 - a peer that cannot read the file is reported as such
                row["specutils"] = {"error": f"{type(error).__name__}: {error}"[:200]}
            print(json.dumps(row), flush=True)
        return 0
    elif mode in ("redraw-scaling", "rss-scaling") and 1 <= len(args) <= 2:
        n = int(args[0])
        count = int(args[1]) if len(args) == 2 else 1
        figure, canvas, axes = existing_figure(long_curves(n, count))
        if mode == "rss-scaling":
            result = {"rss_kb": resident_kb(), "samples": n, "curves": count}
        else:
            # A redraw of the existing figure, as after an expose: the whole
            # range, then zoomed to an eighth of it.
            # The figure's first drawing was the warm-up; the largest take
            # many seconds a drawing, so they are timed fewer times.
            reps = 3 if n * count <= 1_000_000 else 1
            full = timed(canvas.draw, min_seconds=0.5, min_reps=reps, warm_up=False)
            axes.set_xlim(5312.5, 5687.5)
            canvas.draw()
            zoomed = timed(canvas.draw, min_seconds=0.5, min_reps=reps, warm_up=False)
            result = {"samples": n, "curves": count, "ms": full["ms"], "reps": full["reps"],
                      "zoomed_ms": zoomed["ms"], "zoomed_reps": zoomed["reps"]}
    elif mode == "rss" and args:
        figure, canvas = new_canvas()
        draw(figure, canvas, curves_from(args))
        result = {"rss_kb": resident_kb()}
    else:
        print(__doc__, file=sys.stderr)
        return 2
    result["mode"] = mode
    print(json.dumps(result))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
