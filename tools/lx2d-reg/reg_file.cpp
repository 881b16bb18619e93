#include "reg_file.h"

#include <cstdio>
#include <vector>

#include "platform/text.h"
#include "reg_value_text.h"

namespace lx2d::reg {

using platform::DWORD;
using platform::HKEY;
using platform::IRegistry;
using platform::LSTATUS;

namespace {

constexpr std::string_view kHeader = "Windows Registry Editor Version 5.00";

std::string Quote(std::string_view text) {
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') quoted.push_back('\\');
    quoted.push_back(c);
  }
  return quoted + "\"";
}

std::string HexList(const Bytes& data) {
  std::string list;
  char pair[4];
  for (std::size_t i = 0; i < data.size(); ++i) {
    std::snprintf(pair, sizeof(pair), "%02x", data[i]);
    if (i > 0) list.push_back(',');
    list += pair;
  }
  return list;
}

// True when `data` is UTF-16 text without NUL followed by one terminator, and
// without line breaks: a quoted string cannot span lines of the file.
bool IsPlainString(const Bytes& data) {
  if (data.size() < 2 || data.size() % 2 != 0) return false;
  if (data[data.size() - 1] != 0 || data[data.size() - 2] != 0) return false;
  for (std::size_t i = 0; i + 2 < data.size(); i += 2) {
    bool lineBreak = data[i + 1] == 0 && (data[i] == '\r' || data[i] == '\n');
    if ((data[i] == 0 && data[i + 1] == 0) || lineBreak) return false;
  }
  Bytes text(data.begin(), data.end() - 2);
  return Utf16Bytes(TextOfUtf16(text)) == text;  // no unpaired surrogates
}

std::string ValueLine(const std::string& name, DWORD type, const Bytes& data) {
  std::string line = name.empty() ? "@" : Quote(name);
  line += "=";
  if (type == platform::REG_SZ && IsPlainString(data)) {
    line += Quote(TextOfUtf16(Bytes(data.begin(), data.end() - 2)));
  } else if (type == platform::REG_DWORD && data.size() == 4) {
    char text[24];
    std::snprintf(text, sizeof(text), "dword:%08x",
                  static_cast<unsigned>(data[0] | (data[1] << 8) | (data[2] << 16) |
                                        (static_cast<unsigned>(data[3]) << 24)));
    line += text;
  } else if (type == platform::REG_BINARY) {
    line += "hex:" + HexList(data);
  } else {
    char prefix[24];
    std::snprintf(prefix, sizeof(prefix), "hex(%x):", static_cast<unsigned>(type));
    line += prefix + HexList(data);
  }
  return line + "\r\n";
}

bool HasLineBreak(std::string_view name) { return name.find_first_of("\r\n") != name.npos; }

// The registry's ERROR_NO_MORE_ITEMS ends a listing; anything else fails it.
LSTATUS EndOfListing(LSTATUS status) {
  return status == platform::ERROR_NO_MORE_ITEMS ? platform::ERROR_SUCCESS : status;
}

LSTATUS ExportTree(IRegistry& registry, HKEY root, const std::string& subKey, std::string* text,
                   std::string* badName) {
  HKEY key = 0;
  LSTATUS status = registry.OpenKey(root, subKey, platform::KEY_READ, &key);
  if (status != platform::ERROR_SUCCESS) return status;
  *text += "[" + KeyPath{root, subKey}.FullName() + "]\r\n";
  std::string name;
  DWORD type = 0;
  Bytes data;
  DWORD i = 0;
  while ((status = registry.EnumValue(key, i++, &name, &type, &data)) == platform::ERROR_SUCCESS) {
    if (HasLineBreak(name)) {
      *badName = KeyPath{root, subKey}.FullName() + " value " + name;
      status = platform::ERROR_INVALID_DATA;
      break;
    }
    *text += ValueLine(name, type, data);
  }
  *text += "\r\n";
  std::vector<std::string> children;
  if ((status = EndOfListing(status)) == platform::ERROR_SUCCESS) {
    i = 0;
    while ((status = registry.EnumKey(key, i++, &name)) == platform::ERROR_SUCCESS) {
      children.push_back(name);
      if (HasLineBreak(name)) {
        *badName = KeyPath{root, subKey}.FullName() + "\\" + name;
        status = platform::ERROR_INVALID_DATA;
        break;
      }
    }
    status = EndOfListing(status);
  }
  registry.CloseKey(key);
  for (std::size_t c = 0; c < children.size() && status == platform::ERROR_SUCCESS; ++c) {
    status = ExportTree(registry, root, subKey.empty() ? children[c] : subKey + "\\" + children[c],
                        text, badName);
  }
  return status;
}

// The file as UTF-8 without byte-order mark.
std::string DecodeFile(std::string_view text) {
  if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF &&
      static_cast<unsigned char>(text[1]) == 0xFE) {
    std::u16string units;
    for (std::size_t i = 2; i + 1 < text.size(); i += 2) {
      units.push_back(static_cast<char16_t>(static_cast<unsigned char>(text[i]) |
                                            (static_cast<unsigned char>(text[i + 1]) << 8)));
    }
    return Utf8KeepingUnits(units);  // the registry keeps lone surrogates too
  }
  if (text.size() >= 3 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
  return std::string(text);
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

// Reads a quoted string at the start of `text` (escapes \\ and \"); the rest
// of the text stays in `text`.
bool TakeQuoted(std::string_view* text, std::string* value) {
  if (text->empty() || text->front() != '"') return false;
  value->clear();
  for (std::size_t i = 1; i < text->size(); ++i) {
    char c = (*text)[i];
    if (c == '\\' && i + 1 < text->size()) {
      value->push_back((*text)[++i]);
    } else if (c == '"') {
      text->remove_prefix(i + 1);
      return true;
    } else {
      value->push_back(c);
    }
  }
  return false;
}

bool ParseHexList(std::string_view text, Bytes* bytes) {
  bytes->clear();
  text = Trim(text);
  if (text.empty()) return true;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    std::string_view item =
        Trim(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
    std::optional<Bytes> byte = ParseData(platform::REG_BINARY, item);
    if (!byte || byte->size() != 1) return false;
    bytes->push_back((*byte)[0]);
    if (comma == std::string_view::npos) return true;
    start = comma + 1;
  }
  return true;
}

// The type and bytes of the text after '='.
bool ParseValue(std::string_view text, DWORD* type, Bytes* data, std::string* error) {
  if (!text.empty() && text.front() == '"') {
    std::string value;
    if (!TakeQuoted(&text, &value) || !Trim(text).empty()) {
      *error = "unterminated string";
      return false;
    }
    std::optional<Bytes> bytes = ParseData(platform::REG_SZ, value);
    if (!bytes) {
      *error = "string is not valid UTF-8";
      return false;
    }
    *type = platform::REG_SZ;
    *data = std::move(*bytes);
    return true;
  }
  if (text.substr(0, 6) == "dword:") {
    std::string_view digits = text.substr(6);
    std::optional<Bytes> value;
    if (!digits.empty() && digits.size() <= 8) {
      value = ParseData(platform::REG_DWORD, "0x" + std::string(digits));
    }
    if (!value) {
      *error = "bad dword value";
      return false;
    }
    *type = platform::REG_DWORD;
    *data = *value;
    return true;
  }
  if (text.substr(0, 4) == "hex:" || text.substr(0, 4) == "hex(") {
    *type = platform::REG_BINARY;
    std::size_t colon = text.find(':');
    if (text[3] == '(') {
      std::size_t close = text.find(')');
      std::optional<Bytes> number;
      if (close != std::string_view::npos && close + 1 == colon && close > 4 && close - 4 <= 8) {
        number = ParseData(platform::REG_DWORD, "0x" + std::string(text.substr(4, close - 4)));
      }
      if (!number) {
        *error = "bad hex(type)";
        return false;
      }
      *type = static_cast<DWORD>((*number)[0] | ((*number)[1] << 8) | ((*number)[2] << 16) |
                                 (static_cast<DWORD>((*number)[3]) << 24));
    }
    if (colon == std::string_view::npos || !ParseHexList(text.substr(colon + 1), data)) {
      *error = "bad hex data";
      return false;
    }
    return true;
  }
  *error = "unknown value format";
  return false;
}

}  // namespace

LSTATUS ExportKey(IRegistry& registry, const KeyPath& key, std::string* text,
                  std::string* badName) {
  std::string body;
  std::string unused;
  LSTATUS status =
      ExportTree(registry, key.root, key.subKey, &body, badName != nullptr ? badName : &unused);
  if (status == platform::ERROR_SUCCESS) *text = std::string(kHeader) + "\r\n\r\n" + body;
  return status;
}

namespace {

ImportResult ApplyText(IRegistry& registry, std::string_view file) {
  std::string decoded = DecodeFile(file);
  std::vector<std::pair<int, std::string>> lines;  // logical lines with their first line number
  {
    std::size_t start = 0;
    int number = 0;
    bool continued = false;
    while (start <= decoded.size()) {
      std::size_t end = decoded.find('\n', start);
      if (end == std::string::npos) end = decoded.size();
      std::string_view line = Trim(std::string_view(decoded).substr(start, end - start));
      ++number;
      if (continued) {
        lines.back().second += std::string(line);
      } else {
        lines.emplace_back(number, std::string(line));
      }
      // Only hex data continues; a comment never does, whatever it holds.
      const std::string& logical = lines.back().second;
      continued = !logical.empty() && logical.front() != ';' && logical.back() == '\\' &&
                  logical.find("=hex") != std::string::npos;
      if (continued) lines.back().second.pop_back();
      if (end == decoded.size()) break;
      start = end + 1;
    }
  }

  ImportResult result;
  bool headerSeen = false;
  bool haveKey = false;
  HKEY current = 0;
  HKEY currentRoot = 0;
  auto fail = [&](int line, std::string error, LSTATUS status) {
    if (haveKey) registry.CloseKey(current);
    result.line = line;
    result.error = std::move(error);
    result.status = status;
    if (status != platform::ERROR_SUCCESS) result.root = currentRoot;
    return result;
  };
  for (const auto& [number, line] : lines) {
    if (line.empty() || line.front() == ';') continue;
    if (!headerSeen) {
      if (line != kHeader) return fail(number, "not a registry file (header missing)", 0);
      headerSeen = true;
      continue;
    }
    if (line.front() == '[') {
      if (haveKey) registry.CloseKey(current);
      haveKey = false;
      if (line.back() != ']') return fail(number, "bad key line", 0);
      std::string_view inner = std::string_view(line).substr(1, line.size() - 2);
      bool remove = !inner.empty() && inner.front() == '-';
      if (remove) inner.remove_prefix(1);
      std::optional<KeyPath> key = ParseKeyPath(inner);
      if (!key) return fail(number, "unknown root key", 0);
      currentRoot = key->root;
      LSTATUS status;
      if (remove) {
        status = registry.DeleteKey(key->root, key->subKey, true);
        if (status == platform::ERROR_FILE_NOT_FOUND) status = platform::ERROR_SUCCESS;
      } else {
        status = registry.CreateKey(key->root, key->subKey, platform::REG_OPTION_NON_VOLATILE,
                                    platform::KEY_ALL_ACCESS, &current, nullptr);
        haveKey = status == platform::ERROR_SUCCESS;
      }
      if (status != platform::ERROR_SUCCESS) return fail(number, "cannot change key", status);
      continue;
    }
    if (!haveKey) return fail(number, "value outside a key", 0);
    std::string_view rest = line;
    std::string name;
    if (rest.front() == '@') {
      rest.remove_prefix(1);
    } else if (!TakeQuoted(&rest, &name)) {
      return fail(number, "bad value name", 0);
    }
    rest = Trim(rest);
    if (rest.empty() || rest.front() != '=') return fail(number, "'=' expected", 0);
    rest = Trim(rest.substr(1));
    LSTATUS status;
    if (rest == "-") {
      status = registry.DeleteValue(current, name);
      if (status == platform::ERROR_FILE_NOT_FOUND) status = platform::ERROR_SUCCESS;
    } else {
      DWORD type = 0;
      Bytes data;
      std::string error;
      if (!ParseValue(rest, &type, &data, &error)) return fail(number, error, 0);
      status = registry.SetValue(current, name, type, data.data(), static_cast<DWORD>(data.size()));
    }
    if (status != platform::ERROR_SUCCESS) return fail(number, "cannot change value", status);
  }
  if (haveKey) registry.CloseKey(current);
  if (!headerSeen) return fail(1, "not a registry file (header missing)", 0);
  return result;
}

}  // namespace

ImportResult ImportText(IRegistry& registry, std::string_view file) {
  // One transaction for the file, not one per value: a large file then takes
  // a moment, not minutes.
  registry.BeginChangeGroup();
  ImportResult result = ApplyText(registry, file);
  LSTATUS kept = registry.EndChangeGroup();
  if (kept != platform::ERROR_SUCCESS) {
    result = ImportResult{};
    result.status = kept;
    result.error = "changes not kept";
  }
  return result;
}

}  // namespace lx2d::reg
