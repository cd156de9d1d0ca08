#pragma once
// A folder of its own under the system's temporary folder, removed with everything in it
// at the end. Made with std::filesystem, so the same test runs on both systems.

#include <filesystem>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

namespace ardel::testing {

// A new, empty folder whose name starts with `prefix`; never one that was there before.
inline std::filesystem::path MakeTempDir(const std::string& prefix) {
  static std::random_device seed;
  std::mt19937_64 random(seed());
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path dir = base / (prefix + "-" + std::to_string(random() % 1000000000));
    std::error_code error;
    if (std::filesystem::create_directory(dir, error)) return dir;
  }
  throw std::runtime_error("cannot make a temporary folder in " + base.string());
}

class TTempDir {
 public:
  explicit TTempDir(const std::string& prefix = "ardel-test") : path_(MakeTempDir(prefix)) {}
  ~TTempDir() {
    std::error_code error;
    std::filesystem::remove_all(path_, error);
  }
  TTempDir(const TTempDir&) = delete;
  TTempDir& operator=(const TTempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  // With forward slashes, as the program writes its own paths.
  std::string Text() const { return path_.generic_string(); }

 private:
  std::filesystem::path path_;
};

}  // namespace ardel::testing
