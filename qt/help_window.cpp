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

frmHelp::frmHelp(SharedState& state, QWidget* parent)
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

  Label0_ = new QLabel(this);
  Label0_->setObjectName(QStringLiteral("Label0"));
  Label0_->setFont(BoldSansFont(15.75));
  QPalette title = Label0_->palette();
  title.setColor(QPalette::WindowText, QColor(192, 0, 0));
  Label0_->setPalette(title);
  Label0_->setAlignment(Qt::AlignCenter);
  Label0_->setTextFormat(Qt::PlainText);

  for (int k = 0; k < kHelpParagraphs; ++k) {
    auto* label = new QLabel(this);
    label->setObjectName(QStringLiteral("Label1_%1").arg(k + 1));
    label->setAccessibleName(QStringLiteral("Help paragraph %1").arg(k + 1));
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1_[static_cast<std::size_t>(k)] = label;
  }

  logic_.Form_Load();

  // Escape closes the window as its close box does.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
}

QLabel* frmHelp::Label1(int k) const {
  if (k < 1 || k > kHelpParagraphs) return nullptr;
  return Label1_[static_cast<std::size_t>(k - 1)];
}

QSize frmHelp::FrameExtra() const {
  const QSize frame = frameGeometry().size();
  const QSize client = geometry().size();
  return QSize(std::max(0, frame.width() - client.width()), std::max(0, frame.height() - client.height()));
}

void frmHelp::ApplyPosition(double left, double top) { position_.Apply(this, left, top); }

void frmHelp::ApplySize(double width, double height) {
  const QSize extra = FrameExtra();
  // Recorded first: the window system may report this size at once or later,
  // and the logic has handled it already.
  handled_client_ = QSize(std::max(1, TwipsToPixels(width, this) - extra.width()),
                          std::max(1, TwipsToPixels(height, this) - extra.height()));
  ResizeOuter(this, width, height);
}

void frmHelp::ApplyTexts(const std::string& title, const std::array<std::string, 17>& paragraphs) {
  Label0_->setText(QString::fromStdString(title));
  Label0_->setAccessibleName(Label0_->text());
  for (int k = 1; k <= kHelpParagraphs; ++k) {
    Label1(k)->setText(QString::fromStdString(paragraphs[static_cast<std::size_t>(k)]));
  }
}

void frmHelp::ApplyLayout(const HelpLayout& layout) {
  PlaceChild(Label0_, kLabelLeft, kTitleTop, layout.LabelWidth, kTitleHeight);
  for (int k = 1; k <= kHelpParagraphs; ++k) {
    const auto i = static_cast<std::size_t>(k - 1);
    PlaceChild(Label1(k), kLabelLeft, layout.Tops[i], layout.LabelWidth, kParagraphHeights[i]);
  }
}

void frmHelp::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (isMinimized()) return;
  if (event->size() == handled_client_) return;  // already laid out when the size was set
  handled_client_ = event->size();
  const QSize extra = FrameExtra();
  logic_.ResizedByUser(PixelsToTwips(event->size().width() + extra.width(), this),
                       PixelsToTwips(event->size().height() + extra.height(), this), isMinimized());
}

void frmHelp::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  if (displayed_) return;
  displayed_ = true;
  // The frame is known only now: keep the outer size the logic holds.
  ApplySize(logic_.Width(), logic_.Height());
  logic_.Form_Resize();  // the first display lays the window out again
}

void frmHelp::closeEvent(QCloseEvent* event) {
  logic_.Form_Unload(position_.Left(this), position_.Top(this));
  event->accept();
}

}  // namespace quillon
