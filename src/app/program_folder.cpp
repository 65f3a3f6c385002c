#include "app/program_folder.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace kinvar {

namespace {

std::filesystem::path ChooseFolder() {
  if (const char* home = std::getenv("KINVAR_HOME"); home && *home) return home;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
    return std::filesystem::path(xdg) / "kinvar";
  if (const char* home = std::getenv("HOME"); home && *home)
    return std::filesystem::path(home) / ".config" / "kinvar";
  return {};
}

}  // namespace

std::string ProgramFolder() {
  const std::filesystem::path folder = ChooseFolder();
  if (folder.empty()) return {};
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (!std::filesystem::is_directory(folder, error)) return {};
  std::string text = folder.string();
  if (text.back() != '/') text += '/';
  return text;
}

}  // namespace kinvar
