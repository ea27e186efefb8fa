// Whole files read and written in one call, and text cut into lines and tab-separated fields.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testsupport {

std::string ReadText(const std::filesystem::path& path);  // the bytes as they are, "" when unreadable
std::vector<uint8_t> ReadBytes(const std::filesystem::path& path);
void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes);  // replaces the file

std::vector<std::string> SplitLines(const std::string& text);
std::vector<std::string> SplitTabs(const std::string& line);

}  // namespace testsupport
