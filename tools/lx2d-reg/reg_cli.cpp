#include "reg_cli.h"

#include <fstream>
#include <optional>
#include <ostream>
#include <sstream>

#include "platform/message_box.h"
#include "reg_file.h"
#include "reg_key_path.h"
#include "reg_value_text.h"

namespace lx2d::reg {

using platform::DWORD;
using platform::HKEY;
using platform::IRegistry;
using platform::LSTATUS;

namespace {

constexpr const char* kUsage =
    "usage: lx2d-reg query KEY [/v NAME | /ve] [/bytes]\n"
    "       lx2d-reg add KEY [/v NAME | /ve] [/t TYPE] [/d DATA] [/f]\n"
    "       lx2d-reg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "       lx2d-reg export KEY FILE\n"
    "       lx2d-reg import FILE\n";

struct Options {
  std::vector<std::string> positional;
  std::optional<std::string> valueName;  // /v NAME, or "" for /ve
  bool allValues = false;                // /va
  std::optional<std::string> type;       // /t
  std::optional<std::string> data;       // /d
  bool force = false;                    // /f
  bool bytes = false;                    // /bytes
};

bool IsSwitch(const std::string& arg, const char* name) {
  if (arg.size() < 2 || (arg[0] != '/' && arg[0] != '-')) return false;
  std::string rest = arg.substr(1);
  for (char& c : rest) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return rest == name;
}

// False with a message for switches that are unknown or lack their argument.
bool ParseOptions(const std::vector<std::string>& args, Options* options, std::string* error) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    auto next = [&](std::optional<std::string>* target) {
      if (i + 1 >= args.size()) return false;
      *target = args[++i];
      return true;
    };
    bool ok = true;
    if (IsSwitch(arg, "v")) {
      ok = next(&options->valueName);
    } else if (IsSwitch(arg, "ve")) {
      options->valueName = "";
    } else if (IsSwitch(arg, "va")) {
      options->allValues = true;
    } else if (IsSwitch(arg, "t")) {
      ok = next(&options->type);
    } else if (IsSwitch(arg, "d")) {
      ok = next(&options->data);
    } else if (IsSwitch(arg, "f")) {
      options->force = true;
    } else if (IsSwitch(arg, "bytes")) {
      options->bytes = true;
    } else if (arg.size() > 1 && arg[0] == '/' && arg.find('/', 1) == std::string::npos) {
      // One slash only: a switch we do not know. "/tmp/x.reg" is a file.
      *error = "unknown switch " + arg;
      return false;
    } else {
      options->positional.push_back(arg);
    }
    if (!ok) {
      *error = "switch " + arg + " needs an argument";
      return false;
    }
  }
  return true;
}

struct StatusText {
  LSTATUS status;
  const char* meaning;
};

// What a registry result means to the person at the command line.
constexpr StatusText kStatusTexts[] = {
    {platform::ERROR_FILE_NOT_FOUND, "not found"},
    {platform::ERROR_ACCESS_DENIED, "access denied"},
    {platform::ERROR_INVALID_PARAMETER, "invalid key name"},
    {platform::ERROR_INVALID_HANDLE, "key handle no longer valid"},
    {platform::ERROR_NOT_ENOUGH_MEMORY, "out of memory"},
    {platform::ERROR_BADDB, "hive damaged or not a registry hive"},
    {platform::ERROR_CANTWRITE,
     "hive could not be written (busy with another writer, or the disk refused)"},
    {platform::ERROR_KEY_DELETED, "key deleted meanwhile"},
    {platform::ERROR_INVALID_DATA,
     "holds a name with a line break, which a .reg file cannot carry"},
};

}  // namespace

std::string DescribeStatus(LSTATUS status) {
  std::string number = "registry error " + std::to_string(status);
  for (const StatusText& text : kStatusTexts) {
    if (text.status == status) return std::string(text.meaning) + " (" + number + ")";
  }
  return number;
}

namespace {

int Failure(std::ostream& err, const std::string& message) {
  err << "lx2d-reg: " << message << "\n";
  return kExitFailed;
}

// One line, like every other error; the usage text itself comes with /?.
int Usage(std::ostream& err, const std::string& message) {
  err << "lx2d-reg: " << message << " (lx2d-reg /? shows the usage)\n";
  return kExitUsage;
}

// The meaning of `status` for a key under `root`; a hive that cannot be read
// is named by its file, so the person knows what to restore.
std::string Explain(LSTATUS status, HKEY root, const HiveFileNamer& hiveFile) {
  std::string text = DescribeStatus(status);
  if (status == platform::ERROR_BADDB && hiveFile) text += ": " + hiveFile(root);
  return text;
}

bool Confirm(const std::string& question) {
  return platform::MessageBox(0, std::string_view(question), std::string_view("lx2d-reg"),
                              platform::MB_YESNO | platform::MB_DEFBUTTON2) == platform::IDYES;
}

std::string ShownName(const std::string& name) { return name.empty() ? "(Default)" : name; }

int Query(IRegistry& registry, const KeyPath& path, const Options& options,
          const HiveFileNamer& hiveFile, std::ostream& out, std::ostream& err) {
  HKEY key = 0;
  LSTATUS status = registry.OpenKey(path.root, path.subKey, platform::KEY_READ, &key);
  if (status != platform::ERROR_SUCCESS) {
    return Failure(err, path.FullName() + ": " + Explain(status, path.root, hiveFile));
  }
  auto line = [&](const std::string& name, DWORD type, const Bytes& data) {
    out << "    " << ShownName(name) << "    " << TypeName(type) << "    "
        << (options.bytes ? FormatBytes(data) : FormatData(type, data)) << "\n";
  };
  int exitCode = kExitSuccess;
  if (options.valueName) {
    DWORD type = 0;
    DWORD size = 0;
    status = registry.QueryValue(key, *options.valueName, &type, nullptr, &size);
    Bytes data(size);
    if (status == platform::ERROR_SUCCESS) {
      status = registry.QueryValue(key, *options.valueName, &type, data.data(), &size);
    }
    if (status == platform::ERROR_SUCCESS) {
      out << path.FullName() << "\n";
      line(*options.valueName, type, data);
    } else {
      exitCode = Failure(err, path.FullName() + " value " + ShownName(*options.valueName) + ": " +
                                  Explain(status, path.root, hiveFile));
    }
  } else {
    out << path.FullName() << "\n";
    std::string name;
    DWORD type = 0;
    Bytes data;
    DWORD i = 0;
    while ((status = registry.EnumValue(key, i++, &name, &type, &data)) ==
           platform::ERROR_SUCCESS) {
      line(name, type, data);
    }
    if (status == platform::ERROR_NO_MORE_ITEMS) {
      i = 0;
      while ((status = registry.EnumKey(key, i++, &name)) == platform::ERROR_SUCCESS) {
        out << KeyPath{path.root, path.subKey.empty() ? name : path.subKey + "\\" + name}.FullName()
            << "\n";
      }
    }
    if (status != platform::ERROR_NO_MORE_ITEMS) {
      exitCode = Failure(err, path.FullName() + ": " + Explain(status, path.root, hiveFile));
    }
  }
  registry.CloseKey(key);
  return exitCode;
}

int Add(IRegistry& registry, const KeyPath& path, const Options& options,
        const HiveFileNamer& hiveFile, std::ostream& err) {
  DWORD type = platform::REG_SZ;
  if (options.type) {
    std::optional<DWORD> known = TypeFromName(*options.type);
    if (!known) return Usage(err, "unknown type " + *options.type);
    type = *known;
  }
  // A .reg file has no way to write a line break in a name: refused here so
  // that every key and value can be exported and imported again.
  auto hasLineBreak = [](const std::string& name) {
    return name.find_first_of("\r\n") != name.npos;
  };
  if (hasLineBreak(path.subKey) || (options.valueName && hasLineBreak(*options.valueName))) {
    return Usage(err, "key and value names cannot hold a line break");
  }
  std::string why;
  std::optional<Bytes> data = ParseData(type, options.data.value_or(""), &why);
  if (options.valueName && !data) {
    return Usage(err, "data \"" + options.data.value_or("") + "\" does not fit " + TypeName(type) +
                          (why.empty() ? "" : ": " + why));
  }
  HKEY key = 0;
  LSTATUS status = registry.CreateKey(path.root, path.subKey, platform::REG_OPTION_NON_VOLATILE,
                                      platform::KEY_ALL_ACCESS, &key, nullptr);
  if (status != platform::ERROR_SUCCESS) {
    return Failure(err, path.FullName() + ": " + Explain(status, path.root, hiveFile));
  }
  int exitCode = kExitSuccess;
  if (options.valueName) {
    DWORD size = 0;
    bool exists = registry.QueryValue(key, *options.valueName, nullptr, nullptr, &size) ==
                  platform::ERROR_SUCCESS;
    if (exists && !options.force &&
        !Confirm("Value " + ShownName(*options.valueName) + " exists, overwrite?")) {
      exitCode = Failure(err, "value not changed");
    } else {
      status = registry.SetValue(key, *options.valueName, type, data->data(),
                                 static_cast<DWORD>(data->size()));
      if (status != platform::ERROR_SUCCESS) {
        exitCode = Failure(err, path.FullName() + " value " + ShownName(*options.valueName) + ": " +
                                    Explain(status, path.root, hiveFile));
      }
    }
  }
  registry.CloseKey(key);
  return exitCode;
}

int Delete(IRegistry& registry, const KeyPath& path, const Options& options,
           const HiveFileNamer& hiveFile, std::ostream& err) {
  if (!options.valueName && !options.allValues) {
    if (path.subKey.empty()) return Usage(err, "a root key cannot be deleted");
    if (!options.force &&
        !Confirm("Permanently delete the registry key " + path.FullName() + "?")) {
      return Failure(err, "key not deleted");
    }
    LSTATUS status = registry.DeleteKey(path.root, path.subKey, true);
    if (status != platform::ERROR_SUCCESS) {
      return Failure(err, path.FullName() + ": " + Explain(status, path.root, hiveFile));
    }
    return kExitSuccess;
  }
  HKEY key = 0;
  LSTATUS status = registry.OpenKey(path.root, path.subKey, platform::KEY_ALL_ACCESS, &key);
  if (status != platform::ERROR_SUCCESS) {
    return Failure(err, path.FullName() + ": " + Explain(status, path.root, hiveFile));
  }
  std::vector<std::string> names;
  if (options.allValues) {
    std::string name;
    DWORD i = 0;
    while ((status = registry.EnumValue(key, i++, &name, nullptr, nullptr)) ==
           platform::ERROR_SUCCESS) {
      names.push_back(name);
    }
    if (status != platform::ERROR_NO_MORE_ITEMS) {
      registry.CloseKey(key);
      return Failure(err, path.FullName() + ": " + Explain(status, path.root, hiveFile));
    }
  } else {
    names.push_back(*options.valueName);
  }
  int exitCode = kExitSuccess;
  if (!options.force && !Confirm("Delete the registry value(s) of " + path.FullName() + "?")) {
    exitCode = Failure(err, "nothing deleted");
    names.clear();
  }
  for (const std::string& name : names) {
    status = registry.DeleteValue(key, name);
    if (status != platform::ERROR_SUCCESS) {
      exitCode = Failure(err, path.FullName() + " value " + ShownName(name) + ": " +
                                  Explain(status, path.root, hiveFile));
    }
  }
  registry.CloseKey(key);
  return exitCode;
}

int Export(IRegistry& registry, const KeyPath& path, const std::string& file,
           const HiveFileNamer& hiveFile, std::ostream& err) {
  std::string text;
  std::string badName;
  LSTATUS status = ExportKey(registry, path, &text, &badName);
  if (status == platform::ERROR_INVALID_DATA) {
    return Failure(err, badName + ": " + DescribeStatus(status) + "; nothing written");
  }
  if (status != platform::ERROR_SUCCESS) {
    return Failure(err, path.FullName() + ": " + Explain(status, path.root, hiveFile));
  }
  std::ofstream stream(file, std::ios::binary | std::ios::trunc);
  stream << text;
  stream.close();
  if (!stream) return Failure(err, "cannot write " + file);
  return kExitSuccess;
}

int Import(IRegistry& registry, const std::string& file, const HiveFileNamer& hiveFile,
           std::ostream& err) {
  std::ifstream stream(file, std::ios::binary);
  if (!stream) return Failure(err, "cannot read " + file);
  std::ostringstream content;
  content << stream.rdbuf();
  ImportResult result = ImportText(registry, content.str());
  if (result.error.empty()) return kExitSuccess;
  std::string message = file + ":" + std::to_string(result.line) + ": " + result.error;
  if (result.status != platform::ERROR_SUCCESS) {
    message += ": " + Explain(result.status, result.root, hiveFile);
  }
  return Failure(err, message);
}

}  // namespace

int RunRegCommand(const std::vector<std::string>& args, IRegistry& registry, std::ostream& out,
                  std::ostream& err, const HiveFileNamer& hiveFile) {
  if (args.empty()) return Usage(err, "no command");
  if (args[0] == "/?" || args[0] == "-h" || args[0] == "--help") {
    out << kUsage;
    return kExitSuccess;
  }
  Options options;
  std::string error;
  if (!ParseOptions(args, &options, &error)) return Usage(err, error);
  std::string command = args[0];
  for (char& c : command) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  if (command == "import") {
    if (options.positional.size() != 1) return Usage(err, "import takes one FILE");
    return Import(registry, options.positional[0], hiveFile, err);
  }
  bool knownCommand =
      command == "query" || command == "add" || command == "delete" || command == "export";
  if (!knownCommand) return Usage(err, "unknown command " + args[0]);
  std::size_t wanted = command == "export" ? 2 : 1;
  if (options.positional.size() != wanted) {
    return Usage(err, command + (wanted == 2 ? " takes KEY and FILE" : " takes one KEY"));
  }
  std::optional<KeyPath> path = ParseKeyPath(options.positional[0]);
  if (!path)
    return Usage(err, "KEY must start with HKLM, HKCU, HKEY_LOCAL_MACHINE or HKEY_CURRENT_USER");
  if (options.valueName && options.allValues)
    return Usage(err, "/v, /ve and /va exclude each other");
  if (command == "query") return Query(registry, *path, options, hiveFile, out, err);
  if (command == "add") return Add(registry, *path, options, hiveFile, err);
  if (command == "delete") return Delete(registry, *path, options, hiveFile, err);
  return Export(registry, *path, options.positional[1], hiveFile, err);
}

}  // namespace lx2d::reg
