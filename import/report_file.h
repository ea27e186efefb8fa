// Where the report of an import run is written: a new file in the folder "Importazioni"
// beside the price list (the window's runs), or a file named on the command line.
//
// The price list's folder is shared: every clerk of the group may write it, so any name in it
// may have been replaced by a link to another user's file. Both places are therefore reached
// through descriptors, never through a link: the folder is opened without following one, and
// a report is always a file this run created (O_EXCL), put in place by a rename when a name is
// given.
#pragma once

#include <ctime>
#include <filesystem>
#include <string>

namespace import {

struct ReportPlace {
  enum class Kind { None, BesidePriceList, File };
  Kind kind = Kind::None;
  std::filesystem::path file;  // for Kind::File

  static ReportPlace BesidePriceList() { return {Kind::BesidePriceList, {}}; }
  static ReportPlace File(std::filesystem::path file) { return {Kind::File, std::move(file)}; }
};

// The file the price list's name leads to, its symbolic links followed (the package's
// listini.mdb is one, into the data folder): the file the engine writes. The name itself
// when it leads nowhere.
std::filesystem::path RealPriceList(const std::filesystem::path& price_list);

// The name of a run's report from its local start time, without its extension:
// importazione-2026-12-07-140305.
std::string ReportFileName(const std::tm& start);

// Writes `content` into `file`, replacing what stands at that name (a link is replaced, what
// it points to is left alone).
void WriteReport(const std::filesystem::path& file, const std::string& content);

// Where a report for `place` goes, as the closing message names it when it cannot be written:
// the folder beside the price list, or the file.
std::filesystem::path IntendedReportPlace(const ReportPlace& place, const std::filesystem::path& price_list);

// Writes `content` where `place` says and returns the file's path. Beside the price list, the
// report is a new file of the folder "Importazioni" beside the real price list, named after
// `start` (with "-2", "-3"… when two runs started in the same second); the folder is made
// when missing, with its own folder's group and mode, so that every clerk can write into it.
std::filesystem::path WriteReportAt(const ReportPlace& place, const std::filesystem::path& price_list,
                                    const std::tm& start, const std::string& content);

// Each throws engine::Error, of the kind the failed call's errno gives, when the folder or the
// file cannot be made or written (AlreadyExists when something other than a folder stands at
// the report folder's name); a file that could not be written whole is removed.

}  // namespace import
