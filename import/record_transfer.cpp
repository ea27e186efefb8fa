#include "import/record_transfer.h"

#include <array>
#include <optional>
#include <string>

#include "engine/text/utf.h"
#include "engine/value/value.h"
#include "import/italian_texts.h"
#include "import/text_rules.h"

namespace import {
namespace {

// What a slot makes of a source value that passes.
enum class Treatment {
  CleanCategory,  // category-name cleaning
  CutToLimit,     // the first kTextLimit characters of the text form
  AsIs,           // the value itself, in its own type
};

struct Slot {
  int picker;
  std::u16string_view column_name;  // the destination column by name, or empty:
  int column_position;              // ... by position (from 0) in "Articoli"
  Treatment treatment;
  std::optional<std::u16string_view> default_text;  // written when the picker is empty
};

constexpr int kByName = -1;

// The slots in the order they are processed.
constexpr std::array<Slot, archives::kPickerCount> kSlots = {{
    {0, u"Categoria", kByName, Treatment::CleanCategory, u"Elenco prodotti"},
    {kCodePicker, {}, 1, Treatment::CutToLimit, std::nullopt},
    {2, u"Descrizione", kByName, Treatment::CutToLimit, std::nullopt},
    {3, {}, 3, Treatment::CutToLimit, std::nullopt},
    {4, {}, 4, Treatment::CutToLimit, u"0"},
    {5, {}, 5, Treatment::CutToLimit, u"0"},
    {6, {}, 8, Treatment::AsIs, u"Immagine non inserita"},
}};

int PositionOf(engine::Recordset& destination, const Slot& slot) {
  return slot.column_position == kByName ? destination.FieldPosition(slot.column_name) : slot.column_position;
}

// Moved into the new record: a call that fails leaves the value as it was.
void Write(engine::Recordset& destination, const Slot& slot, engine::Value&& value) {
  destination.SetValue(PositionOf(destination, slot), std::move(value));
}

// The destination field a slot writes, by name; empty when it cannot be told.
std::u16string FieldOf(const Slot& slot, archives::DataBinding& destination) {
  if (slot.column_position == kByName) return std::u16string(slot.column_name);
  try {
    return destination.Recordset().FieldName(slot.column_position);
  } catch (const std::exception&) {
    return {};
  }
}

// A number's text form (31 characters at most) is never cut: the destination converts the
// number as it would its text, without the text being written out.
bool IsNumber(const engine::Value& value) {
  using Type = engine::Value::Type;
  switch (value.type()) {
    case Type::Integer:
    case Type::Currency:
    case Type::Single:
    case Type::Double:
    case Type::Decimal: return true;
    default: return false;
  }
}

// Whether a text passes the slot's treatment unchanged, so that it can be moved on as it is.
bool PassesUnchanged(const Slot& slot, std::u16string_view text) {
  switch (slot.treatment) {
    case Treatment::CleanCategory: return text.size() <= kTextLimit && IsCleanCategory(text);
    case Treatment::CutToLimit: return text.size() <= kTextLimit;
    case Treatment::AsIs: return true;
  }
  return true;
}

// After a text was written: when the record keeps another text than the one written (an
// Access 97 price list keeps its code page's characters only), the report says so, naming the
// value as the source gave it.
// Read outside the run's regime: a failed read here is no failure of the run's.
void NoteChangedText(const Slot& slot, std::u16string_view written, std::u16string_view source_text,
                     archives::DataBinding& destination, TransferLosses& losses) {
  std::optional<engine::Value> kept;
  try {
    kept = destination.Recordset().GetValue(PositionOf(destination.Recordset(), slot));
  } catch (const std::exception&) {
    return;
  }
  if (kept->type() != engine::Value::Type::Text || kept->text() == written) return;
  FailureReason reason;
  reason.text =
      "the price list's code page lacks some of its characters: stored as \"" + engine::ToUtf8(kept->text()) + "\"";
  reason.in_italian = ChangedTextReason(kept->text());
  reason.field = FieldOf(slot, destination);
  reason.value = source_text;
  losses.changed.push_back(std::move(reason));
}

engine::Value Treat(const Slot& slot, const engine::Value& value, std::u16string_view text_form) {
  switch (slot.treatment) {
    case Treatment::CleanCategory:
      return engine::Value::Text(CleanCategory(text_form));
    case Treatment::CutToLimit:
      return engine::Value::Text(std::u16string(CutToLimit(text_form)));
    case Treatment::AsIs:
      break;
  }
  return value;
}

}  // namespace

TransferLosses TransferRecord(const archives::FormControls& form, archives::DataBinding& source,
                              archives::DataBinding& destination, ResumeNext& steps) {
  const engine::TextLocale& locale = source.locale();
  TransferLosses losses;
  for (const Slot& slot : kSlots) {
    // A slot that meant to write and could not: its column stays as the new record has it.
    // The report names the field and the value as the source gave it.
    const auto lost = [&](std::u16string_view source_text = {}) {
      FailureReason reason = steps.last_reason();
      if (reason.field.empty()) reason.field = FieldOf(slot, destination);
      if (!source_text.empty()) reason.value = source_text;
      losses.values.push_back(std::move(reason));
    };
    const std::optional<std::u16string> column = steps.Get([&] { return form.PickerText(slot.picker); });
    if (!column) {
      lost();  // the picker cannot be read: nothing is known to write
      continue;
    }
    if (column->empty()) {
      if (slot.default_text &&
          !steps.Run([&] { Write(destination.Recordset(), slot, engine::Value::Text(std::u16string(*slot.default_text))); })) {
        lost(*slot.default_text);
      }
      continue;
    }
    // A value that cannot be read is written as nothing: not even for the category, where an
    // earlier record's value would otherwise end up in this article.
    std::optional<engine::Value> value = steps.Get([&] { return source.Recordset().GetValue(*column); });
    if (!value) {
      lost();
      continue;
    }
    if (value->is_null()) continue;
    if (value->type() == engine::Value::Type::Text) {
      // A text is its own text form. Null and the empty text pass nothing, not even the default.
      const std::u16string& text = value->text();
      if (text.empty()) continue;
      if (PassesUnchanged(slot, text)) {
        // Moved into the record; a copy is kept only while the comparison after needs it.
        const std::u16string written = text;
        if (steps.Run([&] { Write(destination.Recordset(), slot, std::move(*value)); })) {
          NoteChangedText(slot, written, written, destination, losses);
        } else {
          lost(value->text());
        }
      } else {
        engine::Value treated = Treat(slot, *value, text);
        const std::u16string written = treated.text();
        if (steps.Run([&] { Write(destination.Recordset(), slot, std::move(treated)); })) {
          NoteChangedText(slot, written, text, destination, losses);
        } else {
          lost(text);
        }
      }
      continue;
    }
    if (slot.treatment == Treatment::CutToLimit && IsNumber(*value)) {
      if (!steps.Run([&] {
            engine::Recordset& record = destination.Recordset();
            record.SetTextForm(PositionOf(record, slot), *value, locale);
          })) {
        lost(value->ToText(locale));
      }
      continue;
    }
    const std::u16string text_form = value->ToText(locale);
    if (text_form.empty()) continue;
    engine::Value treated = Treat(slot, *value, text_form);
    const std::optional<std::u16string> written =
        treated.type() == engine::Value::Type::Text ? std::optional(treated.text()) : std::nullopt;
    if (!steps.Run([&] { Write(destination.Recordset(), slot, std::move(treated)); })) {
      lost(text_form);
    } else if (written) {
      NoteChangedText(slot, *written, text_form, destination, losses);
    }
  }
  return losses;
}

std::u16string SourceTextFor(std::u16string_view field, const archives::FormControls& form,
                             archives::DataBinding& source, archives::DataBinding& destination) {
  for (const Slot& slot : kSlots) {
    if (FieldOf(slot, destination) != field) continue;
    try {
      const std::u16string column = form.PickerText(slot.picker);
      if (column.empty()) return std::u16string(slot.default_text.value_or(u""));
      return source.Recordset().GetValue(column).ToText(source.locale());
    } catch (const std::exception&) {
      return {};
    }
  }
  return {};
}

}  // namespace import
