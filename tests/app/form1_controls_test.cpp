// The controls as the handlers see them (FormControls) and the keyboard's way through them.
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <cmath>
#include <gtest/gtest.h>
#include <stdexcept>

#include "app/form1.h"
#include "app/form1_layout.h"
#include "tests/app/window_test_support.h"

namespace {

using testsupport::Printable;

class Form1ControlsTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testsupport::Application(); }

  QComboBox* Combo(const QString& name) { return window_.findChild<QComboBox*>(name); }
  QComboBox* Picker(int picker) { return Combo(QString("Combo6_%1").arg(picker)); }

  // Presses Tab on the widget that has the focus and returns the one that has it next.
  QWidget* PressTab() {
    QWidget* focus = QApplication::focusWidget();
    if (!focus) return nullptr;
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier);
    QApplication::sendEvent(focus, &press);
    return QApplication::focusWidget();
  }

  void ShowAndActivate() {
    window_.show();
    window_.activateWindow();
    QApplication::setActiveWindow(&window_);
    QApplication::processEvents();
  }

  testsupport::ScriptedDialogs dialogs_;
  app::Form1 window_{engine::TextLocale::Italian(), &dialogs_};
};

// A screen reader announces each box by the caption that tells what it is for: the label
// beside it, or the frame's for the path box, which has no label.
TEST_F(Form1ControlsTest, EachBoxIsAnnouncedByItsOwnCaption) {
  std::vector<std::pair<QWidget*, QString>> boxes = {
      {window_.findChild<QLineEdit*>("Text1"), window_.findChild<QGroupBox*>("Frame2")->title()},
      {Combo("Combo2"), window_.findChild<QLabel*>("Label6_0")->text()},
  };
  for (const auto& row : app::layout::kMappingRows) {
    boxes.emplace_back(Picker(row.picker),
                       window_.findChild<QLabel*>(QString("Label7_%1").arg(row.role_label_index))->text());
  }
  QSet<QString> names;
  for (const auto& [box, caption] : boxes) {
    EXPECT_EQ(box->accessibleName(), caption) << box->objectName().toStdString();
    names.insert(box->accessibleName());
  }
  EXPECT_EQ(names.size(), static_cast<qsizetype>(boxes.size())) << "no two alike";
}

// What a screen reader says beyond the boxes' names: the progress bar by its label, which
// points to it, and each picker's note on whether the import needs it.
TEST_F(Form1ControlsTest, TheProgressBarIsNamedAndEachPickerTellsWhetherItIsNeeded) {
  auto* bar = window_.findChild<QProgressBar*>("ProgressBar1");
  EXPECT_EQ(bar->accessibleName(), "Stato di avanzamento");
  EXPECT_EQ(window_.findChild<QLabel*>("Label11")->buddy(), bar);
  const std::vector<std::pair<int, QString>> notes = {
      {0, "(Campo non obbligatorio)"}, {1, "(Campo obbligatorio)"},     {2, "(Campo non obbligatorio)"},
      {3, "(Campo non obbligatorio)"}, {4, "(Campo non obbligatorio)"}, {5, "(Campo non obbligatorio)"},
      {6, "(Campo non obbligatorio)"},
  };
  for (const auto& [picker, note] : notes) {
    EXPECT_EQ(Picker(picker)->accessibleDescription(), note) << picker;
  }
}

TEST_F(Form1ControlsTest, Text1ShowsAndReturnsAnyText) {
  for (std::u16string text : {std::u16string(u"C:\\Archivi\\fonte.mdb"), std::u16string(u"/home/négozio/città €.xls"),
                              std::u16string(u"\U0001F4C4 listino.mdb"), std::u16string()}) {
    window_.SetText1(text);
    EXPECT_EQ(window_.Text1(), text) << Printable(text);
    EXPECT_EQ(window_.findChild<QLineEdit*>("Text1")->text().toStdU16String(), text);
  }
  // What the user types is what the handlers read.
  window_.findChild<QLineEdit*>("Text1")->setText("/tmp/scritto a mano.mdb");
  EXPECT_EQ(window_.Text1(), u"/tmp/scritto a mano.mdb");
}

TEST_F(Form1ControlsTest, Combo2ListsEntriesInOrderWithNoneSelected) {
  window_.AppendCombo2(u"Zeta");
  window_.AppendCombo2(u"Articoli");
  window_.AppendCombo2(u"Fornitori");
  QComboBox* combo2 = Combo("Combo2");
  ASSERT_EQ(combo2->count(), 3);
  EXPECT_EQ(combo2->itemText(0), "Zeta");  // not sorted
  EXPECT_EQ(combo2->itemText(2), "Fornitori");
  // Appending selects nothing: the table picker still reads empty.
  EXPECT_EQ(combo2->currentIndex(), -1);
  EXPECT_EQ(window_.Combo2Text(), u"");

  combo2->setCurrentIndex(1);
  EXPECT_EQ(window_.Combo2Text(), u"Articoli");
  window_.AppendCombo2(u"Listino");  // a selection made stays
  EXPECT_EQ(window_.Combo2Text(), u"Articoli");

  window_.ClearCombo2();
  EXPECT_EQ(combo2->count(), 0);
  EXPECT_EQ(window_.Combo2Text(), u"");
}

TEST_F(Form1ControlsTest, PickersAreAddressedByIndexAndEnabledOneByOne) {
  for (int picker = 0; picker < 7; ++picker) {
    window_.ClearPicker(picker);
    window_.AppendPicker(picker, u"");
    window_.AppendPicker(picker, u"Codice");
    window_.AppendPicker(picker, u"Picker " + std::u16string(1, char16_t(u'0' + picker)));
  }
  window_.EnablePicker(3);
  for (int picker = 0; picker < 7; ++picker) {
    SCOPED_TRACE(picker);
    EXPECT_EQ(Picker(picker)->isEnabled(), picker == 3);
    EXPECT_EQ(Picker(picker)->count(), 3);
    EXPECT_EQ(Picker(picker)->itemText(2), QString("Picker %1").arg(picker));
    EXPECT_EQ(window_.PickerText(picker), u"");
  }
  // The empty first entry selected reads the same as nothing selected.
  Picker(5)->setCurrentIndex(0);
  EXPECT_EQ(window_.PickerText(5), u"");
  Picker(5)->setCurrentIndex(1);
  EXPECT_EQ(window_.PickerText(5), u"Codice");
  EXPECT_EQ(window_.PickerText(4), u"");

  window_.ClearPicker(5);
  EXPECT_EQ(Picker(5)->count(), 0);
  EXPECT_EQ(window_.PickerText(5), u"");

  EXPECT_THROW(window_.PickerText(7), std::out_of_range);
  EXPECT_THROW(window_.EnablePicker(-1), std::out_of_range);
}

TEST_F(Form1ControlsTest, ProgressBarTakesValuesFromZeroToHundred) {
  QProgressBar* bar = window_.findChild<QProgressBar*>("ProgressBar1");
  const std::pair<float, int> cases[] = {{0.0f, 0}, {12.4f, 12}, {12.6f, 13}, {33.333f, 33}, {99.9f, 100},
                                         {100.0f, 100}, {0.4f, 0}};
  for (const auto& [value, shown] : cases) {
    window_.SetProgress(value);
    EXPECT_EQ(bar->value(), shown) << value;
  }
  // Values the bar cannot take leave it as it was.
  window_.SetProgress(42.0f);
  for (float refused : {-1.0f, 100.5f, std::nanf("")}) {
    window_.SetProgress(refused);
    EXPECT_EQ(bar->value(), 42) << refused;
  }
}

// Share of the progress bar's pixels, as the screen shows them now, that are far from the
// window's grey: the filled part of the bar.
double FilledShare(QWidget& window, QProgressBar* bar) {
  const QRect area(bar->mapTo(&window, QPoint(0, 0)), bar->size());
  const QImage shot = window.screen()->grabWindow(window.winId()).toImage();
  int filled = 0;
  for (int x = area.left() + 3; x < area.right() - 3; ++x) {
    const QColor pixel = shot.pixelColor(x, area.center().y());
    if (std::abs(pixel.red() - pixel.blue()) > 40) ++filled;  // the chunk is coloured, the groove grey
  }
  return static_cast<double>(filled) / (area.width() - 6);
}

TEST_F(Form1ControlsTest, ProgressBarRepaintsWithoutTheEventLoop) {
  // The import sets the bar once per record and takes no events in between.
  ShowAndActivate();
  QProgressBar* bar = window_.findChild<QProgressBar*>("ProgressBar1");
  EXPECT_LT(FilledShare(window_, bar), 0.05);
  window_.SetProgress(100.0f);
  EXPECT_GT(FilledShare(window_, bar), 0.9);
  window_.SetProgress(50.0f);
  const double half = FilledShare(window_, bar);
  EXPECT_GT(half, 0.4);
  EXPECT_LT(half, 0.6);
}

TEST_F(Form1ControlsTest, TabFromCombo2GoesUpThePickersSkippingDisabledOnes) {
  ShowAndActivate();
  for (int picker = 0; picker < 7; ++picker) window_.EnablePicker(picker);
  Combo("Combo2")->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), Combo("Combo2"));
  for (int picker = 6; picker >= 0; --picker) {
    QWidget* next = PressTab();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->objectName().toStdString(), QString("Combo6_%1").arg(picker).toStdString());
  }
  // After picker 0 the order starts again from Toolbar4, then step 1 and step 2.
  const char* rest[] = {"Toolbar4_Importa", "Toolbar4_Chiudi", "Text1", "Toolbar1_Sfoglia", "Combo2"};
  for (const char* name : rest) {
    QWidget* next = PressTab();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->objectName().toStdString(), name);
  }
}

TEST_F(Form1ControlsTest, TabPassesOverDisabledPickers) {
  ShowAndActivate();
  window_.EnablePicker(5);
  window_.EnablePicker(1);
  Combo("Combo2")->setFocus();
  const char* expected[] = {"Combo6_5", "Combo6_1", "Toolbar4_Importa"};
  for (const char* name : expected) {
    QWidget* next = PressTab();
    ASSERT_NE(next, nullptr);
    EXPECT_EQ(next->objectName().toStdString(), name);
  }
  window_.hide();
}

}  // namespace
