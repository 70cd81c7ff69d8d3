#!/usr/bin/python3
"""Writes docs/PERFORMANCE.md from the results folder that scripts/bench
fills: Google Benchmark JSON files of the present binaries (now/*.json) and
of an earlier commit's (base/*.json, see scripts/bench --base), with each
binary's list of benchmarks (*.list), the Python peer's JSON lines
(peer_*.json, rss_*.json), the window timer's lines (startup_*.txt,
rss_quillon.txt) and quillon-render's own timing (render_tool.txt).

    perf_report.py RESULTS_DIR OUTPUT.md    the report
    perf_report.py compare RESULTS_DIR      the present benchmarks against
                                            the earlier commit's, as text
    perf_report.py plan NOW.list BASE.list  for scripts/bench: the filters
                                            that time both sides family by
                                            family
    perf_report.py tables RESULTS_DIR OUTPUT.md
                                            for scripts/bench --tables: only
                                            the section on spectra from
                                            tables and extensions, replaced
                                            in (or added to) OUTPUT.md
"""

import datetime
import glob
import json
import os
import re
import statistics
import subprocess
import sys

UNIT_MS = {"ns": 1e-6, "us": 1e-3, "ms": 1.0, "s": 1000.0}

# Targets of the release: (ratio or limit, how it is read).
LOAD_RATIO = 20.0
REDRAW_RATIO = 10.0
MILLION_MS = 30.0
STARTUP_MS = 300.0
RSS_KB = 100e6 / 1024  # 100 MB (10^8 bytes) in kB


# How the loader and the renderer reach their speed: figures measured by hand
# while they were written, kept in the report since scripts/bench rewrites it.
DESIGN_NOTES = """## How the speed is reached

Figures measured by hand on the 2-core VM (Release, medians) while the loader and the renderer were written; the tables above are the last run of `scripts/bench`.

- **Loading 10^6 and 10^7 samples**: a reload about 1.2 / 20 ms, a first load into a fresh program about 2.6 / 17 ms, a plain read of the same file 0.09 / 3.1 ms. Of a 10^7-sample load, decoding and block maxima take about 8 ms, the median 1.8 ms, levelling with the level summary's bottom level 7 ms (reading and writing 80 MB each), the rest of the summary 0.4 ms.
- **A short load** (3000 samples, about 10 µs, most of it the file system): the file's first 256 KiB are read once and the end of the header text is searched there.
- **Pieces that stay in the caches**: the data block is read 256 KiB at a time into one buffer that stays in the second-level cache; each piece is decoded 2000 samples at a time into a buffer in the first-level cache, where the block maxima are taken, and appended to the new sample array. Both sizes are whole 50-sample blocks, so no block straddles two pieces. Levelling works 2048 samples at a time the same way: the levelled values are made in a first-level buffer, the summary's bottom level (the lowest and highest value of each 16 samples, and the running range) is taken from them there, and they are appended; the levelled range comes from those blocks, so no loop of its own visits the samples. The rest of the pyramid (a sixteenth of the samples and less) is built next, so the first drawing never waits for it. A long file's bytes are never held twice, and the long arrays are written once, never zero-filled first.
- **The kernels**: unscaled data (BSCALE 1, BZERO 0) keep a conversion-only loop. A missing floating-point sample is made a NaN by setting its quiet bit (an infinity has a zero fraction), and the missing count is the same exponent test carried into the sign bit. The block maxima and the summary fold four blocks at a time in vectors of four, then across the four blocks. The level is found by selection (`std::nth_element`), the same median as a sort; the sorting median stays as the reference the tests compare it with. A levelled value can only overflow to an infinity, never become NaN, so an infinite bound of the levelled range finds it. The runs of missing samples are looked for only when the reader counted missing samples, so a spectrum without gaps is read once, while it is levelled.
- **Fresh pages**: the kernel's clearing of fresh pages is the largest single cost of a first load of 10^7 samples: about 13 ms for 160 MB, against 6 ms to write them once touched. Buffers of a megabyte or more (samples, levelled samples, level summary) are advised into transparent huge pages before they are first touched: a page fault per 2 MiB instead of one per 4 KiB; nothing changes where the system has no huge pages. When a load takes new storage of 8 MB or more, the page thread (`BackgroundPrefault`, `MADV_POPULATE_WRITE`, Linux 5.14 and later) has the system provide the pages of the second half of the samples, the levelled array and the summary's bottom level, while the loader's own thread faults in the first half of the samples as it fills them.
- **Arrays kept for the next load**: a load decodes and levels into arrays kept from earlier loads, never into the slot's, so a refused load leaves the slot as it was. A spectrum's replaced arrays, their pages already faulted in, become the next load's, kept with their room and never zero-filled, so a reload of the same size touches no fresh page. Arrays are kept only up to 32 MiB each (4 M samples), however the load ends, so the program never holds a very long spectrum twice; a load into an empty slot keeps no spare room; kept room of more than a megabyte and more than twice what a load needs is given back first, so a short spectrum never keeps a long one's room.
- **One thread for the passes**: a levelling loop over 10^7 warm samples takes 4.1-5.0 ms on two threads against 4.3-4.6 ms on one; the memory bus, not the core, is the limit, and splitting would need sample arrays that grow without being zero-filled.
- **Drawing**: the level summary takes about one byte per sample. On a surface that lights whole device pixels (the raster surface), the samples of a pixel column are found by galloping and halving over the wavelength scale (column positions never decrease along the drawing order) and their levels in the summary; samples wider than a pixel are drawn segment by segment. Surfaces that draw at their own resolution (the display list alone, a painter) get every segment. A curve therefore emits a few lines per pixel column whatever its length. The tests compare the picture drawn from the summary with every segment drawn by a 1-pixel QPainter pen at dense, sparse, mixed and offset views, with missing stretches, single and alternate missing samples, reversed and log-linear scales, at 72, 96 and 192 dpi.
- **Handing lines over**: the renderer hands a curve's lines to the surface 512 at a time (frame, grid and ticks go line by line). The raster surface merges the lines of one colour that fall in one pixel column and lights the same pixels as a 1-pixel non-antialiased QPainter pen (tested at four scales, sparse and dense); a line that starts where the last ended converts only its new coordinate, and once 16 lines have met in one column the surface works out the column's exact edges and later lines there only widen a float extent, converted when the column is left. The display list keeps a line that starts where the last ended, in the same colour, horizontal or vertical, as its new coordinate only (5 bytes instead of 20), and replays in blocks of 256 lines. Its size follows the window's pixels, not the samples.
"""


def read_json_lines(path):
    if not os.path.exists(path):
        return None
    with open(path) as f:
        lines = [line for line in f if line.strip().startswith("{")]
    return json.loads(lines[-1]) if lines else None


def read_key_values(path):
    """Lines like "map_ms=12.3 rss_kb=456" -> list of dicts of floats."""
    if not os.path.exists(path):
        return []
    rows = []
    with open(path) as f:
        for line in f:
            pairs = re.findall(r"(\w+)=([-\d.]+)", line)
            if pairs:
                rows.append({k: float(v) for k, v in pairs})
    return rows


# Options that Google Benchmark appends to a name are not part of it.
NAME_OPTIONS = r"/(iterations:\d+|repeats:\d+|real_time|min_time:[\d.]+s?)"


def bare_name(name):
    return re.sub(NAME_OPTIONS, "", name)


def listed(path):
    """The benchmark names a binary's --benchmark_list_tests printed, in its
    order; None when the binary was not there."""
    if not os.path.exists(path):
        return None
    with open(path) as f:
        return [line.strip() for line in f if line.strip() and not re.search(r"\s", line.strip())]


def listed_names(path):
    """The same without the options appended to the names."""
    names = listed(path)
    return None if names is None else [bare_name(name) for name in names]


def benchmarks(results, side="now"):
    """{binary: [(name, real ms, extra counters)]}, each binary's benchmarks in
    its own order, and the run's context, from the Google Benchmark JSON files
    in RESULTS/SIDE (BINARY.rROUND.FAMILY.json, one per round and family).
    A benchmark's figure is the median of all its repetitions over every
    round (a passing load on a shared machine moves one repetition, not the
    median); its counters come from its first repetition. Also returns
    every repetition, {(binary, name): {"real": [ms...], "cpu": [ms...],
    "extra": counters}}."""
    found, context, runs = {}, {}, {}
    first_date = None
    for path in sorted(glob.glob(os.path.join(results, side, "*.json"))):
        binary = os.path.basename(path).split(".")[0]
        try:
            with open(path) as f:
                data = json.load(f)
        except (OSError, ValueError):
            continue  # a binary that failed part way leaves a broken file
        date = data.get("context", {}).get("date", "")
        if first_date is None or date < first_date:
            first_date, context = date, dict(data.get("context", {}))
        for b in data.get("benchmarks", []):
            if b.get("run_type") == "aggregate" or b.get("error_occurred"):
                continue
            name = bare_name(b.get("run_name", b["name"]))
            unit = UNIT_MS[b.get("time_unit", "ns")]
            entry = runs.setdefault((binary, name), {"real": [], "cpu": [], "extra": None})
            entry["real"].append(b["real_time"] * unit)
            entry["cpu"].append(b["cpu_time"] * unit)
            if entry["extra"] is None:
                entry["extra"] = {k: v for k, v in b.items() if k not in (
                    "name", "run_name", "run_type", "repetitions", "repetition_index", "threads",
                    "iterations", "real_time", "cpu_time", "time_unit", "family_index",
                    "per_family_instance_index", "aggregate_name", "label")}
    for binary in sorted({binary for binary, _ in runs}):
        order = listed_names(os.path.join(results, side, binary + ".list")) or []
        names = [name for b, name in runs if b == binary]
        names.sort(key=lambda name: (order.index(name) if name in order else len(order), name))
        found[binary] = [(name, statistics.median(runs[binary, name]["real"]), runs[binary, name]["extra"])
                         for name in names]
    context["repetitions"] = max((len(entry["real"]) for entry in runs.values()), default=1)
    return found, context, runs


def pick(found, binary_pattern, name_pattern):
    """The first benchmark whose binary and name match, as (label, ms)."""
    for binary, rows in found.items():
        if not re.search(binary_pattern, binary):
            continue
        for name, ms, _ in rows:
            if re.search(name_pattern, name):
                return f"{binary} {name}", ms
    return None, None


def fmt_ms(ms):
    if ms is None:
        return "not measured"
    if ms < 0.1:
        return f"{ms * 1000:.1f} µs"
    if ms < 10:
        return f"{ms:.2f} ms"
    return f"{ms:.1f} ms"


def fmt_kb(kb):
    return "not measured" if kb is None else f"{kb / 1024:.1f} MiB"


def verdict(ok):
    return "not measured" if ok is None else ("met" if ok else "**missed**")


SCALING_SIZES = (1_000, 10_000, 100_000, 1_000_000, 10_000_000)
READ_FACTOR = 3.0            # load at most 3 x the plain read ...
NS_PER_SAMPLE = 5.0          # ... plus 5 ns a sample
ASTROPY_RATIO = 5.0          # at least 5 x faster than astropy at 10^6 and 10^7
REDRAW_TEN_MILLION_MS = 10.0
REDRAW_SIXTEEN_MILLION_MS = 16.0
OPEN_TEN_MILLION_MS = 100.0
RSS_TEN_MILLION_MIB = 250.0


def read_all_json_lines(path):
    if not os.path.exists(path):
        return []
    with open(path) as f:
        return [json.loads(line) for line in f if line.strip().startswith("{")]


def scaling_section(results, found):
    """The scaling table (load, full and zoomed redraw, memory; Quillon and
    the peer side by side) and its targets, as lines of Markdown, and the
    verdicts as (work, verdict) pairs."""
    def bench(binary, name):
        return pick(found, "^" + binary + "$", "^" + re.escape(name) + "$")[1]

    def counter(binary, name, key):
        for b, rows in found.items():
            if b == binary:
                for n, _, extra in rows:
                    if n == name:
                        return extra.get(key)
        return None

    peer_loads = {row["samples"]: row["ms"] for row in read_all_json_lines(os.path.join(results, "peer_load_scaling.json"))}
    cases = [(n, 1) for n in SCALING_SIZES] + [(1_000_000, 16)]
    lines, verdicts = [], []
    w = lines.append
    w("## Scaling")
    w("")
    w("One spectrum of 10^3 to 10^7 samples, and 16 of 10^6, at a plot area of 1000 × 600 pixels. "
      "Load: `fits_load_bench BM_LoadScaling/n` (the whole loader on a file of n float samples from the page "
      "cache, loaded again into the same slot as a user reloads it; `BM_FirstLoadScaling/n`, the first load "
      "into a program that has loaded nothing, is shown beside it) beside `BM_PlainRead/n` (the same file opened and its bytes read into a buffer that stays "
      "allocated, nothing decoded: the limit), and the peer's astropy load of a file of the same size. "
      "Redraw: `render_bench BM_RedrawScaling/n` and `BM_RedrawScalingZoomed/n` (the drawing recorded and "
      "rasterised as the plot window does, the whole range and zoomed to an eighth of it); the peer redraws "
      "its existing figure (`canvas.draw()`, then again after `set_xlim` to the same eighth). Memory: peak "
      "resident memory of `quillon-render` loading the files and drawing them in its plot window "
      "(client area about 1000 × 600 pixels), and of the peer loading and drawing them with matplotlib Agg "
      "at 1000 × 600 pixels.")
    w("")
    w("| Samples | Quillon load | first load | Plain read | Load limit | astropy load | Ratio | Quillon redraw | "
      "zoomed | Peer redraw | zoomed | Display list | Quillon memory | Peer memory |")
    w("|---|---|---|---|---|---|---|---|---|---|---|---|---|---|")
    for n, k in cases:
        label = f"{n:,}" if k == 1 else f"16 × {n:,}"
        load = bench("fits_load_bench", f"BM_LoadScaling/{n}") if k == 1 else None
        first_load = bench("fits_load_bench", f"BM_FirstLoadScaling/{n}") if k == 1 else None
        read = bench("fits_load_bench", f"BM_PlainRead/{n}") if k == 1 else None
        limit = READ_FACTOR * read + NS_PER_SAMPLE * n * 1e-6 if read is not None else None
        peer_load = peer_loads.get(n) if k == 1 else None
        ratio = peer_load / load if peer_load and load else None
        if k == 1:
            redraw = bench("render_bench", f"BM_RedrawScaling/{n}")
            zoomed = bench("render_bench", f"BM_RedrawScalingZoomed/{n}")
            list_bytes = counter("render_bench", f"BM_RedrawScaling/{n}", "list_bytes")
        else:
            redraw = bench("render_bench", "BM_RedrawSixteenMillion")
            zoomed = bench("render_bench", "BM_RedrawSixteenMillionZoomed")
            list_bytes = counter("render_bench", "BM_RedrawSixteenMillion", "list_bytes")
        peer = read_json_lines(os.path.join(results, f"peer_redraw_{n}x{k}.json")) or {}
        q_rss = (read_json_lines(os.path.join(results, f"quillon_rss_{n}x{k}.json")) or {}).get("maxrss_kb")
        p_rss = (read_json_lines(os.path.join(results, f"peer_rss_{n}x{k}.json")) or {}).get("maxrss_kb")
        w(f"| {label} | {fmt_ms(load) if k == 1 else '—'} | {fmt_ms(first_load) if k == 1 else '—'} | "
          f"{fmt_ms(read) if k == 1 else '—'} | "
          f"{fmt_ms(limit) if k == 1 else '—'} | {fmt_ms(peer_load) if k == 1 else '—'} | "
          f"{'—' if ratio is None else f'{ratio:.1f}×'} | {fmt_ms(redraw)} | {fmt_ms(zoomed)} | "
          f"{fmt_ms(peer.get('ms'))} | {fmt_ms(peer.get('zoomed_ms'))} | "
          f"{'—' if list_bytes is None else f'{list_bytes / 1024:.0f} KiB'} | {fmt_kb(q_rss)} | {fmt_kb(p_rss)} |")
        if k == 1:
            verdicts.append((f"Load of {n:,} samples within 3 × the read + 5 ns a sample",
                             None if load is None or limit is None else load <= limit))
            if n >= 1_000_000:
                verdicts.append((f"Load of {n:,} samples at least 5 × faster than astropy",
                                 None if ratio is None else ratio >= ASTROPY_RATIO))
        if (n, k) == (10_000_000, 1):
            for what, ms in (("Full redraw", redraw), ("Zoomed redraw", zoomed)):
                verdicts.append((f"{what} of 10,000,000 samples under {REDRAW_TEN_MILLION_MS:.0f} ms",
                                 None if ms is None else ms < REDRAW_TEN_MILLION_MS))
        if k == 16:
            for what, ms in (("Full redraw", redraw), ("Zoomed redraw", zoomed)):
                verdicts.append((f"{what} of 16 × 1,000,000 samples under {REDRAW_SIXTEEN_MILLION_MS:.0f} ms",
                                 None if ms is None else ms < REDRAW_SIXTEEN_MILLION_MS))
    open_ms = bench("app_load_bench", "BM_PlotWindow_FirstOpenTenMillion")
    open_rss = counter("app_load_bench", "BM_PlotWindow_FirstOpenTenMillion", "rss_mib")
    w("")
    w(f"- **Plot window with 10,000,000 samples**: `app_load_bench BM_PlotWindow_FirstOpenTenMillion`, the whole "
      "program (offscreen) with one loaded spectrum of 10,000,000 samples: from the click on Plot Spectra to "
      f"the first frame painted, the window created: {fmt_ms(open_ms)} (median of 3 fresh programs); resident "
      f"memory of the program with the window open at a client area of 1000 × 600 pixels and the spectrum "
      f"drawn: {'not measured' if open_rss is None else f'{open_rss:.0f} MiB'}.")
    verdicts.append((f"Plot window opens with 10,000,000 samples under {OPEN_TEN_MILLION_MS:.0f} ms",
                     None if open_ms is None else open_ms < OPEN_TEN_MILLION_MS))
    verdicts.append((f"Memory with 10,000,000 samples drawn under {RSS_TEN_MILLION_MIB:.0f} MiB",
                     None if open_rss is None else open_rss < RSS_TEN_MILLION_MIB))
    fresh_ms = bench("fits_load_bench", "BM_FreshArrays/10000000")
    peer_ten_million = peer_loads.get(10_000_000)
    if fresh_ms is not None:
        goal = f" (5 × faster than astropy's load would be {fmt_ms(peer_ten_million / ASTROPY_RATIO)})" \
            if peer_ten_million else ""
        w(f"- **New memory for 10,000,000 samples**: `fits_load_bench BM_FreshArrays/10000000`, the system "
          "providing, clearing and taking back the pages of the two arrays a load keeps (samples and levelled "
          "samples, 160 MB) and one write of each element, on one thread: "
          f"{fmt_ms(fresh_ms)}{goal}. A load of this size takes new arrays every time (a spectrum's replaced "
          "arrays are kept for the next load only up to 4 M samples, so that the program never holds a very "
          "long spectrum twice), so this is the floor of its load on one core, before a byte of the file is read.")
    loads = []
    for which in ("start", "end"):
        path = os.path.join(results, f"loadavg_{which}.txt")
        if os.path.exists(path):
            loads.append(f"{which} of the run: " + " / ".join(open(path).read().split()[:3]))
    if loads:
        w(f"- **Load average** ({'; '.join(loads)}): the machine is shared, so the times carry that load.")
    w("")
    w("| Scaling target | |")
    w("|---|---|")
    for what, ok in verdicts:
        w(f"| {what} | {verdict(ok)} |")
    w("")
    return lines, verdicts


TABLE_PEER_RATIO = 10.0      # a table or extension spectrum at least 10 x faster than the peers
LIST_MS = 5.0                # --list of an echelle table or a coadd under 5 ms
TABLE_FILES = (("rows", "a table with a row per sample (WAVE D, FLUX D, IVAR E, MASK J)"),
               ("arraycell", "a one-row table of 10^6-element array cells (WAVE D, FLUX D, ERR E)"),
               ("image", "a 1-D image extension with its own WCS (CRVAL1, CDELT1, CUNIT1)"))


def tables_section(results, found):
    """Spectra read from binary tables and image extensions: the load against
    the plain read of the file, 10^3 to 10^7 rows; the same files loaded by
    Quillon, astropy and specutils; the listing of an echelle table and a
    coadd. Lines of Markdown and the verdicts as (work, verdict) pairs."""
    def bench(name):
        return pick(found, "^table_bench$", "^" + re.escape(name) + "$")[1]

    lines, verdicts = [], []
    w = lines.append
    w("## Spectra from tables and extensions")
    w("")
    w("Load: `table_bench BM_SpectrumFromTable/n`, the whole read of `file.fits[COADD]` as the viewer reads "
      "an address (the HDU walk, the table's columns by role, the inverse variance turned into σ and the "
      "flags applied, the level, the levelled values and their summary) from an n-row table of WAVE 1D, FLUX "
      "1D, IVAR 1E, MASK 1J (24 bytes a row) in the page cache, beside `BM_PlainRead/n` (the file's bytes "
      "read into a buffer that stays allocated: the floor of any reader of it).")
    w("")
    w("| Rows (samples) | Load | Plain read | Limit: 3 × read + 5 ns a sample | |")
    w("|---|---|---|---|---|")
    for n in SCALING_SIZES:
        load = bench(f"BM_SpectrumFromTable/{n}")
        read = bench(f"BM_PlainRead/{n}")
        limit = READ_FACTOR * read + NS_PER_SAMPLE * n * 1e-6 if read is not None else None
        ok = None if load is None or limit is None else load <= limit
        w(f"| {n:,} | {fmt_ms(load)} | {fmt_ms(read)} | {fmt_ms(limit)} | {verdict(ok)} |")
        verdicts.append((f"Table spectrum of {n:,} samples within 3 × the read + 5 ns a sample", ok))
    w("")
    w("Against the peers: the same three files of 10^6 samples (written by `bench/python_peer.py make-tables`), "
      "read by Quillon (`table_bench BM_PeerFile/KIND`, `ReadSpectrumAt(\"file.fits[1]\")`), by astropy "
      "(`fits.open` without a memory map, the spectrum's columns as float64, the flags applied, the level: "
      "the median of the 50-sample block maxima, and the levelled values) and by specutils "
      "(`Spectrum1D.read(file, format=\"tabular-fits\" or \"wcs1d-fits\", hdu=1)`), in the same run; "
      "the ratios are the peer's time divided by Quillon's. Plain read: `BM_PeerPlainRead/KIND`, the same file's "
      "bytes read whole, which no reader of the file can go below; the last column is the time 10 × faster than "
      "the faster peer would take, against it.")
    w("")
    w("| File | Quillon | Plain read | astropy | Ratio | specutils | Ratio | 10 × faster than the faster peer | |")
    w("|---|---|---|---|---|---|---|---|---|")
    peers = {row["file"]: row for row in read_all_json_lines(os.path.join(results, "peer_load_tables.json"))}
    for kind, what in TABLE_FILES:
        ours = bench(f"BM_PeerFile/{kind}")
        row = peers.get(kind, {})
        astropy_ms = row.get("astropy", {}).get("ms")
        spec = row.get("specutils", {})
        spec_ms = spec.get("ms")
        a_ratio = astropy_ms / ours if astropy_ms and ours else None
        s_ratio = spec_ms / ours if spec_ms and ours else None
        spec_text = fmt_ms(spec_ms) if spec_ms else ("does not read it" if "error" in spec else "not measured")
        ratios = [r for r in (a_ratio, s_ratio) if r is not None]
        ok = None if ours is None or not ratios else min(ratios) >= TABLE_PEER_RATIO
        plain = bench(f"BM_PeerPlainRead/{kind}")
        fastest = min([ms for ms in (astropy_ms, spec_ms) if ms], default=None)
        goal = fastest / TABLE_PEER_RATIO if fastest else None
        goal_text = fmt_ms(goal) + ("" if goal is None or plain is None else
                                    f" ({goal / plain:.1f} × the plain read)")
        w(f"| {what} | {fmt_ms(ours)} | {fmt_ms(plain)} | {fmt_ms(astropy_ms)} | "
          f"{'—' if a_ratio is None else f'{a_ratio:.1f}×'} | "
          f"{spec_text} | {'—' if s_ratio is None else f'{s_ratio:.1f}×'} | {goal_text} | {verdict(ok)} |")
        verdicts.append((f"Table spectrum ({kind}) at least {TABLE_PEER_RATIO:.0f} × faster than the peers", ok))
    errors = [f"{kind}: {row['specutils']['error']}" for kind, row in peers.items() if "error" in row.get("specutils", {})]
    if errors:
        w("")
        w("specutils refuses: " + "; ".join(f"`{e}`" for e in errors) + ".")
    w("")
    echelle = bench("BM_ListEchelle")
    coadd = bench("BM_ListCoadd")
    w(f"- **Listing**: `table_bench BM_ListEchelle`, `ListSpectra` (what `quillon-inspect --list` prints) of a "
      f"40-row echelle table of 1024-element WAVELENGTH, FLUX, ERROR, DQ cells with NELEM: {fmt_ms(echelle)}; "
      f"`BM_ListCoadd`, of a DESI-like coadd of 5 targets (B_, R_, Z_ WAVELENGTH, FLUX, IVAR, MASK images): "
      f"{fmt_ms(coadd)}.")
    verdicts.append((f"List of a 40-row echelle table under {LIST_MS:.0f} ms",
                     None if echelle is None else echelle < LIST_MS))
    verdicts.append((f"List of a 5-target coadd under {LIST_MS:.0f} ms", None if coadd is None else coadd < LIST_MS))
    w("")
    w("| Tables target | |")
    w("|---|---|")
    for what, ok in verdicts:
        w(f"| {what} | {verdict(ok)} |")
    w("")
    return lines, verdicts


def echelles_section(found):
    """IRAF multispec echelles (listing, one aperture, the dispersion
    functions per sample), spectra drawn at a wavelength per sample against
    the same samples on a scale, and a whole echelle in one slot. Lines of
    Markdown and the verdicts as (work, verdict) pairs."""
    def bench(binary, name):
        return pick(found, "^" + binary + "$", "^" + re.escape(name) + "$")[1]

    def counter(binary, name, key):
        return next((extra.get(key) for b, rows in found.items() if b == binary
                     for n, _, extra in rows if n == name), None)

    lines, verdicts = [], []
    w = lines.append
    w("## Echelles and per-sample wavelengths")
    w("")
    listing = bench("multispec_bench", "BM_ListEchelle")
    aperture = bench("multispec_bench", "BM_LoadAperture")
    w(f"- **An IRAF multispec echelle of 107 apertures × 2048 samples** (Chebyshev dispersions in about 200 "
      f"WAT2 cards): listed (`multispec_bench BM_ListEchelle`, what `quillon-inspect --list` prints) in "
      f"{fmt_ms(listing)}; one aperture loaded (`BM_LoadAperture`, `file.fits[ap 160]`) in {fmt_ms(aperture)}.")
    verdicts.append((f"List of a 107-aperture echelle under {LIST_MS:.0f} ms",
                     None if listing is None else listing < LIST_MS))
    verdicts.append((f"One aperture of it loaded under {LIST_MS:.0f} ms",
                     None if aperture is None else aperture < LIST_MS))
    names = {1: "Chebyshev", 2: "Legendre", 3: "cubic spline", 4: "linear spline", 5: "pixel array",
             6: "(pixel, coordinate) pairs"}
    w("")
    w("| Dispersion function (`BM_Dispersion/ftype`) | Per sample | |")
    w("|---|---|---|")
    for ftype, what in names.items():
        per = counter("multispec_bench", f"BM_Dispersion/{ftype}", "sec_per_sample")
        ns = None if per is None else per * 1e9
        ok = None if ns is None else ns <= 10
        w(f"| {what} | {'not measured' if ns is None else f'{ns:.1f} ns'} | {verdict(ok)} |")
        verdicts.append((f"{what.capitalize()} dispersion at most 10 ns a sample", ok))
    w("")
    w("Redraws at 1000 × 600 pixels (recorded and rasterised as the plot window does): a spectrum with a "
      "wavelength per sample (`render_bench BM_RedrawScalingPerSample/n`, as a table gives it) beside the "
      "same samples on a scale (`BM_RedrawScaling/n`).")
    w("")
    w("| Samples | On a scale | Per sample | Zoomed: on a scale | Zoomed: per sample |")
    w("|---|---|---|---|---|")
    for n in (1000, 100000, 10000000):
        w(f"| {n:,} | {fmt_ms(bench('render_bench', f'BM_RedrawScaling/{n}'))} | "
          f"{fmt_ms(bench('render_bench', f'BM_RedrawScalingPerSample/{n}'))} | "
          f"{fmt_ms(bench('render_bench', f'BM_RedrawScalingZoomed/{n}'))} | "
          f"{fmt_ms(bench('render_bench', f'BM_RedrawScalingPerSampleZoomed/{n}'))} |")
    whole = bench("render_bench", "BM_RedrawWholeEchelle")
    w("")
    w(f"- **A whole echelle in one slot** (`render_bench BM_RedrawWholeEchelle`: 107 orders × 2048 samples, "
      f"each order a stretch of its own, overlapping its neighbours): {fmt_ms(whole)} a redraw.")
    verdicts.append(("Redraw of a whole 107 × 2048 echelle under 2 ms", None if whole is None else whole < 2))
    w("")
    w("| Echelles target | |")
    w("|---|---|")
    for what, ok in verdicts:
        w(f"| {what} | {verdict(ok)} |")
    w("")
    return lines, verdicts


# ---- The present benchmarks against those of an earlier commit (REV) --------

WITHIN = 0.05  # loads and redraws are expected within 5% of REV's


def family(name):
    return name.split("/")[0]


def ere_alternatives(names):
    """An anchored POSIX extended regular expression (Google Benchmark's
    --benchmark_filter) matching exactly these names."""
    special = set(".[]()*+?^$|\\{}")
    return "^(" + "|".join("".join("\\" + c if c in special else c for c in n) for n in names) + ")$"


def plan(now_list, base_list):
    """Lines FAMILY<TAB>NOW_FILTER<TAB>BASE_FILTER ("-" for none), one per
    family of the present binary and in its order: the present binary runs
    all of its benchmarks, REV's those whose name both have."""
    now, base = listed(now_list) or [], listed(base_list) or []
    common = {bare_name(n) for n in now} & {bare_name(n) for n in base}
    for fam in dict.fromkeys(family(bare_name(n)) for n in now):
        now_names = [n for n in now if family(bare_name(n)) == fam]
        base_names = [n for n in base if family(bare_name(n)) == fam and bare_name(n) in common]
        print(f"{fam}\t{ere_alternatives(now_names)}\t{ere_alternatives(base_names) if base_names else '-'}")


def read_fields(path):
    if not os.path.exists(path):
        return {}
    with open(path) as f:
        return dict(re.findall(r"^(\w+)=(.*)$", f.read(), re.M))


def spread(values):
    """Interquartile range over the median: how far the repetitions scatter."""
    if len(values) < 2:
        return None
    q1, _, q3 = statistics.quantiles(values, n=4, method="inclusive")
    return (q3 - q1) / statistics.median(values)


def comparison(results):
    """The benchmarks both REV's binaries and the present ones have, as dicts
    (binary, name, base, now in ms, ratio, cpu_ratio, noise, verdict), in the
    present binaries' order; and the names that only one side has, as
    {"base": [(binary, name)], "now": [...]}. None when no REV was timed."""
    base_dir = os.path.join(results, "base")
    if not os.path.isdir(base_dir):
        return None, None
    _, _, now_runs = benchmarks(results, "now")
    _, _, base_runs = benchmarks(results, "base")
    binaries = sorted({os.path.basename(p)[:-len(".list")] for side in ("now", "base")
                       for p in glob.glob(os.path.join(results, side, "*.list"))})
    rows, only = [], {"base": [], "now": []}
    for binary in binaries:
        now_names = listed_names(os.path.join(results, "now", binary + ".list")) or []
        base_names = listed_names(os.path.join(results, "base", binary + ".list")) or []
        only["now"] += [(binary, n) for n in now_names if n not in base_names]
        only["base"] += [(binary, n) for n in base_names if n not in now_names]
        for name in now_names:
            if name not in base_names:
                continue
            now, base = now_runs.get((binary, name)), base_runs.get((binary, name))
            row = {"binary": binary, "name": name, "base": None, "now": None, "ratio": None,
                   "cpu_ratio": None, "noise": None, "verdict": "not measured", "noisy": False}
            if now and base:
                row["now"], row["base"] = statistics.median(now["real"]), statistics.median(base["real"])
                row["ratio"] = row["now"] / row["base"] if row["base"] else None
                cpu_base = statistics.median(base["cpu"])
                row["cpu_ratio"] = statistics.median(now["cpu"]) / cpu_base if cpu_base else None
                noises = [x for x in (spread(now["real"]), spread(base["real"])) if x is not None]
                row["noise"] = max(noises) if noises else None
                if row["ratio"] is not None:
                    row["verdict"] = ("within 5%" if abs(row["ratio"] - 1) <= WITHIN
                                      else "faster" if row["ratio"] < 1 else "slower")
                    row["noisy"] = row["noise"] is not None and row["noise"] > WITHIN
            rows.append(row)
    return rows, only


def base_label(results):
    """REV as the user named it and the commit it is, e.g. "HEAD~1 (abc1234)"."""
    fields = read_fields(os.path.join(results, "base.txt"))
    if not fields:
        return "REV", ""
    label = fields.get("requested", fields.get("commit", "REV"))
    if fields.get("commit") and fields["commit"] != label:
        label += f" ({fields['commit']})"
    details = f"{fields.get('date', '?')}, \"{fields.get('subject', '')}\""
    return label, details


def fmt_factor(x, pattern):
    return "—" if x is None else format(x, pattern)


def fmt_percent(x):
    return "—" if x is None else f"{100 * x:.0f}%"


def comparison_counts(rows):
    return {v: sum(1 for r in rows if r["verdict"] == v)
            for v in ("within 5%", "faster", "slower", "not measured")}


def comparison_text(results):
    """The comparison as plain text for the terminal."""
    rows, only = comparison(results)
    if rows is None:
        return "No earlier commit was timed."
    label, details = base_label(results)
    now = read_fields(os.path.join(results, "now.txt"))
    now_label = "the working tree at " + now.get("commit", "?") + (
        " with uncommitted changes" if now.get("uncommitted") == "yes" else "")
    out = [f"Present benchmarks ({now_label}) against REV = {label}, {details}.",
           "Times are medians of every repetition over the alternating rounds (real time); "
           "CPU is the same ratio on CPU time; noise is the larger interquartile range over the median "
           "of the two sides. Where the noise is wide (a busy machine), the CPU ratio, which leaves out "
           "the time spent waiting for a core, is the steadier guide for work on one thread.", ""]
    width = max([len(f"{r['binary']} {r['name']}") for r in rows] + [9])
    out.append(f"{'Benchmark':<{width}}  {'REV':>10}  {'Now':>10}  {'Now/REV':>7}  {'CPU':>5}  {'Noise':>5}  Verdict")
    for r in rows:
        verdict = (r["verdict"].upper() if r["verdict"] == "slower" else r["verdict"]) + (
            " (noisy)" if r["noisy"] else "")
        out.append(f"{r['binary'] + ' ' + r['name']:<{width}}  {fmt_ms(r['base']):>10}  {fmt_ms(r['now']):>10}  "
                   f"{fmt_factor(r['ratio'], '.3f'):>7}  {fmt_factor(r['cpu_ratio'], '.2f'):>5}  "
                   f"{fmt_percent(r['noise']):>5}  {verdict}")
    counts = comparison_counts(rows)
    out.append("")
    out.append(", ".join(f"{n} {v}" for v, n in counts.items() if n) + f" (of {len(rows)}); "
               f"{sum(r['noisy'] for r in rows)} of them noisy.")
    for side, text in (("base", "Only in REV (not timed)"), ("now", "Only in the present tree")):
        if only[side]:
            out.append(f"{text}: " + ", ".join(f"{b} {n}" for b, n in only[side]) + ".")
    return "\n".join(out)


def comparison_section(results):
    """The comparison as lines of Markdown (nothing when no REV was timed)."""
    rows, only = comparison(results)
    if rows is None:
        return []
    label, details = base_label(results)
    lines = []
    w = lines.append
    w(f"## Against an earlier commit: {label}")
    w("")
    w(f"The present benchmarks against the same benchmarks of REV = {label} ({details}), whose binaries "
      "`scripts/bench --base` builds in a temporary git worktree. The two sides run alternately, "
      "family by family, in several rounds, so the load of the machine falls on both alike; each time is "
      "the median of every repetition of every round (real time). CPU is the same ratio on CPU time, "
      "noise the larger interquartile range over the median of the two sides. "
      f"Loads and redraws are expected within {WITHIN:.0%} of REV; a verdict is marked noisy where the "
      f"noise is wider than that, and there the CPU ratio, which leaves out the time spent waiting for a "
      f"core, is the steadier guide for work on one thread.")
    w("")
    w("| Binary | Benchmark | REV | Now | Now ÷ REV | CPU | Noise | |")
    w("|---|---|---|---|---|---|---|---|")
    for r in rows:
        verdict = ("**slower**" if r["verdict"] == "slower" else r["verdict"]) + (" (noisy)" if r["noisy"] else "")
        w(f"| {r['binary']} | `{r['name']}` | {fmt_ms(r['base'])} | {fmt_ms(r['now'])} | "
          f"{fmt_factor(r['ratio'], '.2f')} | {fmt_factor(r['cpu_ratio'], '.2f')} | {fmt_percent(r['noise'])} | "
          f"{verdict} |")
    w("")
    counts = comparison_counts(rows)
    w("In this run: " + ", ".join(f"{n} {v}" for v, n in counts.items() if n) + f" (of {len(rows)}); "
      f"{sum(r['noisy'] for r in rows)} of them noisy.")
    for side, text in (("base", "Only in REV (not timed)"), ("now", "Only in the present tree")):
        if only[side]:
            w("")
            w(f"{text}: " + ", ".join(f"`{b} {n}`" for b, n in only[side]) + ".")
    w("")
    return lines


def git_commit():
    try:
        return subprocess.run(["git", "rev-parse", "--short", "HEAD"], capture_output=True, text=True,
                              cwd=os.path.dirname(os.path.abspath(__file__))).stdout.strip()
    except OSError:
        return "unknown"


def replace_tables_section(results, output):
    """Puts a fresh section on spectra from tables and extensions into the
    report OUTPUT in place of the one it has (or before "## How each figure
    is measured"), leaving the rest of the report as it was."""
    found, context, _ = benchmarks(results)
    lines, _ = tables_section(results, found)
    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    load_avg = context.get("load_avg")
    lines[1:1] = ["", f"Measured by `scripts/bench --tables` on {now} (commit {git_commit()}), Release build"
                  + (", load average " + " / ".join(f"{v:.2f}" for v in load_avg) + " at the start"
                     if load_avg else "")
                  + (f"; each figure is the median of {context['repetitions']} repetitions"
                     if context.get("repetitions", 1) > 1 else "") + "."]
    text = open(output).read().split("\n") if os.path.exists(output) else ["# Quillon performance report", ""]
    echelles, _ = echelles_section(found)
    for section in (lines, echelles):
        title = section[0]
        if title in text:
            start = text.index(title)
            end = next((i for i in range(start + 1, len(text)) if text[i].startswith("## ")), len(text))
            text[start:end] = section
        else:
            anchor = "## How each figure is measured"
            at = text.index(anchor) if anchor in text else len(text)
            text[at:at] = section
    with open(output, "w") as f:
        f.write("\n".join(text))


def main(argv):
    if len(argv) == 4 and argv[1] == "tables":
        replace_tables_section(argv[2], argv[3])
        return 0
    if len(argv) == 4 and argv[1] == "plan":
        plan(argv[2], argv[3])
        return 0
    if len(argv) == 3 and argv[1] == "compare":
        print(comparison_text(argv[2]))
        return 0
    if len(argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    results, output = argv[1], argv[2]
    found, context, _ = benchmarks(results)

    # The peer's file holds float32 samples (BITPIX -32), so that is the
    # figure compared; the other BITPIX values are listed beside it.
    load_label, load_ms = pick(found, r"^fits_load_bench$", r"^BM_LoadFitsSpectrum/-32$")
    load_by_bitpix = [(name.split("/")[-1], ms) for binary, rows in found.items()
                      if binary == "fits_load_bench" for name, ms, _ in rows
                      if name.startswith("BM_LoadFitsSpectrum/")]
    _, load_memory_ms = pick(found, r"^fits_load_bench$", r"^BM_LoadFromMemory/-32$")
    # What the plot window does on every change: record the drawing and
    # rasterise it into its buffer as it is made.
    redraw_label, redraw_ms = pick(found, r"render", r"^BM_FullRedraw_RecordWhileRasterising$")
    _, replay_ms = pick(found, r"render", r"^BM_FullRedraw_RecordAndReplay$")
    # One 1,000,000-sample spectrum through the real plot window, and the
    # same drawing on the bare surfaces.
    million_label, million_ms = pick(found, r"^app_load_bench$", r"^BM_PlotWindow_MillionSamples$")
    _, million_surface_ms = pick(found, r"render", r"^BM_MillionSamples_RecordWhileRasterising$")
    _, million_spans_ms = pick(found, r"render", r"^BM_MillionSamples_Spans$")
    _, million_replay_ms = pick(found, r"render", r"^BM_MillionSamples_RecordAndReplay$")
    million_segments = next((extra.get("segments") for binary, rows in found.items() for name, _, extra in rows
                             if name == "BM_PlotWindow_MillionSamples"), None)

    peer_load = read_json_lines(os.path.join(results, "peer_load.json"))
    peer_draw16 = read_json_lines(os.path.join(results, "peer_draw16.json"))
    peer_draw1m = read_json_lines(os.path.join(results, "peer_draw1m.json"))
    peer_load_ms = peer_load and peer_load["ms"]
    peer_draw16_ms = peer_draw16 and peer_draw16["ms"]
    peer_draw1m_ms = peer_draw1m and peer_draw1m["ms"]

    # Start-up runs to the first painted frame where the X server reports
    # drawing (DAMAGE), else to the window's mapping.
    def starts(name):
        rows = read_key_values(os.path.join(results, name))
        return [r.get("paint_ms", r["map_ms"]) for r in rows], all("paint_ms" in r for r in rows) and bool(rows)
    start_q, painted_q = starts("startup_quillon.txt")
    start_p, painted_p = starts("startup_peer.txt")
    start_q_ms = statistics.median(start_q) if start_q else None
    start_p_ms = statistics.median(start_p) if start_p else None

    rss_app = read_key_values(os.path.join(results, "rss_quillon.txt"))
    rss_app_kb = rss_app[0].get("rss_kb") if rss_app else None
    rss_tool = read_json_lines(os.path.join(results, "rss_render_tool.json"))
    rss_tool_kb = rss_tool and rss_tool["maxrss_kb"]
    rss_peer = read_json_lines(os.path.join(results, "rss_peer.json"))
    rss_peer_kb = rss_peer and rss_peer["maxrss_kb"]
    rss_peer_win = read_key_values(os.path.join(results, "rss_peer_window.txt"))
    rss_peer_win_kb = rss_peer_win[0].get("rss_kb") if rss_peer_win else None

    # The program that start-up and memory were measured on (scripts/bench
    # writes the last change to app/).
    app_text = ""
    app_path = os.path.join(results, "app.txt")
    if os.path.exists(app_path):
        fields = dict(re.findall(r"^(\w+)=(.*)$", open(app_path).read(), re.M))
        if "commit" in fields:
            app_text = (f" The program measured is `app/` as of commit {fields['commit']} ({fields.get('date', '?')}, "
                        f"\"{fields.get('subject', '')}\")"
                        + (" with uncommitted changes" if fields.get("uncommitted") == "yes" else "") + ".")

    tool_ms = None
    tool_path = os.path.join(results, "render_tool.txt")
    if os.path.exists(tool_path):
        m = re.search(r"median full redraw: ([\d.]+) ms over (\d+) runs \((\d+) segments\)", open(tool_path).read())
        if m:
            tool_ms, tool_runs, tool_segments = float(m.group(1)), int(m.group(2)), int(m.group(3))

    def ratio(peer, ours):
        return peer / ours if peer and ours else None

    load_ratio = ratio(peer_load_ms, load_ms)
    redraw_ratio = ratio(peer_draw16_ms, redraw_ms)
    start_ratio = ratio(start_p_ms, start_q_ms)
    rss_worst = max([v for v in (rss_app_kb, rss_tool_kb) if v is not None], default=None)

    def fmt_ratio(r):
        return "—" if r is None else f"{r:.1f}×"

    rows = [
        ("Load a 3000-sample FITS file", fmt_ms(load_ms), fmt_ms(peer_load_ms), fmt_ratio(load_ratio),
         f"≥ {LOAD_RATIO:.0f}× faster", verdict(None if load_ratio is None else load_ratio >= LOAD_RATIO)),
        ("Full redraw, 16 × 3000 samples, 1000 × 600 px", fmt_ms(redraw_ms), fmt_ms(peer_draw16_ms),
         fmt_ratio(redraw_ratio), f"≥ {REDRAW_RATIO:.0f}× faster",
         verdict(None if redraw_ratio is None else redraw_ratio >= REDRAW_RATIO)),
        ("Redraw of one 1,000,000-sample spectrum", fmt_ms(million_ms), fmt_ms(peer_draw1m_ms),
         fmt_ratio(ratio(peer_draw1m_ms, million_ms)), f"< {MILLION_MS:.0f} ms",
         verdict(None if million_ms is None else million_ms < MILLION_MS)),
        ("Start-up to the first painted frame (median)" if painted_q else "Start-up to the first window (median)", fmt_ms(start_q_ms), fmt_ms(start_p_ms), fmt_ratio(start_ratio),
         f"< {STARTUP_MS:.0f} ms", verdict(None if start_q_ms is None else start_q_ms < STARTUP_MS)),
        ("Resident memory, 16 spectra loaded and drawn", fmt_kb(rss_worst), fmt_kb(rss_peer_kb),
         fmt_ratio(ratio(rss_peer_kb, rss_worst)), "< 100 MB",
         verdict(None if rss_worst is None else rss_worst < RSS_KB)),
    ]

    now = datetime.datetime.now(datetime.timezone.utc).strftime("%Y-%m-%d %H:%M UTC")
    cpu = context.get("num_cpus", "?")
    mhz = context.get("mhz_per_cpu", "?")
    load_avg = context.get("load_avg")
    # The machine may be shared: the load at the start of the benchmarks
    # says how far the times can be trusted.
    load_text = (", load average " + " / ".join(f"{v:.2f}" for v in load_avg) + " at the start of the benchmarks"
                 if load_avg else "")
    out = []
    w = out.append
    w("# Quillon performance report")
    w("")
    w(f"Produced by `scripts/bench` on {now} (commit {git_commit()}), Release build, "
      f"{cpu} CPUs at {mhz} MHz as Google Benchmark reports them{load_text}"
      + (f"; each benchmark figure is the median of {context['repetitions']} repetitions"
         if context.get("repetitions", 1) > 1 else "")
      + ". Every figure below "
      "comes from the same run; the ratios are the Python peer's time divided by Quillon's, "
      "so larger is better. Run `scripts/bench` again to refresh this file.")
    w("")
    w("## Against the targets")
    w("")
    w("| Work | Quillon | Python peer | Ratio | Target | |")
    w("|---|---|---|---|---|---|")
    for r in rows:
        w("| " + " | ".join(r) + " |")
    w("")
    scaling_lines, scaling_verdicts = scaling_section(results, found)
    out.extend(scaling_lines)
    table_lines, table_verdicts = tables_section(results, found)
    out.extend(table_lines)
    echelle_lines, echelle_verdicts = echelles_section(found)
    out.extend(echelle_lines)
    table_verdicts = table_verdicts + echelle_verdicts
    scaling_verdicts = scaling_verdicts + table_verdicts
    w("## How each figure is measured")
    w("")
    by_bitpix = ", ".join(f"BITPIX {b}: {fmt_ms(ms)}" for b, ms in load_by_bitpix)
    w(f"- **Load**: `{load_label or 'no load benchmark found'}`, the program's own loader "
      "(`LoadFitsSpectrum` as the file chooser's OK calls it: folder made current, file opened, header "
      "read and checked, samples decoded, wavelength range, level statistics, slot published) on a "
      "3000-sample file of 32-bit floating-point samples, the kind the peer reads. The file is written "
      "once before the runs, so it comes from the page cache."
      + (f" Every BITPIX: {by_bitpix}." if by_bitpix else "")
      + (f" The same bytes from memory, without the file system: {fmt_ms(load_memory_ms)}."
         if load_memory_ms is not None else "")
      + " The peer opens the same kind of file with `astropy.io.fits` (no memory map), takes the header "
      "values, converts the samples to double precision and computes the same level "
      "(median of 50-sample block maxima) and levelled samples with numpy.")
    w(f"- **Full redraw**: `{redraw_label or 'no redraw benchmark found'}`: `RenderPlot` over 16 loaded "
      "slots of 3000 samples, each line recorded in the display list and rasterised into a 1000 × 600-pixel "
      "image as it is drawn, as the plot window does on every change."
      + (f" Rebuilding the picture from the recording alone, as after a change of pixel ratio: "
         f"{fmt_ms(replay_ms)}." if replay_ms is not None else "")
      + " The peer clears a 1000 × 600-pixel matplotlib Agg figure, rebuilds the axes, "
      "grid and 16 `step` curves with their offsets and rasterises it (`canvas.draw()`).")
    if tool_ms is not None:
        w(f"  Through the real plot window offscreen (`quillon-render --repeat {tool_runs}`, "
          f"{tool_segments} segments, including the window's own buffer): {fmt_ms(tool_ms)} per full redraw.")
    w(f"- **1,000,000 samples**: `{million_label or 'no million-sample benchmark found'}`: the whole "
      "program with one loaded slot of 1,000,000 samples (0.01 Angstroms apart, about 1000 samples per "
      "pixel column) and its plot window open offscreen with a client area of 1000 × 600 pixels: "
      "`RenderPlot` through the window's own surface, and the picture made ready to paint. "
      "The renderer draws each pixel column where many samples meet as one vertical run from the slot's "
      "level summary"
      + (f" ({million_segments:.0f} lines in all)" if million_segments else "")
      + ", the pixels that drawing every segment lights (unit tests compare the two pictures at dense, "
      "sparse, mixed and offset views, with missing samples and reversed and log-linear scales)."
      + (f" The same on the bare surfaces: {fmt_ms(million_surface_ms)}." if million_surface_ms is not None else "")
      + (f" Straight onto the span surface, without the recording: {fmt_ms(million_spans_ms)}."
         if million_spans_ms is not None else "")
      + (f" Rebuilt from the recording alone: {fmt_ms(million_replay_ms)}." if million_replay_ms is not None else "")
      + " The peer draws one 1,000,000-sample `step` curve the same way as above.")
    w("- **Start-up**: measured from outside by `bench/map_timer`, which starts the program under Xvfb "
      "and waits for the X server to report the mapping of its first top-level window titled \"Quillon\" "
      + ("and then the first drawing into it (the DAMAGE extension: the first painted frame) " if painted_q else "")
      + f"(median of {len(start_q)} starts after one warm-up, in an empty folder; min "
      + f"{fmt_ms(min(start_q)) if start_q else '—'}, max {fmt_ms(max(start_q)) if start_q else '—'}). "
      + "The program is not changed or instrumented for this. The peer imports astropy and matplotlib and "
      f"shows one TkAgg figure window (median of {len(start_p)} starts)." + app_text)
    w(f"- **Resident memory**: the larger of two measurements: the real program started with 16 files on "
      f"its command line, VmRSS two seconds after its main window appeared ({fmt_kb(rss_app_kb)}), and "
      f"`quillon-render` loading the same 16 files through the real loader and drawing them in the real "
      f"plot window offscreen, peak RSS ({fmt_kb(rss_tool_kb)}). The peer's figure is the peak RSS of "
      f"loading the 16 files with astropy and drawing them with matplotlib Agg; with a TkAgg window open "
      f"and nothing loaded it holds {fmt_kb(rss_peer_win_kb)}.")
    w("")
    out.extend(DESIGN_NOTES.splitlines())
    w("")
    out.extend(comparison_section(results))
    w("## Every benchmark of the run")
    w("")
    w("| Binary | Benchmark | Time | Counters |")
    w("|---|---|---|---|")
    for binary, entries in found.items():
        for name, ms, extra in entries:
            counters = ", ".join(f"{k} {v:.0f}" if isinstance(v, (int, float)) else f"{k} {v}"
                                 for k, v in extra.items() if isinstance(v, (int, float)))
            w(f"| {binary} | `{name}` | {fmt_ms(ms)} | {counters} |")
    w("")
    missed = [r[0] for r in rows if r[5] == "**missed**"] + [v[0] for v in scaling_verdicts if v[1] is False]
    unmeasured = [r[0] for r in rows if r[5] == "not measured"] + [v[0] for v in scaling_verdicts if v[1] is None]
    w("## Summary")
    w("")
    if missed:
        w("Missed in this run: " + "; ".join(missed) + ".")
    if unmeasured:
        w("Not measured in this run: " + "; ".join(unmeasured) + ".")
    if not missed and not unmeasured:
        w("Every target is met in this run.")
    rows_base, _ = comparison(results)
    slower = [r for r in rows_base or [] if r["verdict"] == "slower"]
    if slower:
        w("")
        clear = [f"`{r['binary']} {r['name']}` ({r['ratio']:.2f})" for r in slower if not r["noisy"]]
        w(f"More than {WITHIN:.0%} slower than {base_label(results)[0]} in this run: "
          + (", ".join(clear) if clear else "none beyond the noise")
          + (f"; {len(slower) - len(clear)} more where the noise is wider than that"
             if len(slower) > len(clear) else "") + ".")
    w("")
    with open(output, "w") as f:
        f.write("\n".join(out))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
