#pragma once

// A fresh folder under the system's temporary folder, removed with its
// contents when the test ends.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>
#include <string>
#include <system_error>

class ScratchFolder
{
public:
  ScratchFolder()
  {
    namespace fs = std::filesystem;
    std::mt19937_64 random(std::random_device{}() ^
                           static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (int attempt = 0; attempt < 100; ++attempt)
    {
      const fs::path candidate = fs::temp_directory_path() / ("korvel-gfx-test-" + std::to_string(random()));
      if (fs::create_directory(candidate))
      {
        mRoot = candidate;
        return;
      }
    }
    throw std::runtime_error("no scratch folder could be created");
  }

  ~ScratchFolder()
  {
    std::error_code ignored;
    std::filesystem::remove_all(mRoot, ignored);
  }

  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  /** The path of a file or folder inside; the relative part may use "/" or the platform's separator. */
  std::string Path(const std::string& relative) const { return mRoot.string() + "/" + relative; }

  /** Writes a file inside (creating its folders) and returns its path. */
  std::string Write(const std::string& relative, const std::string& content) const
  {
    const std::string path = Path(relative);
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream file(path, std::ios::binary);
    file << content;
    if (!file.flush())
      throw std::runtime_error("cannot write " + path);
    return path;
  }

private:
  std::filesystem::path mRoot;
};
