/* The CFITSIO part of the inspection corpus (tests/data/inspect/): files
 * written the way programs built on CFITSIO write them, through its own
 * image types, scaling, null values and header space. make_corpus.py
 * compiles and runs this; see there how to rerun it.
 *
 *   cfitsio_files FOLDER
 *
 * The samples are plain arithmetic and no card holds a time stamp, so every
 * run writes the same bytes. */

#include <fitsio.h>
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static const char* folder;
static int status;

static void Check(const char* what) {
  if (status == 0) return;
  char text[FLEN_STATUS];
  fits_get_errstatus(status, text);
  fprintf(stderr, "cfitsio_files: %s: %s\n", what, text);
  fits_report_error(stderr, status);
  exit(1);
}

/* A spectrum of a few hundred samples: a sloping continuum, a ripple and
 * two absorption lines, around `level`. */
static double Shape(long i, double level) {
  const double a = (double)(i - 90) * (i - 90) / 40.0;
  const double b = (double)(i - 170) * (i - 170) / 12.0;
  return level * (1.0 + 0.0008 * i + 0.05 * sin(i / 7.0) - 0.45 * exp(-a) - 0.3 * exp(-b));
}

static fitsfile* Create(const char* name, int bitpix, int naxis, long* naxes) {
  char path[4096];
  fitsfile* f = NULL;
  snprintf(path, sizeof path, "!%s/%s", folder, name); /* "!" replaces an older file */
  fits_create_file(&f, path, &status);
  Check(name);
  fits_create_img(f, bitpix, naxis, naxes, &status);
  Check(name);
  return f;
}

static void Close(fitsfile* f, const char* name) {
  fits_close_file(f, &status);
  Check(name);
}

static void Str(fitsfile* f, const char* key, const char* value, const char* comment) {
  fits_write_key(f, TSTRING, key, (void*)value, comment, &status);
  Check(key);
}

static void Dbl(fitsfile* f, const char* key, double value, const char* comment) {
  fits_write_key(f, TDOUBLE, key, &value, comment, &status);
  Check(key);
}

static void Lng(fitsfile* f, const char* key, long value, const char* comment) {
  fits_write_key(f, TLONG, key, &value, comment, &status);
  Check(key);
}

/* OBJECT and a linear scale: pixel 0 at `crval1`, `cd1_1` per pixel. */
static void Linear(fitsfile* f, const char* object, double crval1, double cd1_1) {
  Str(f, "OBJECT", object, "Name of the object observed");
  Dbl(f, "CRVAL1", crval1, "Wavelength of pixel 0 (Angstrom)");
  Dbl(f, "CD1_1", cd1_1, "Angstrom per pixel");
}

static void WriteDoubles(fitsfile* f, const char* name, long count, double* values) {
  fits_write_img(f, TDOUBLE, 1, count, values, &status);
  Check(name);
}

enum { kN = 300 };

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: cfitsio_files FOLDER\n");
    return 2;
  }
  folder = argv[1];
  double v[2 * kN];
  long n[2];

  { /* BITPIX 16 without BZERO: signed 16-bit samples. */
    const char* name = "cfitsio-int16-signed.fits";
    n[0] = kN;
    fitsfile* f = Create(name, SHORT_IMG, 1, n);
    Linear(f, "HD 140283", 4000, 2);
    for (long i = 0; i < kN; ++i) v[i] = floor(Shape(i, 12000));
    WriteDoubles(f, name, kN, v);
    Close(f, name);
  }
  { /* CFITSIO's unsigned 16-bit type: BITPIX 16, BZERO 32768. */
    const char* name = "cfitsio-uint16-bzero32768.fits";
    n[0] = kN;
    fitsfile* f = Create(name, USHORT_IMG, 1, n);
    Linear(f, "HD 140283", 4000, 2);
    for (long i = 0; i < kN; ++i) v[i] = floor(Shape(i, 50000));
    WriteDoubles(f, name, kN, v);
    Close(f, name);
  }
  { /* BITPIX 32. */
    const char* name = "cfitsio-int32.fits";
    n[0] = kN;
    fitsfile* f = Create(name, LONG_IMG, 1, n);
    Linear(f, "NGC 7027", 6400, 1.25);
    for (long i = 0; i < kN; ++i) v[i] = floor(Shape(i, 2.0e6));
    WriteDoubles(f, name, kN, v);
    Close(f, name);
  }
  { /* BITPIX -32 with the standard's CRVAL1 at CRPIX1 and CDELT1. */
    const char* name = "cfitsio-float32-cdelt1-crpix1.fits";
    n[0] = kN;
    fitsfile* f = Create(name, FLOAT_IMG, 1, n);
    Str(f, "OBJECT", "Vega", "Name of the object observed");
    Str(f, "CTYPE1", "WAVE", "Wavelength in vacuum");
    Str(f, "CUNIT1", "Angstrom", "Unit of the axis");
    Dbl(f, "CRPIX1", 1, "Reference pixel");
    Dbl(f, "CRVAL1", 5000, "Wavelength at the reference pixel");
    Dbl(f, "CDELT1", 0.5, "Angstrom per pixel");
    for (long i = 0; i < kN; ++i) v[i] = Shape(i, 3.2e-13);
    WriteDoubles(f, name, kN, v);
    Close(f, name);
  }
  { /* BITPIX -64. */
    const char* name = "cfitsio-float64.fits";
    n[0] = kN;
    fitsfile* f = Create(name, DOUBLE_IMG, 1, n);
    Linear(f, "Sun", 5000, 0.25);
    for (long i = 0; i < kN; ++i) v[i] = Shape(i, 1.0);
    WriteDoubles(f, name, kN, v);
    Close(f, name);
  }
  { /* BITPIX 8, which the reader refuses. */
    const char* name = "cfitsio-uint8.fits";
    n[0] = kN;
    fitsfile* f = Create(name, BYTE_IMG, 1, n);
    Linear(f, "HD 140283", 4000, 2);
    for (long i = 0; i < kN; ++i) v[i] = floor(Shape(i, 200));
    WriteDoubles(f, name, kN, v);
    Close(f, name);
  }
  { /* BITPIX 16 scaled by BSCALE and BZERO, as CFITSIO scales doubles. */
    const char* name = "cfitsio-int16-bscale-bzero.fits";
    n[0] = kN;
    fitsfile* f = Create(name, SHORT_IMG, 1, n);
    Linear(f, "HD 140283", 4000, 2);
    Dbl(f, "BSCALE", 0.5, "Physical = BZERO + BSCALE x stored");
    Dbl(f, "BZERO", 100, "Physical = BZERO + BSCALE x stored");
    fits_set_bscale(f, 0.5, 100, &status);
    Check(name);
    for (long i = 0; i < kN; ++i) v[i] = floor(Shape(i, 9000));
    WriteDoubles(f, name, kN, v);
    Close(f, name);
  }
  { /* BITPIX 16 with BLANK: CFITSIO stores nulls as the BLANK value. */
    const char* name = "cfitsio-int16-blank.fits";
    n[0] = kN;
    fitsfile* f = Create(name, SHORT_IMG, 1, n);
    Linear(f, "HD 140283", 4000, 2);
    Lng(f, "BLANK", -32768, "Value of missing samples");
    for (long i = 0; i < kN; ++i) v[i] = (i % 37 == 5 || (i >= 200 && i < 210)) ? -1 : floor(Shape(i, 12000));
    double null_value = -1;
    fits_write_imgnull(f, TDOUBLE, 1, kN, v, &null_value, &status);
    Check(name);
    Close(f, name);
  }
  { /* BITPIX -32 with NaN and both infinities among the samples. */
    const char* name = "cfitsio-float32-nan-inf.fits";
    n[0] = kN;
    fitsfile* f = Create(name, FLOAT_IMG, 1, n);
    Linear(f, "SN 2011fe", 3600, 3);
    for (long i = 0; i < kN; ++i) v[i] = Shape(i, 45.5);
    v[0] = NAN;
    v[17] = NAN;
    v[150] = INFINITY;
    v[151] = -INFINITY;
    v[kN - 1] = NAN;
    WriteDoubles(f, name, kN, v);
    Close(f, name);
  }
  { /* Every sample NaN: nothing to draw. */
    const char* name = "cfitsio-float32-all-nan.fits";
    n[0] = 120;
    fitsfile* f = Create(name, FLOAT_IMG, 1, n);
    Linear(f, "Nothing", 4000, 2);
    for (long i = 0; i < 120; ++i) v[i] = NAN;
    WriteDoubles(f, name, 120, v);
    Close(f, name);
  }
  { /* A 2-D image of three rows: the first row is drawn. */
    const char* name = "cfitsio-image-2d.fits";
    n[0] = 200;
    n[1] = 3;
    fitsfile* f = Create(name, FLOAT_IMG, 2, n);
    Linear(f, "Long slit", 6500, 0.8);
    for (long r = 0; r < 3; ++r)
      for (long i = 0; i < 200; ++i) v[r * 200 + i] = Shape(i, 100.0 * (r + 1));
    WriteDoubles(f, name, 600, v);
    Close(f, name);
  }
  { /* An IRAF multispec file: two apertures, wavelengths in WAT2_001. */
    const char* name = "cfitsio-multispec.fits";
    n[0] = 200;
    n[1] = 2;
    fitsfile* f = Create(name, FLOAT_IMG, 2, n);
    Str(f, "OBJECT", "HR 7001 echelle", "Name of the object observed");
    Str(f, "CTYPE1", "MULTISPE", "");
    Str(f, "CTYPE2", "MULTISPE", "");
    Dbl(f, "CRVAL1", 1, "");
    Dbl(f, "CDELT1", 1, "");
    Dbl(f, "CD1_1", 1, "");
    Dbl(f, "CD2_2", 1, "");
    Dbl(f, "LTM1_1", 1, "");
    Dbl(f, "LTM2_2", 1, "");
    Str(f, "WAT0_001", "system=multispec", "");
    Str(f, "WAT1_001", "wtype=multispec label=Wavelength units=angstroms", "");
    /* IRAF cuts the attribute string into values of 68 characters. */
    Str(f, "WAT2_001", "wtype=multispec spec1 = \"1 1 0 4000. 2. 200 0. 0. 0.\" spec2 = \"2 2 0", "");
    Str(f, "WAT2_002", " 4400. 2. 200 0. 0. 0.\"", "");
    for (long r = 0; r < 2; ++r)
      for (long i = 0; i < 200; ++i) v[r * 200 + i] = Shape(i, 800.0 + 100 * r);
    WriteDoubles(f, name, 400, v);
    Close(f, name);
  }
  { /* An empty primary array and the spectrum in a binary table. */
    const char* name = "cfitsio-bintable.fits";
    fitsfile* f = Create(name, BYTE_IMG, 0, NULL);
    Str(f, "OBJECT", "HD 140283", "Name of the object observed");
    char* types[] = {"WAVELENGTH", "FLUX"};
    char* forms[] = {"1D", "1E"};
    char* units[] = {"Angstrom", "erg/s/cm2/A"};
    fits_create_tbl(f, BINARY_TBL, 0, 2, types, forms, units, "SPECTRUM", &status);
    Check(name);
    double wave[100], flux[100];
    for (long i = 0; i < 100; ++i) {
      wave[i] = 4000 + 2.0 * i;
      flux[i] = Shape(i, 1e-14);
    }
    fits_write_col(f, TDOUBLE, 1, 1, 1, 100, wave, &status);
    fits_write_col(f, TDOUBLE, 2, 1, 1, 100, flux, &status);
    Check(name);
    Close(f, name);
  }
  { /* NAXIS1 = 0: a primary array without samples. */
    const char* name = "cfitsio-naxis1-zero.fits";
    n[0] = 0;
    fitsfile* f = Create(name, FLOAT_IMG, 1, n);
    Linear(f, "Empty", 4000, 2);
    Close(f, name);
  }
  /* Headers of 35 and 36 cards before END: the END card ends the first
   * block, or needs a second one and the data start at 5760. */
  for (int cards = 35; cards <= 36; ++cards) {
    char name[64];
    snprintf(name, sizeof name, "cfitsio-%d-cards.fits", cards);
    n[0] = kN;
    fitsfile* f = Create(name, FLOAT_IMG, 1, n);
    Linear(f, "HD 140283", 4000, 2);
    int existing = 0, more = 0;
    fits_get_hdrspace(f, &existing, &more, &status);
    Check(name);
    for (int k = existing + 1; k <= cards; ++k) {
      char text[72];
      snprintf(text, sizeof text, "Card %d of %d, written to fill the header.", k, cards);
      fits_write_history(f, text, &status);
      Check(name);
    }
    for (long i = 0; i < kN; ++i) v[i] = Shape(i, 1000);
    WriteDoubles(f, name, kN, v);
    Close(f, name);
  }
  return 0;
}
