#pragma once
// Real locales for the tests, made with localedef into a folder of their own and found
// through LOCPATH, so that no locale of the machine is changed.

#include <clocale>
#include <string>

#ifndef _WIN32
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#endif

#include "support/environment.h"

namespace ardel::testing {

#ifndef _WIN32
// The folder that LOCPATH must name, with `name` (such as "ja_JP.EUC-JP", made from
// the source ja_JP and the charmap EUC-JP) in it; empty when localedef cannot make it.
inline std::string GeneratedLocales(const std::string& source, const std::string& charmap) {
  const std::string folder = "/tmp/ardel-test-locales-" + std::to_string(::geteuid());
  const std::string name = source + "." + charmap;
  std::error_code error;
  if (std::filesystem::exists(folder + "/" + name + "/LC_TIME", error)) return folder;
  std::filesystem::create_directories(folder, error);
  // Made beside and renamed, so test programs running at once never see half a locale.
  const std::string temp = folder + "/." + name + "." + std::to_string(::getpid());
  const std::string command = "localedef -i " + source + " -f " + charmap + " " + temp + " >/dev/null 2>&1";
  if (std::system(command.c_str()) == -1 || !std::filesystem::exists(temp + "/LC_TIME", error)) {
    std::filesystem::remove_all(temp, error);
    return {};
  }
  std::filesystem::rename(temp, folder + "/" + name, error);
  std::filesystem::remove_all(temp, error);
  return folder;
}

#endif

// Sets the whole locale to a generated one; false when it is not to be had. Windows has
// no localedef: its locales are the system's, set through the regional settings.
inline bool UseGeneratedLocale(const std::string& source, const std::string& charmap) {
#ifdef _WIN32
  (void)source;
  (void)charmap;
  return false;
#else
  const std::string folder = GeneratedLocales(source, charmap);
  if (folder.empty()) return false;
  SetEnv("LOCPATH", folder);
  return std::setlocale(LC_ALL, (source + "." + charmap).c_str()) != nullptr;
#endif
}

}  // namespace ardel::testing
