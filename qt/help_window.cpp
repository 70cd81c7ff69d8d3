#include "qt/help_window.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPalette>
#include <QResizeEvent>
#include <QShortcut>
#include <QShowEvent>
#include <algorithm>

#include "qt/twips.h"
#include "qt/window_fonts.h"

namespace quillon {

namespace {
constexpr double kLabelLeft = 120;
constexpr double kTitleTop = 0;
constexpr double kTitleHeight = 375;
// Fixed heights of the paragraph labels; a label's box may reach into the next one's.
constexpr std::array<double, kHelpParagraphs> kParagraphHeights = {2175, 1935, 2295};
}  // namespace

HelpWindow::HelpWindow(SharedState& state, QWidget* parent)
    : QWidget(parent, Qt::Window), logic_(state, ProgramHelpMemory(), *this) {
  setAttribute(Qt::WA_DeleteOnClose);
  setWindowTitle(QStringLiteral("Help"));
  setAccessibleName(windowTitle());
  setFont(WindowFont());

  // The system's window and window-text colours, as a document page.
  QPalette page = palette();
  page.setColor(QPalette::Window, page.color(QPalette::Base));
  page.setColor(QPalette::WindowText, page.color(QPalette::Text));
  setPalette(page);
  setAutoFillBackground(true);

  title_ = new QLabel(this);
  title_->setObjectName(QStringLiteral("title"));
  title_->setFont(BoldSansFont(15.75));
  QPalette title = title_->palette();
  title.setColor(QPalette::WindowText, QColor(192, 0, 0));
  title_->setPalette(title);
  title_->setAlignment(Qt::AlignCenter);
  title_->setTextFormat(Qt::PlainText);

  for (int k = 0; k < kHelpParagraphs; ++k) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("paragraph_%1").arg(k + 1));
    label->setAccessibleName(QStringLiteral("Help paragraph %1").arg(k + 1));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    paragraphs_[static_cast<std::size_t>(k)] = label;
  }

  logic_.Load();

  // Escape closes the window as its close box does.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

QLabel* HelpWindow::Paragraph(int k) const {
  if (k < 1 || k > kHelpParagraphs) return nullptr;
  return paragraphs_[static_cast<std::size_t>(k - 1)];
}

QSize HelpWindow::FrameExtra() const {
  const QSize frame = frameGeometry().size();
  const QSize client = geometry().size();
  return QSize(std::max(0, frame.width() - client.width()), std::max(0, frame.height() - client.height()));
}

void HelpWindow::ApplyPosition(double left, double top) { position_.Apply(this, left, top); }

void HelpWindow::ApplySize(double width, double height) {
  const QSize extra = FrameExtra();
  // Recorded first: the window system may report this size at once or later,
  // and the logic has handled it already.
  handled_client_ = QSize(std::max(1, TwipsToPixels(width, this) - extra.width()),
                          std::max(1, TwipsToPixels(height, this) - extra.height()));
  ResizeOuter(this, width, height);
}

void HelpWindow::ApplyTexts(const std::string& title, const std::array<std::string, 17>& paragraphs) {
  title_->setText(QString::fromStdString(title));
  title_->setAccessibleName(title_->text());
  for (int k = 1; k <= kHelpParagraphs; ++k) {
    Paragraph(k)->setText(QString::fromStdString(paragraphs[static_cast<std::size_t>(k)]));
  }
}

void HelpWindow::ApplyLayout(const HelpLayout& layout) {
  PlaceChild(title_, kLabelLeft, kTitleTop, layout.label_width, kTitleHeight);
  for (int k = 1; k <= kHelpParagraphs; ++k) {
    const auto i = static_cast<std::size_t>(k - 1);
    PlaceChild(Paragraph(k), kLabelLeft, layout.tops[i], layout.label_width, kParagraphHeights[i]);
  }
}

void HelpWindow::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (isMinimized()) return;
  if (event->size() == handled_client_) return;  // already laid out when the size was set
  handled_client_ = event->size();
  const QSize extra = FrameExtra();
  logic_.ResizedByUser(PixelsToTwips(event->size().width() + extra.width(), this),
                       PixelsToTwips(event->size().height() + extra.height(), this), isMinimized());
}

void HelpWindow::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (displayed_) return;
  displayed_ = true;
  // The frame is known only now: keep the outer size the logic holds.
  ApplySize(logic_.Width(), logic_.Height());
  logic_.LayOut();  // the first display lays the window out again
}

void HelpWindow::closeEvent(QCloseEvent* event) {
  logic_.Unload(position_.Left(this), position_.Top(this));
  event->accept();
}

}  // namespace quillon
