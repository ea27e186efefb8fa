// Form1 against the window's design: every control's place and size in twips, its texts,
// the window's own settings and the initial state.
#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QScreen>
#include <QToolButton>
#include <gtest/gtest.h>

#include "app/form1.h"
#include "app/twips.h"
#include "tests/app/window_test_support.h"

namespace {

using app::TwipsToPixels;

enum class Sizing { Fixed, DropDown, ToText };

struct Placement {
  const char* name;
  const char* container;
  int left, top, width, height;  // twips
  Sizing sizing;
  const char* caption;  // nullptr: no caption to check
};

// The design of the window, written out control by control.
const Placement kPlacements[] = {
    {"Frame2", "Form1", 120, 120, 6495, 1095, Sizing::Fixed,
     "Passo 1: Selezionare l'archivio da cui si desidera importare i dati"},
    {"Frame1", "Form1", 120, 1440, 6495, 975, Sizing::Fixed, "Passo 2 - Seleziona tabella"},
    {"Frame3", "Form1", 120, 2640, 6495, 3135, Sizing::Fixed, "Passo 3 - Selezione campi"},
    {"Toolbar1", "Frame2", 120, 360, 1200, 600, Sizing::Fixed, nullptr},
    {"Text1", "Frame2", 1560, 660, 4815, 285, Sizing::Fixed, ""},
    {"Label6_0", "Frame1", 120, 480, 3975, 255, Sizing::Fixed,
     "Selezionare la tabella \"Articoli\" dal database sorgente"},
    {"Combo2", "Frame1", 4200, 360, 2175, 315, Sizing::DropDown, nullptr},
    {"Label11", "Form1", 120, 6120, 1590, 195, Sizing::ToText, "Stato di avanzamento:"},
    {"ProgressBar1", "Form1", 120, 6360, 6495, 255, Sizing::Fixed, nullptr},
    {"Toolbar4", "Form1", 4080, 6840, 2520, 600, Sizing::Fixed, nullptr},
    // Step 3, row by row: role label, picker, requirement note.
    {"Label7_1", "Frame3", 120, 360, 1050, 195, Sizing::ToText, "Codice articolo"},
    {"Combo6_1", "Frame3", 1920, 240, 2295, 315, Sizing::DropDown, nullptr},
    {"Label4_22", "Frame3", 4320, 360, 1440, 195, Sizing::ToText, "(Campo obbligatorio)"},
    {"Label7_0", "Frame3", 120, 780, 1125, 195, Sizing::ToText, "Nome categoria"},
    {"Combo6_0", "Frame3", 1920, 660, 2295, 315, Sizing::DropDown, nullptr},
    {"Label4_23", "Frame3", 4320, 720, 1755, 195, Sizing::ToText, "(Campo non obbligatorio)"},
    {"Label7_2", "Frame3", 120, 1200, 825, 195, Sizing::ToText, "Descrizione"},
    {"Combo6_2", "Frame3", 1920, 1080, 2295, 315, Sizing::DropDown, nullptr},
    {"Label4_24", "Frame3", 4320, 1080, 1755, 195, Sizing::ToText, "(Campo non obbligatorio)"},
    {"Label7_3", "Frame3", 120, 1560, 1485, 195, Sizing::ToText, "Descrizione catalogo"},
    {"Combo6_3", "Frame3", 1920, 1440, 2295, 315, Sizing::DropDown, nullptr},
    {"Label4_27", "Frame3", 4320, 1440, 1755, 195, Sizing::ToText, "(Campo non obbligatorio)"},
    {"Label7_4", "Frame3", 120, 1920, 480, 195, Sizing::ToText, "Prezzo"},
    {"Combo6_4", "Frame3", 1920, 1800, 2295, 315, Sizing::DropDown, nullptr},
    {"Label4_26", "Frame3", 4320, 1800, 1755, 195, Sizing::ToText, "(Campo non obbligatorio)"},
    {"Label7_6", "Frame3", 120, 2280, 615, 195, Sizing::ToText, "Prezzo 2"},
    {"Combo6_5", "Frame3", 1920, 2160, 2295, 315, Sizing::DropDown, nullptr},
    {"Label4_25", "Frame3", 4320, 2160, 1755, 195, Sizing::ToText, "(Campo non obbligatorio)"},
    {"Label7_7", "Frame3", 120, 2640, 1335, 195, Sizing::ToText, "Percorso immagine"},
    {"Combo6_6", "Frame3", 1920, 2520, 2295, 315, Sizing::DropDown, nullptr},
    {"Label4_29", "Frame3", 4320, 2520, 1755, 195, Sizing::ToText, "(Campo non obbligatorio)"},
};

struct ButtonDesign {
  const char* name;
  const char* caption;
  int width, height;  // twips
};

const ButtonDesign kButtons[] = {
    {"Toolbar1_Sfoglia", "Sfoglia", 1125, 570},
    {"Toolbar4_Importa", "Importa", 1215, 570},
    {"Toolbar4_Chiudi", "Chiudi", 1215, 570},
};

class Form1LayoutTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { testsupport::Application(); }

  QWidget* Control(const char* name) {
    QWidget* control = window_.findChild<QWidget*>(name);
    EXPECT_NE(control, nullptr) << name;
    return control;
  }

  testsupport::ScriptedDialogs dialogs_;
  app::Form1 window_{engine::TextLocale::Italian(), &dialogs_};
};

QString CaptionOf(QWidget* control) {
  if (auto* frame = qobject_cast<QGroupBox*>(control)) return frame->title();
  if (auto* label = qobject_cast<QLabel*>(control)) return label->text();
  if (auto* line = qobject_cast<QLineEdit*>(control)) return line->text();
  if (auto* button = qobject_cast<QAbstractButton*>(control)) return button->text();
  return QString();
}

TEST(TwipsTest, FifteenTwipsMakeOnePixel) {
  EXPECT_EQ(TwipsToPixels(0), 0);
  EXPECT_EQ(TwipsToPixels(15), 1);
  EXPECT_EQ(TwipsToPixels(6675), 445);
  EXPECT_EQ(TwipsToPixels(7665), 511);
  EXPECT_EQ(TwipsToPixels(22), 1);  // nearest pixel
  EXPECT_EQ(TwipsToPixels(23), 2);
}

TEST_F(Form1LayoutTest, WindowSettings) {
  EXPECT_EQ(window_.objectName(), "Form1");
  EXPECT_EQ(window_.windowTitle(), "Importazione archivi");
  EXPECT_EQ(window_.size(), QSize(445, 511));
  // Fixed dialog border: cannot be resized, close box only.
  EXPECT_EQ(window_.minimumSize(), window_.size());
  EXPECT_EQ(window_.maximumSize(), window_.size());
  const Qt::WindowFlags flags = window_.windowFlags();
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::CustomizeWindowHint);
  EXPECT_FALSE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(window_.palette().color(QPalette::Window), QColor(224, 224, 224));
  EXPECT_TRUE(window_.autoFillBackground());
  EXPECT_EQ(window_.font().family(), "Liberation Sans");
  EXPECT_EQ(window_.font().pointSize(), 8);
  EXPECT_FALSE(window_.windowIcon().isNull());
}

TEST_F(Form1LayoutTest, WindowIsCentredOnTheScreen) {
  const QRect screen = window_.screen()->geometry();
  EXPECT_LE(std::abs(window_.geometry().center().x() - screen.center().x()), 1);
  EXPECT_LE(std::abs(window_.geometry().center().y() - screen.center().y()), 1);
}

TEST_F(Form1LayoutTest, EveryControlStandsWhereTheDesignPutsIt) {
  for (const Placement& p : kPlacements) {
    SCOPED_TRACE(p.name);
    QWidget* control = Control(p.name);
    if (!control) continue;
    ASSERT_NE(control->parentWidget(), nullptr);
    EXPECT_EQ(control->parentWidget()->objectName(), p.container);
    const QRect geometry = control->geometry();
    EXPECT_EQ(geometry.x(), TwipsToPixels(p.left));
    EXPECT_EQ(geometry.y(), TwipsToPixels(p.top));
    switch (p.sizing) {
      case Sizing::Fixed:
        EXPECT_EQ(geometry.size(), QSize(TwipsToPixels(p.width), TwipsToPixels(p.height)));
        break;
      case Sizing::DropDown:
        EXPECT_EQ(geometry.width(), TwipsToPixels(p.width));
        EXPECT_EQ(geometry.height(), std::max(TwipsToPixels(p.height), app::kMinimumDropDownHeight));
        break;
      case Sizing::ToText:
        // Never narrower than designed, and wide enough for the whole caption.
        EXPECT_EQ(geometry.height(), TwipsToPixels(p.height));
        EXPECT_GE(geometry.width(), TwipsToPixels(p.width));
        EXPECT_GE(geometry.width(), control->fontMetrics().horizontalAdvance(CaptionOf(control)));
        break;
    }
    if (p.caption) {
      EXPECT_EQ(CaptionOf(control).toStdString(), p.caption);
    }
    EXPECT_TRUE(control->isVisibleTo(&window_));
  }
}

TEST_F(Form1LayoutTest, VisibleControlsDoNotOverlapAndStayInsideTheirContainer) {
  std::vector<QWidget*> controls;
  for (const Placement& p : kPlacements) {
    if (QWidget* control = Control(p.name)) controls.push_back(control);
  }
  for (size_t i = 0; i < controls.size(); ++i) {
    QWidget* a = controls[i];
    EXPECT_TRUE(a->parentWidget()->rect().contains(a->geometry()))
        << a->objectName().toStdString() << " leaves its container";
    for (size_t j = i + 1; j < controls.size(); ++j) {
      QWidget* b = controls[j];
      if (a->parentWidget() != b->parentWidget()) continue;
      EXPECT_FALSE(a->geometry().intersects(b->geometry()))
          << a->objectName().toStdString() << " overlaps " << b->objectName().toStdString();
    }
  }
}

TEST_F(Form1LayoutTest, RoleLabelsSitOnTheLineOfTheirPicker) {
  // Each role label's bottom edge lines up with its picker's; the picker may be drawn one
  // pixel taller than designed.
  const std::pair<const char*, const char*> rows[] = {{"Label7_1", "Combo6_1"}, {"Label7_0", "Combo6_0"},
                                                      {"Label7_2", "Combo6_2"}, {"Label7_3", "Combo6_3"},
                                                      {"Label7_4", "Combo6_4"}, {"Label7_6", "Combo6_5"},
                                                      {"Label7_7", "Combo6_6"}};
  for (const auto& [label, picker] : rows) {
    SCOPED_TRACE(label);
    const QRect label_box = Control(label)->geometry();
    const QRect picker_box = Control(picker)->geometry();
    const int designed_bottom = picker_box.top() + TwipsToPixels(315);
    EXPECT_EQ(label_box.top() + label_box.height(), designed_bottom);
    EXPECT_LT(label_box.right(), picker_box.left());
  }
}

TEST_F(Form1LayoutTest, ToolbarButtonsShowPictureAndCaption) {
  for (const ButtonDesign& design : kButtons) {
    SCOPED_TRACE(design.name);
    auto* button = window_.findChild<QToolButton*>(design.name);
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->text(), design.caption);
    EXPECT_TRUE(button->toolTip().isEmpty());
    EXPECT_EQ(button->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    EXPECT_EQ(button->size(), QSize(TwipsToPixels(design.width), TwipsToPixels(design.height)));
    EXPECT_EQ(button->iconSize(), QSize(32, 32));
    EXPECT_FALSE(button->icon().isNull());
    EXPECT_TRUE(button->parentWidget()->rect().contains(button->geometry()));
    // Picture and caption side by side fit the button.
    EXPECT_LE(32 + button->fontMetrics().horizontalAdvance(button->text()) + 4, button->width());
  }
  // Toolbar4's two buttons stand side by side, Importa first.
  const QRect importa = window_.findChild<QToolButton*>("Toolbar4_Importa")->geometry();
  const QRect chiudi = window_.findChild<QToolButton*>("Toolbar4_Chiudi")->geometry();
  EXPECT_EQ(importa.right() + 1, chiudi.left());
}

TEST_F(Form1LayoutTest, InitialState) {
  auto* text1 = window_.findChild<QLineEdit*>("Text1");
  ASSERT_NE(text1, nullptr);
  EXPECT_TRUE(text1->text().isEmpty());
  EXPECT_TRUE(text1->isEnabled());
  EXPECT_FALSE(text1->isReadOnly());

  auto* combo2 = window_.findChild<QComboBox*>("Combo2");
  ASSERT_NE(combo2, nullptr);
  EXPECT_EQ(combo2->count(), 0);
  EXPECT_TRUE(combo2->isEnabled());
  EXPECT_FALSE(combo2->isEditable());

  for (int picker = 0; picker < 7; ++picker) {
    SCOPED_TRACE(picker);
    auto* combo = window_.findChild<QComboBox*>(QString("Combo6_%1").arg(picker));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->count(), 0);
    EXPECT_FALSE(combo->isEnabled());
    EXPECT_FALSE(combo->isEditable());
    EXPECT_TRUE(window_.PickerText(picker).empty());
  }

  auto* bar = window_.findChild<QProgressBar*>("ProgressBar1");
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->minimum(), 0);
  EXPECT_EQ(bar->maximum(), 100);
  EXPECT_EQ(bar->value(), 0);
  EXPECT_EQ(bar->orientation(), Qt::Horizontal);

  // Everything but the pickers is enabled; the window itself shows no handler's work yet.
  for (const Placement& p : kPlacements) {
    if (QString(p.name).startsWith("Combo6_")) continue;
    EXPECT_TRUE(Control(p.name)->isEnabled()) << p.name;
  }
  EXPECT_TRUE(dialogs_.messages.empty());
  EXPECT_EQ(dialogs_.end_program_calls, 0);
}

}  // namespace
