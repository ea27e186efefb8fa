// archivi relate FILE NAME TABLE COLUMN[,COLUMN...] REFERENCED_TABLE COLUMN[,COLUMN...]
//                [--cascade-deletes] [--cascade-updates] [--not-enforced]
// adds a relationship as Access's Relationships window stores it in MSysRelationships: rows
// of TABLE name rows of REFERENCED_TABLE by the columns given, paired in order. The engine
// keeps it on every later write (see engine/jet/table/relationship_keeper.h).
#include <cstdio>
#include <cstring>

#include "engine/jet/create/relationship_creator.h"
#include "engine/text/utf.h"
#include "tools/archivi/commands.h"

namespace archivi {
namespace {

std::vector<std::u16string> SplitCommas(const std::string& list) {
  std::vector<std::u16string> names(1);
  for (char c : list) {
    if (c == ',') {
      names.emplace_back();
    } else {
      names.back() += static_cast<char16_t>(static_cast<unsigned char>(c));
    }
  }
  for (std::u16string& name : names) name = engine::FromUtf8(std::string(name.begin(), name.end()));
  return names;
}

}  // namespace

int RelateCommand(const Arguments& args) {
  static const char kUsage[] =
      "usage: archivi relate FILE NAME TABLE COLUMN[,COLUMN...] REFERENCED_TABLE COLUMN[,COLUMN...] "
      "[--cascade-deletes] [--cascade-updates] [--not-enforced]\n";
  if (args.size() < 6) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  engine::jet::Relationship relationship;
  relationship.name = engine::FromUtf8(args[1]);
  relationship.table = engine::FromUtf8(args[2]);
  relationship.columns = SplitCommas(args[3]);
  relationship.referenced_table = engine::FromUtf8(args[4]);
  relationship.referenced_columns = SplitCommas(args[5]);
  for (size_t i = 6; i < args.size(); ++i) {
    if (args[i] == "--cascade-deletes") {
      relationship.flags |= engine::jet::kRelationCascadeDeletes;
    } else if (args[i] == "--cascade-updates") {
      relationship.flags |= engine::jet::kRelationCascadeUpdates;
    } else if (args[i] == "--not-enforced") {
      relationship.flags |= engine::jet::kRelationNotEnforced;
    } else {
      std::fputs(kUsage, stderr);
      return 2;
    }
  }
  engine::jet::CreateRelationship(args[0], relationship);  // errors reach main, which prints them
  std::printf("relationship %s added\n", args[1].c_str());
  return 0;
}

}  // namespace archivi
