// quillon-render end to end: FITS files written by an independent writer
// (cfitsio) go through the real loader and renderer into a PNG, the same
// picture pixel for pixel as the plot window exports.
#include <fitsio.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QProcess>
#include <cmath>
#include <string>
#include <vector>

#include "qt/plot_export.h"
#include "qt/plot_window.h"
#include "qt/plot_window_host.h"
#include "session/slot_loading.h"
#include "support/recording_services.h"
#include "support/temp_dir.h"

namespace quillon {
namespace {

// A BITPIX -32 spectrum of `n` samples from `crval` in steps of `cd`.
void WriteSpectrum(const std::string& path, double crval, double cd, int n, double level) {
  fitsfile* file = nullptr;
  int status = 0;
  long naxes[1] = {n};
  const std::string target = "!" + path;
  fits_create_file(&file, target.c_str(), &status);
  fits_create_img(file, FLOAT_IMG, 1, naxes, &status);
  fits_update_key(file, TDOUBLE, "CRVAL1", &crval, nullptr, &status);
  fits_update_key(file, TDOUBLE, "CD1_1", &cd, nullptr, &status);
  char object[] = "TEST STAR";
  fits_update_key(file, TSTRING, "OBJECT", object, nullptr, &status);
  std::vector<float> samples(static_cast<std::size_t>(n));
  for (int i = 0; i < n; ++i) samples[static_cast<std::size_t>(i)] = static_cast<float>(level + 50 * std::sin(i / 9.0));
  fits_write_img(file, TFLOAT, 1, n, samples.data(), &status);
  fits_close_file(file, &status);
  ASSERT_EQ(status, 0);
}

struct ToolRun {
  int code;
  QString err;
};

ToolRun Render(const QStringList& args) {
  QProcess process;
  process.start(QStringLiteral(QUILLON_RENDER_PATH), args);
  EXPECT_TRUE(process.waitForFinished(120000));
  return {process.exitCode(), QString::fromLocal8Bit(process.readAllStandardError())};
}

int CountColour(const QImage& image, QRgb colour) {
  int count = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) count += image.pixel(x, y) == colour;
  return count;
}

TEST(QuillonRenderTest, DrawsRealSpectraIntoAPng) {
  testing::TempDir dir;
  const std::string a = (dir / "a.fts").string(), b = (dir / "b.fts").string();
  WriteSpectrum(a, 6400, 0.1, 3000, 2000);
  WriteSpectrum(b, 6500, 0.1, 2000, 500);
  const QString out = QString::fromStdString((dir / "plot.png").string());
  const ToolRun run = Render({"--width", "12000", "--height", "6000", "--out", out, QString::fromStdString(a),
                          QString::fromStdString(b)});
  ASSERT_EQ(run.code, 0) << run.err.toStdString();
  QImage image(out);
  ASSERT_FALSE(image.isNull());
  image = image.convertToFormat(QImage::Format_RGB32);
  // The client area of a 12000 x 6000-twip window at 96 DPI, less its menu bar.
  EXPECT_NEAR(image.width(), 800, 8);
  EXPECT_LT(image.height(), 400);
  EXPECT_GT(CountColour(image, qRgb(255, 0, 0)), 500) << "slot 1 is drawn in red";
  EXPECT_GT(CountColour(image, qRgb(248, 119, 4)), 300) << "slot 2 in orange";
}

// The plot window of the same size, loaded with the same files, exports the
// picture the tool writes without any window: the same pixels, at sizes from
// small to large, whole and zoomed.
TEST(QuillonRenderTest, ThePictureIsThePlotWindowsPixelForPixel) {
  testing::TempDir dir;
  const std::string a = (dir / "a.fts").string(), b = (dir / "b.fts").string();
  WriteSpectrum(a, 6400, 0.1, 3000, 2000);
  WriteSpectrum(b, 6500, 0.1, 2000, 500);
  struct Case {
    int16_t width, height;
    double view_min, view_max;  // 0, 0: the whole range
  };
  for (const Case& c : {Case{10000, 5000, 0, 0}, Case{3000, 2500, 0, 0}, Case{15000, 9000, 6450, 6520},
                        Case{12345, 6789, 0, 0}}) {
    SCOPED_TRACE(::testing::Message() << c.width << " x " << c.height);
    QStringList args{"--width", QString::number(c.width), "--height", QString::number(c.height)};
    if (c.view_max > 0) args << "--view" << QString::number(c.view_min) << QString::number(c.view_max);
    const QString out = QString::fromStdString((dir / "tool.png").string());
    args << "--out" << out << QString::fromStdString(a) << QString::fromStdString(b);
    ASSERT_EQ(Render(args).code, 0);

    SharedState state;
    state.PlotWidth = c.width;
    state.PlotHeight = c.height;
    testing::RecordingServices services;
    PlotWindowHost host(state, services);
    for (int16_t slot : {1, 2}) {
      state.Slots[slot].file_name = slot == 1 ? "a.fts" : "b.fts";
      state.FitsDirectory = dir.path().string();
      (void)LoadFitsSpectrum(state, slot, services, services, services);
    }
    if (c.view_max > 0) {
      state.PlotLambdaMin = c.view_min;
      state.PlotLambdaMax = c.view_max;
    }
    host.RenderPlot();
    ASSERT_NE(host.Window(), nullptr);
    const std::string window_png = (dir / "window.png").string();
    ASSERT_EQ(ExportPlotPicture(host.Window()->Picture(), ExportFormat::kPng, window_png), "");
    const QImage tool = QImage(out).convertToFormat(QImage::Format_RGB32);
    const QImage window = QImage(QString::fromStdString(window_png)).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(tool.isNull());
    EXPECT_EQ(tool.size(), window.size());
    EXPECT_TRUE(tool == window) << "the tool's picture differs from the window's";
  }
}

TEST(QuillonRenderTest, RefusalsAndBadArguments) {
  testing::TempDir dir;
  const QString out = QString::fromStdString((dir / "plot.png").string());
  struct Case {
    QStringList args;
    int code;
    const char* message;
  };
  const std::string good = (dir / "good.fts").string();
  WriteSpectrum(good, 6400, 0.1, 500, 1000);
  const Case cases[] = {
      {{"--out", out}, 2, "no FITS file given"},
      {{QString::fromStdString(good)}, 2, "--out FILE is required"},
      // An extension it cannot write: refused before anything is loaded or written.
      {{"--out", QString::fromStdString((dir / "plot.jpg").string()), QString::fromStdString(good)}, 2,
       "must end in .png, .svg or .pdf"},
      {{"--out", QString::fromStdString((dir / "plot").string()), QString::fromStdString(good)}, 2,
       "must end in .png, .svg or .pdf"},
      {{"--out", QString::fromStdString((dir / "no-folder" / "plot.svg").string()), QString::fromStdString(good)},
       1, "No such file or directory"},
      {{"--width", "40000", "--out", out, QString::fromStdString(good)}, 2, "--width"},
      {{"--view", "6600", "6500", "--out", out, QString::fromStdString(good)}, 2, "--view"},
      {{"--offset", "17", "0", "--out", out, QString::fromStdString(good)}, 2, "--offset"},
      {{"--out", out, QString::fromStdString((dir / "missing.fts").string())}, 1, "nothing to draw"},
      // One missing file: the other is still drawn, the exit status tells.
      {{"--out", out, QString::fromStdString(good), QString::fromStdString((dir / "missing.fts").string())}, 1,
       "not loaded"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const ToolRun run = Render(c.args);
    EXPECT_EQ(run.code, c.code);
    EXPECT_TRUE(run.err.contains(QString::fromLatin1(c.message))) << run.err.toStdString();
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString((dir / "plot.jpg").string())));
  EXPECT_FALSE(QFile::exists(QString::fromStdString((dir / "plot").string())));
}

// The extension of --out chooses the format, as the plot window's Export does.
TEST(QuillonRenderTest, TheOutExtensionChoosesPngSvgOrPdf) {
  testing::TempDir dir;
  const std::string spectrum = (dir / "s.fts").string();
  WriteSpectrum(spectrum, 6400, 0.1, 1000, 1000);
  const struct {
    const char* name;
    const char* starts_with;
    const char* holds;
  } cases[] = {
      {"plot.png", "\x89PNG", "IHDR"},
      {"plot.svg", "<?xml", ">Wavelength /Angstroms</text>"},
      {"PLOT.PDF", "%PDF-", "/Title"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const QString out = QString::fromStdString((dir / c.name).string());
    const ToolRun run = Render({"--out", out, QString::fromStdString(spectrum)});
    EXPECT_EQ(run.code, 0) << run.err.toStdString();
    EXPECT_FALSE(run.err.contains("propagateSizeHints")) << "the platform's notice is left out";
    QFile file(out);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray bytes = file.readAll();
    EXPECT_TRUE(bytes.startsWith(c.starts_with));
    EXPECT_TRUE(bytes.contains(c.holds));
  }
}

}  // namespace
}  // namespace quillon
