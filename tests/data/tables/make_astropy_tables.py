#!/usr/bin/python3
"""Writes astropy-tables.fits, a second writer's tables and image extensions
for the fits/ tests (binary_table_test.cpp reads it and compares with
CFITSIO): an empty primary; a table 'SPECTRUM' of 40 rows with a wavelength
column, float and unsigned integer columns (TZERO), a byte column with TNULL, logicals,
a 2-D array column (TDIM) and a variable-length column; an unsigned 16-bit
image 'MASK' (BZERO 32768) and a float image 'FLUX' with NaN.

    /usr/bin/python3 tests/data/tables/make_astropy_tables.py
"""
import os

import numpy as np
from astropy.io import fits

rows = 40
rng = np.random.default_rng(22)
wave = 4000.0 + 1.25 * np.arange(rows)
flux = rng.normal(1.0, 0.2, rows).astype(np.float32)
flux[5] = np.nan
columns = [
    fits.Column(name="WAVE", format="D", unit="Angstrom", array=wave),
    fits.Column(name="FLUX", format="E", unit="1E-17 erg/s/cm^2/Angstrom", array=flux),
    fits.Column(name="AND_MASK", format="J", array=rng.integers(0, 4, rows, dtype=np.int32)),
    fits.Column(name="PIXMASK", format="J", bzero=2147483648, array=rng.integers(0, 2**32, rows, dtype=np.uint32)),
    fits.Column(name="COUNTS", format="I", bzero=32768, array=rng.integers(0, 65536, rows, dtype=np.uint16)),
    fits.Column(name="QUAL", format="B", null=255, array=np.where(np.arange(rows) % 7 == 3, 255, rng.integers(0, 255, rows)).astype(np.uint8)),
    fits.Column(name="GOOD", format="L", array=rng.integers(0, 2, rows).astype(bool)),
    fits.Column(name="ORDERS", format="6D", dim="(3,2)", array=rng.normal(0, 1, (rows, 2, 3))),
    fits.Column(name="LINES", format="PE()",
                array=np.array([rng.normal(0, 1, i % 5).astype(np.float32) for i in range(rows)], dtype=object)),
]
table = fits.BinTableHDU.from_columns(columns, name="SPECTRUM")
mask = fits.ImageHDU(rng.integers(0, 65536, (3, 7), dtype=np.uint16), name="MASK")
image = rng.normal(0, 1, (2, 9)).astype(np.float32)
image[1, 4] = np.nan
fits.HDUList([fits.PrimaryHDU(), table, mask, fits.ImageHDU(image, name="FLUX")]).writeto(
    os.path.join(os.path.dirname(os.path.abspath(__file__)), "astropy-tables.fits"), overwrite=True)
