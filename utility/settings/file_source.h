// Where the settings reader gets the file from. The engine reads the file
// afresh for every key, as the profile functions it mirrors do; tests and the
// fuzzer hand in files from memory.
#pragma once

#include <filesystem>
#include <string>

namespace lx2d {

class IFileSource {
 public:
  virtual ~IFileSource() = default;

  // True when the path can be made a full path and names something that
  // exists (the attribute query of the original); false otherwise.
  virtual bool Exists(const std::filesystem::path& path) const = 0;

  // Replaces `bytes` with the whole content of the file. False when the file
  // cannot be opened or read (a directory, no permission); `bytes` is then
  // empty.
  virtual bool ReadAll(const std::filesystem::path& path, std::string& bytes) const = 0;
};

// The files on disk, through the standard library.
class CDiskFileSource final : public IFileSource {
 public:
  bool Exists(const std::filesystem::path& path) const override;
  bool ReadAll(const std::filesystem::path& path, std::string& bytes) const override;
};

}  // namespace lx2d
