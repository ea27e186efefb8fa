#include "app/form1.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QStyle>
#include <QToolButton>
#include <cmath>

#include "app/form1_layout.h"
#include "app/italian_texts.h"
#include "app/handler_guard.h"
#include "app/image_list.h"
#include "app/qt_dialogs.h"
#include "app/repainting_dialogs.h"
#include "app/toolbar.h"
#include "app/twips.h"
#include "archives/handlers.h"
#include "archives/italian_texts.h"
#include "import/import_run.h"

namespace app {
namespace {

QRect ToPixels(const layout::Box& box) { return TwipsRect(box.left, box.top, box.width, box.height); }

QString Name(std::string_view name) { return QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())); }

QString IndexedName(const char* array, int index) { return QString("%1_%2").arg(array).arg(index); }

QGroupBox* MakeFrame(QWidget* parent, const layout::Frame& frame) {
  auto* box = new QGroupBox(ToQString(frame.caption), parent);
  box->setObjectName(Name(frame.name));
  box->setGeometry(ToPixels(frame.box));
  return box;
}

QLabel* MakeLabel(QWidget* parent, const QString& name, std::u16string_view caption, const layout::Box& box) {
  auto* label = new QLabel(ToQString(caption), parent);
  label->setObjectName(name);
  label->setGeometry(ToPixels(box));
  return label;
}

// A label sized to its text. The stored widths fit the font the window was designed with;
// where a caption needs more room in our font the label grows to the right, so that it is
// never cut.
QLabel* MakeAutoSizeLabel(QWidget* parent, const QString& name, std::u16string_view caption,
                          const layout::Box& box) {
  QLabel* label = MakeLabel(parent, name, caption, box);
  const int text_width = label->fontMetrics().horizontalAdvance(label->text());
  if (text_width > label->width()) label->resize(text_width, label->height());
  return label;
}

// Drop-down lists only let the user pick an entry. Qt cannot draw one in less than
// kMinimumDropDownHeight pixels, so a lower one grows downwards.
QComboBox* MakeDropDown(QWidget* parent, const QString& name, const layout::Box& box) {
  auto* combo = new QComboBox(parent);
  combo->setObjectName(name);
  combo->setEditable(false);
  QRect geometry = ToPixels(box);
  geometry.setHeight(std::max(geometry.height(), kMinimumDropDownHeight));
  combo->setGeometry(geometry);
  return combo;
}

Toolbar* MakeToolbar(QWidget* parent, const char* name, const layout::Box& box,
                     const auto& buttons) {
  auto* toolbar = new Toolbar(name, ToPixels(box), parent);
  for (const layout::ToolbarButton& button : buttons) {
    const QString key = ToQString(button.key);
    toolbar->AddButton(key, key, ImageListPicture(button.picture),
                       QSize(TwipsToPixels(button.width), TwipsToPixels(button.height)));
  }
  return toolbar;
}

// A list that had no entry selected keeps none when entries are appended: Qt would select
// the first entry appended to an empty list, and the handlers would read its text.
void AppendKeepingSelection(QComboBox* combo, std::u16string_view entry) {
  const bool none_selected = combo->currentIndex() < 0;
  combo->addItem(ToQString(entry));
  if (none_selected) combo->setCurrentIndex(-1);
}

}  // namespace

Form1::Form1(const engine::TextLocale& locale, archives::Dialogs* dialogs)
    : QWidget(nullptr), state_(locale), dialogs_(dialogs) {
  if (!dialogs_) {
    own_dialogs_ = std::make_unique<QtDialogs>(this, state_);
    dialogs_ = own_dialogs_.get();
  }
  repainting_dialogs_ = std::make_unique<RepaintingDialogs>(*dialogs_, *this);
  dialogs_ = repainting_dialogs_.get();
  setObjectName("Form1");
  setWindowTitle(ToQString(archives::kApplicationTitle));
  setWindowIcon(WindowIcon());
  // A fixed dialog border: a close box, no minimise or maximise, no resizing.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                 Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(TwipsToPixels(layout::kClientWidth), TwipsToPixels(layout::kClientHeight));
  setFont(QFont("Liberation Sans", 8));
  QPalette grey = palette();
  grey.setColor(QPalette::Window, QColor(layout::kBackgroundGrey, layout::kBackgroundGrey, layout::kBackgroundGrey));
  setPalette(grey);
  setAutoFillBackground(true);

  BuildStep1();
  BuildStep2();
  BuildStep3();
  BuildBottom();
  SetTabOrder();
  CentreOnScreen();
}

Form1::~Form1() {
  // Normally End closed the price list already; a window that goes without it keeps what was
  // added all the same.
  try {
    state_.DataDestinazione.Close();
  } catch (...) {
  }
}

int Form1::End() { return archives::CloseAtEnd(state_, *dialogs_); }

void Form1::BuildStep1() {
  frame2_ = MakeFrame(this, layout::kStep1Frame);
  toolbar1_ = MakeToolbar(frame2_, "Toolbar1", layout::kToolbar1, layout::kToolbar1Buttons);
  connect(toolbar1_, &Toolbar::ButtonClick, this, &Form1::Toolbar1ButtonClick);
  text1_ = new QLineEdit(frame2_);
  text1_->setObjectName("Text1");
  text1_->setGeometry(ToPixels(layout::kText1));
  // Without a label of its own, the box is announced by what its frame asks for.
  text1_->setAccessibleName(ToQString(kStep1Caption));
}

void Form1::BuildStep2() {
  frame1_ = MakeFrame(this, layout::kStep2Frame);
  MakeLabel(frame1_, IndexedName("Label6", 0), kLabel6Caption, layout::kLabel6);
  combo2_ = MakeDropDown(frame1_, "Combo2", layout::kCombo2);
  combo2_->setAccessibleName(ToQString(kLabel6Caption));
  // activated, not currentIndexChanged: choosing the entry already selected runs it again.
  connect(combo2_, &QComboBox::activated, this, &Form1::Combo2Click);
}

void Form1::BuildStep3() {
  frame3_ = MakeFrame(this, layout::kStep3Frame);
  for (const layout::MappingRow& row : layout::kMappingRows) {
    MakeAutoSizeLabel(frame3_, IndexedName("Label7", row.role_label_index), row.role_caption,
              {layout::kRoleLabelLeft, row.role_top, row.role_width, layout::kOneLineLabelHeight});
    QComboBox* picker = MakeDropDown(frame3_, IndexedName("Combo6", row.picker),
                                     {layout::kPickerLeft, row.picker_top, layout::kPickerWidth, layout::kPickerHeight});
    picker->setEnabled(false);  // until a table is chosen
    // The import reads the pickers' choices once per record: kept here as the lists change,
    // they are not fetched from the list's model and converted each time.
    connect(picker, &QComboBox::currentTextChanged, this,
            [this, index = row.picker](const QString& text) { picker_texts_.at(index) = text.toStdU16String(); });
    // A screen reader tells the pickers apart by the caption beside each, and tells the one
    // the import needs from the others by the note on its right.
    picker->setAccessibleName(ToQString(row.role_caption));
    picker->setAccessibleDescription(ToQString(row.note_caption));
    combo6_.at(row.picker) = picker;
    MakeAutoSizeLabel(frame3_, IndexedName("Label4", row.note_index), row.note_caption,
              {layout::kNoteLeft, row.note_top, row.note_width, layout::kOneLineLabelHeight});
  }
}

void Form1::BuildBottom() {
  QLabel* label11 = MakeAutoSizeLabel(this, "Label11", kLabel11Caption, layout::kLabel11);
  progress_bar1_ = new QProgressBar(this);
  progress_bar1_->setObjectName("ProgressBar1");
  // Announced by its label, without the colon a screen reader would read out.
  progress_bar1_->setAccessibleName(ToQString(kProgressBarName));
  label11->setBuddy(progress_bar1_);
  progress_bar1_->setGeometry(ToPixels(layout::kProgressBar1));
  progress_bar1_->setRange(0, 100);
  progress_bar1_->setValue(0);
  progress_bar1_->setTextVisible(false);
  toolbar4_ = MakeToolbar(this, "Toolbar4", layout::kToolbar4, layout::kToolbar4Buttons);
  connect(toolbar4_, &Toolbar::ButtonClick, this, &Form1::Toolbar4ButtonClick);
}

// The window's tab order: Toolbar4, Text1, Toolbar1, Combo2, then the pickers from the
// bottom row up (picker 6 first, picker 0 last). Frames, labels and the progress bar take
// no focus; Qt passes over disabled pickers by itself.
void Form1::SetTabOrder() {
  std::vector<QWidget*> chain;
  for (QToolButton* button : toolbar4_->findChildren<QToolButton*>()) chain.push_back(button);
  chain.push_back(text1_);
  for (QToolButton* button : toolbar1_->findChildren<QToolButton*>()) chain.push_back(button);
  chain.push_back(combo2_);
  for (int picker = archives::kPickerCount - 1; picker >= 0; --picker) chain.push_back(combo6_.at(picker));
  for (size_t i = 1; i < chain.size(); ++i) QWidget::setTabOrder(chain[i - 1], chain[i]);
}

void Form1::CentreOnScreen() {
  const QScreen* screen = this->screen();
  if (!screen) return;
  setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, size(), screen->geometry()));
}

void Form1::Load() {
  const std::u16string program_folder = QCoreApplication::applicationDirPath().toStdU16String();
  RunEventHandler([&] { archives::StartupBinding(state_, *dialogs_, program_folder); });
}

void Form1::Combo2Click() {
  RunEventHandler([&] { archives::DiscoverColumns(state_, *this, *dialogs_); });
}

void Form1::Toolbar1ButtonClick(const QString&) {
  RunEventHandler([&] { archives::Browse(state_, *this, *dialogs_); });
}

void Form1::Toolbar4ButtonClick(const QString& key) {
  const std::u16string button_key = key.toStdU16String();
  // The window's runs leave their report beside the price list, for the clerk to open.
  const import::ReportPlace report = import::ReportPlace::BesidePriceList();
  RunEventHandler([&] { import::RunImport(button_key, state_, *this, *dialogs_, report); });
}

void Form1::RunEventHandler(const std::function<void()>& handler) {
  // Only scripted dialogs come back from ending the program; the real ones exit the process.
  if (RunHandler(*dialogs_, handler) == HandlerOutcome::ProgramEnded) close();
}

// FormControls ---------------------------------------------------------------------------

QComboBox* Form1::Picker(int picker) const { return combo6_.at(static_cast<size_t>(picker)); }

std::u16string Form1::Text1() const { return text1_->text().toStdU16String(); }

void Form1::SetText1(std::u16string_view text) { text1_->setText(ToQString(text)); }

std::u16string Form1::Combo2Text() const { return combo2_->currentText().toStdU16String(); }

void Form1::ClearCombo2() { combo2_->clear(); }

void Form1::AppendCombo2(std::u16string_view entry) { AppendKeepingSelection(combo2_, entry); }

std::u16string Form1::PickerText(int picker) const { return picker_texts_.at(static_cast<size_t>(picker)); }

void Form1::ClearPicker(int picker) { Picker(picker)->clear(); }

void Form1::AppendPicker(int picker, std::u16string_view entry) { AppendKeepingSelection(Picker(picker), entry); }

void Form1::EnablePicker(int picker) { Picker(picker)->setEnabled(true); }

void Form1::SetProgress(float value) {
  // A value outside 0..100 is refused, as the bar always did; the bar keeps its value.
  if (!(value >= 0.0f && value <= 100.0f)) return;
  const int shown = static_cast<int>(std::lround(value));
  if (shown == progress_bar1_->value()) return;
  progress_bar1_->setValue(shown);
  // The import sets the bar once per record without letting the window take events: paint
  // it now rather than when the event loop next runs, and the whole window with it, since
  // whatever covered the window meanwhile left its image there (the window's expose events
  // wait for the run to end). A repaint delivers no input and runs no handler.
  repaint();
}

}  // namespace app
