// Where the report of an import run is written: a new file in the folder "Importazioni"
// beside the price list (the window's runs), or a file named on the command line.
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

// The folder "Importazioni" beside the file `price_list` is, following a symbolic link to
// the real file (the package keeps the price list in a data folder the clerks' group can
// write). Created when missing, with that folder's group and mode, so that every clerk can
// write into it.
std::filesystem::path ReportFolder(const std::filesystem::path& price_list);

// The name of a run's report from its local start time, without its extension:
// importazione-2026-12-07-140305.
std::string ReportFileName(const std::tm& start);

// Writes `content` into a new file of `folder` named after `start` (with "-2", "-3"… when two
// runs started in the same second) and returns its path.
std::filesystem::path WriteNewReport(const std::filesystem::path& folder, const std::tm& start,
                                     const std::string& content);

// Writes `content` into `file`, replacing it.
void WriteReport(const std::filesystem::path& file, const std::string& content);

// Where a report for `place` goes, as the closing message names it when it cannot be written:
// the folder beside the price list, or the file.
std::filesystem::path IntendedReportPlace(const ReportPlace& place, const std::filesystem::path& price_list);

// Writes `content` where `place` says and returns the file's path.
std::filesystem::path WriteReportAt(const ReportPlace& place, const std::filesystem::path& price_list,
                                    const std::tm& start, const std::string& content);

// Each throws engine::Error, of the kind the failed call's errno gives, when the folder or the
// file cannot be made or written; a file that could not be written whole is removed.

}  // namespace import
