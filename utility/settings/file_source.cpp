#include "file_source.h"

#include <fstream>
#include <iterator>
#include <system_error>

namespace lx2d {

bool CDiskFileSource::Exists(const std::filesystem::path& path) const {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  if (error) return false;
  return std::filesystem::exists(full, error) && !error;
}

bool CDiskFileSource::ReadAll(const std::filesystem::path& path, std::string& bytes) const {
  bytes.clear();
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return false;
  std::ifstream stream(path, std::ios::binary);
  if (!stream) return false;
  bytes.assign(std::istreambuf_iterator<char>(stream), std::istreambuf_iterator<char>());
  if (stream.bad()) {
    bytes.clear();
    return false;
  }
  return true;
}

}  // namespace lx2d
