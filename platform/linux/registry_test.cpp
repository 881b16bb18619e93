// The registry contract, run against the SQLite store and the in-memory fake
// (they share the handle and size rules but not the storage).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "platform/fakes/memory_registry.h"
#include "platform/fakes/temp_directory.h"
#include "platform/sqlite_registry.h"

namespace lx2d::platform {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Utf16Bytes(std::u16string_view text, bool withTerminator) {
  Bytes bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  if (withTerminator) bytes.insert(bytes.end(), {0, 0});
  return bytes;
}

// One registry under test plus a way to make a hive read-only for the caller.
struct Subject {
  std::unique_ptr<IRegistry> registry;
  std::function<void(HKEY)> makeReadOnly;
};

struct Backend {
  const char* name;
  std::function<Subject(const std::string& folder)> make;
};

const Backend kBackends[] = {
    {"Sqlite",
     [](const std::string& folder) {
       Subject subject{CreateSqliteRegistry(folder + "/system", folder + "/user"), nullptr};
       subject.makeReadOnly = [folder](HKEY root) {
         std::string file = root == HKEY_LOCAL_MACHINE ? folder + "/system/registry/hklm.db"
                                                       : folder + "/user/registry/hkcu.db";
         chmod(file.c_str(), 0444);  // no write bit for anybody: read-only even for root
       };
       return subject;
     }},
    {"Memory",
     [](const std::string&) {
       auto registry = std::make_unique<CMemoryRegistry>();
       CMemoryRegistry* raw = registry.get();
       return Subject{std::move(registry), [raw](HKEY root) { raw->SetReadOnly(root, true); }};
     }},
};

class RegistryTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    ASSERT_FALSE(folder.Path().empty());
    subject = GetParam().make(folder.Path());
  }

  IRegistry& Registry() { return *subject.registry; }

  // Creates `path` under `root` and sets one value on it.
  void Put(HKEY root, std::string_view path, std::string_view name, DWORD type, const Bytes& data) {
    HKEY key = 0;
    ASSERT_EQ(
        Registry().CreateKey(root, path, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, &key, nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(Registry().SetValue(key, name, type, data.data(), static_cast<DWORD>(data.size())),
              ERROR_SUCCESS);
    ASSERT_EQ(Registry().CloseKey(key), ERROR_SUCCESS);
  }

  // Reads one value through a query-only open; the status of the first failure.
  LSTATUS Get(HKEY root, std::string_view path, std::string_view name, DWORD* type, Bytes* data) {
    HKEY key = 0;
    LSTATUS status = Registry().OpenKey(root, path, KEY_QUERY_VALUE, &key);
    if (status != ERROR_SUCCESS) return status;
    DWORD size = 0;
    status = Registry().QueryValue(key, name, type, nullptr, &size);
    if (status == ERROR_SUCCESS) {
      data->assign(size, 0);
      status = Registry().QueryValue(key, name, type, data->data(), &size);
    }
    Registry().CloseKey(key);
    return status;
  }

  CTempDirectory folder;
  Subject subject;
};

constexpr std::string_view kKey = "SOFTWARE\\Korvane\\LX2D_B_SET";

TEST_P(RegistryTest, CreateKey_ReportsCreatedThenOpened) {
  HKEY key = 0;
  DWORD disposition = 0;
  ASSERT_EQ(Registry().CreateKey(HKEY_LOCAL_MACHINE, kKey, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  Registry().CloseKey(key);
  ASSERT_EQ(Registry().CreateKey(HKEY_LOCAL_MACHINE, "software\\KORVANE\\lx2d_b_set",
                                 REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, &key, &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);
  Registry().CloseKey(key);
  // The parents were made on the way.
  ASSERT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane", KEY_READ, &key),
            ERROR_SUCCESS);
  Registry().CloseKey(key);
}

TEST_P(RegistryTest, OpenKey_MissingKeyOrHive_FileNotFound) {
  HKEY key = 0;
  EXPECT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_QUERY_VALUE, &key),
            ERROR_FILE_NOT_FOUND);
  Put(HKEY_LOCAL_MACHINE, "SOFTWARE", "x", REG_DWORD, {1, 0, 0, 0});
  EXPECT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_ALL_ACCESS, &key),
            ERROR_FILE_NOT_FOUND);
  // The other hive is separate.
  EXPECT_EQ(Registry().OpenKey(HKEY_CURRENT_USER, "SOFTWARE", KEY_QUERY_VALUE, &key),
            ERROR_FILE_NOT_FOUND);
}

TEST_P(RegistryTest, QueryValue_SizeRules) {
  const Bytes text = Utf16Bytes(u"PrefixCode", true);
  Put(HKEY_LOCAL_MACHINE, kKey, "Name", REG_SZ, text);
  HKEY key = 0;
  ASSERT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);

  DWORD type = 0;
  DWORD size = 0;
  EXPECT_EQ(Registry().QueryValue(key, "Name", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, text.size());

  Bytes small(4, 0xAA);
  size = 4;
  type = 0;
  EXPECT_EQ(Registry().QueryValue(key, "Name", &type, small.data(), &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, text.size());
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(small, Bytes(4, 0xAA));

  Bytes exact(text.size());
  size = static_cast<DWORD>(exact.size());
  EXPECT_EQ(Registry().QueryValue(key, "Name", nullptr, exact.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(exact, text);

  Bytes large(256, 0xEE);
  size = 256;
  EXPECT_EQ(Registry().QueryValue(key, "Name", nullptr, large.data(), &size), ERROR_SUCCESS);
  EXPECT_EQ(size, text.size());
  EXPECT_EQ(large[text.size()], 0xEE);  // nothing written past the value

  EXPECT_EQ(Registry().QueryValue(key, "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Registry().QueryValue(key, "Name", &type, exact.data(), nullptr),
            ERROR_INVALID_PARAMETER);
  Registry().CloseKey(key);
}

TEST_P(RegistryTest, SetValue_KeepsTypeAndRawBytes) {
  struct Case {
    const char* name;
    DWORD type;
    Bytes data;
  };
  const Case cases[] = {
      {"NoTerminator", REG_SZ, Utf16Bytes(u"<#CR>", false)},
      {"Terminated", REG_EXPAND_SZ, Utf16Bytes(u"%TEMP%", true)},
      {"Empty", REG_SZ, {}},
      {"OddCount", REG_SZ, {0x41, 0x00, 0x42}},
      {"Multi", REG_MULTI_SZ, {0x61, 0, 0, 0, 0x62, 0, 0, 0, 0, 0}},
      {"Dword", REG_DWORD, {0xDC, 0x05, 0x00, 0x00}},
      {"Binary", REG_BINARY, {0x00, 0xFF, 0x00, 0x10}},
  };
  for (const Case& c : cases) Put(HKEY_CURRENT_USER, kKey, c.name, c.type, c.data);
  for (const Case& c : cases) {
    DWORD type = 0;
    Bytes data;
    ASSERT_EQ(Get(HKEY_CURRENT_USER, kKey, c.name, &type, &data), ERROR_SUCCESS) << c.name;
    EXPECT_EQ(type, c.type) << c.name;
    EXPECT_EQ(data, c.data) << c.name;
  }
}

TEST_P(RegistryTest, Names_CompareWithoutCaseAndKeepTheirCase) {
  Put(HKEY_LOCAL_MACHINE, "Software\\Korvane", "AfterWakeupWait", REG_DWORD, {1, 0, 0, 0});
  Put(HKEY_LOCAL_MACHINE, "SOFTWARE\\KORVANE", "afterwakeupwait", REG_DWORD, {2, 0, 0, 0});
  DWORD type = 0;
  Bytes data;
  ASSERT_EQ(Get(HKEY_LOCAL_MACHINE, "software\\korvane", "AFTERWAKEUPWAIT", &type, &data),
            ERROR_SUCCESS);
  EXPECT_EQ(data, (Bytes{2, 0, 0, 0}));

  HKEY key = 0;
  ASSERT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, "", KEY_READ, &key), ERROR_SUCCESS);
  std::string name;
  ASSERT_EQ(Registry().EnumKey(key, 0, &name), ERROR_SUCCESS);
  EXPECT_EQ(name, "Software");  // the first spelling stays
  Registry().CloseKey(key);
  ASSERT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane", KEY_READ, &key),
            ERROR_SUCCESS);
  ASSERT_EQ(Registry().EnumValue(key, 0, &name, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(name, "afterwakeupwait");  // one value, named as last written
  EXPECT_EQ(Registry().EnumValue(key, 1, &name, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
  Registry().CloseKey(key);
}

TEST_P(RegistryTest, Enumerate_InNameOrderUntilNoMoreItems) {
  for (const char* sub : {"beta", "Alpha", "gamma"}) {
    Put(HKEY_CURRENT_USER, std::string("Root\\") + sub, "", REG_SZ, {});
  }
  Put(HKEY_CURRENT_USER, "Root", "b", REG_DWORD, {2, 0, 0, 0});
  Put(HKEY_CURRENT_USER, "Root", "A", REG_BINARY, {1});
  HKEY key = 0;
  ASSERT_EQ(Registry().OpenKey(HKEY_CURRENT_USER, "Root", KEY_READ, &key), ERROR_SUCCESS);
  std::vector<std::string> keys;
  std::string name;
  for (DWORD i = 0; Registry().EnumKey(key, i, &name) == ERROR_SUCCESS; ++i) keys.push_back(name);
  EXPECT_EQ(keys, (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  DWORD type = 0;
  Bytes data;
  ASSERT_EQ(Registry().EnumValue(key, 0, &name, &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(name, "A");
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(data, Bytes{1});
  ASSERT_EQ(Registry().EnumValue(key, 1, &name, &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(name, "b");
  EXPECT_EQ(Registry().EnumValue(key, 2, &name, &type, &data), ERROR_NO_MORE_ITEMS);
  EXPECT_EQ(Registry().EnumKey(key, 3, &name), ERROR_NO_MORE_ITEMS);
  Registry().CloseKey(key);
}

TEST_P(RegistryTest, AccessRights_CheckedPerHandle) {
  Put(HKEY_LOCAL_MACHINE, kKey, "v", REG_DWORD, {1, 0, 0, 0});
  HKEY reader = 0;
  HKEY writer = 0;
  ASSERT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_QUERY_VALUE, &reader), ERROR_SUCCESS);
  ASSERT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_SET_VALUE, &writer), ERROR_SUCCESS);
  const std::uint8_t one[4] = {1, 0, 0, 0};
  DWORD size = 0;
  std::string name;
  EXPECT_EQ(Registry().SetValue(reader, "v", REG_DWORD, one, 4), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().DeleteValue(reader, "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().EnumKey(reader, 0, &name), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().QueryValue(writer, "v", nullptr, nullptr, &size), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().SetValue(writer, "v", REG_DWORD, one, 4), ERROR_SUCCESS);
  EXPECT_EQ(Registry().SetValue(writer, "v", REG_DWORD, nullptr, 4), ERROR_INVALID_PARAMETER);
  Registry().CloseKey(reader);
  Registry().CloseKey(writer);
}

TEST_P(RegistryTest, BadHandlesAndPaths_Refused) {
  HKEY key = 0;
  DWORD size = 0;
  EXPECT_EQ(Registry().QueryValue(0x4242, "v", nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Registry().CloseKey(0x4242), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Registry().OpenKey(0x4242, "A", KEY_READ, &key), ERROR_INVALID_HANDLE);
  EXPECT_EQ(Registry().CreateKey(HKEY_CURRENT_USER, "A\\\\B", REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, &key, nullptr),
            ERROR_INVALID_PARAMETER);
  ASSERT_EQ(Registry().CreateKey(HKEY_CURRENT_USER, "A\\B\\", REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, &key, nullptr),
            ERROR_SUCCESS);  // a trailing separator is allowed
  EXPECT_EQ(Registry().CloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(Registry().CloseKey(key), ERROR_INVALID_HANDLE);
}

TEST_P(RegistryTest, DeleteValueAndKey) {
  Put(HKEY_CURRENT_USER, "Top\\Child", "v", REG_DWORD, {1, 0, 0, 0});
  Put(HKEY_CURRENT_USER, "Top", "w", REG_DWORD, {2, 0, 0, 0});
  HKEY top = 0;
  ASSERT_EQ(Registry().OpenKey(HKEY_CURRENT_USER, "Top", KEY_ALL_ACCESS, &top), ERROR_SUCCESS);
  EXPECT_EQ(Registry().DeleteValue(top, "W"), ERROR_SUCCESS);
  EXPECT_EQ(Registry().DeleteValue(top, "w"), ERROR_FILE_NOT_FOUND);

  EXPECT_EQ(Registry().DeleteKey(HKEY_CURRENT_USER, "Top", false), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().DeleteKey(HKEY_CURRENT_USER, "", true), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().DeleteKey(HKEY_CURRENT_USER, "Nope", true), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Registry().DeleteKey(HKEY_CURRENT_USER, "Top", true), ERROR_SUCCESS);
  DWORD size = 0;
  EXPECT_EQ(Registry().QueryValue(top, "w", nullptr, nullptr, &size), ERROR_KEY_DELETED);
  Registry().CloseKey(top);
  HKEY key = 0;
  EXPECT_EQ(Registry().OpenKey(HKEY_CURRENT_USER, "Top\\Child", KEY_READ, &key),
            ERROR_FILE_NOT_FOUND);
  // Recreating the key does not bring its values back.
  ASSERT_EQ(Registry().CreateKey(HKEY_CURRENT_USER, "Top\\Child", REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(Registry().QueryValue(key, "v", nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
  Registry().CloseKey(key);
}

TEST_P(RegistryTest, ReadOnlyHive_RefusesWritesAndAnswersQueries) {
  Put(HKEY_LOCAL_MACHINE, kKey, "AfterWakeupWait", REG_DWORD, {0xDC, 0x05, 0, 0});
  subject.makeReadOnly(HKEY_LOCAL_MACHINE);

  HKEY key = 0;
  EXPECT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_ALL_ACCESS, &key),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_WRITE, &key), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().CreateKey(HKEY_LOCAL_MACHINE, kKey, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                 &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\New", REG_OPTION_NON_VOLATILE,
                                 KEY_READ, &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(Registry().DeleteKey(HKEY_LOCAL_MACHINE, kKey, true), ERROR_ACCESS_DENIED);

  DWORD type = 0;
  Bytes data;
  ASSERT_EQ(Get(HKEY_LOCAL_MACHINE, kKey, "AfterWakeupWait", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, (Bytes{0xDC, 0x05, 0, 0}));
  // The other hive is untouched.
  Put(HKEY_CURRENT_USER, kKey, "AfterWakeupWait", REG_DWORD, {1, 0, 0, 0});
}

TEST_P(RegistryTest, ViewFlags_SelectTheSameStore) {
  Put(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Common", "DisableFutureOSWarning", REG_DWORD,
      {1, 0, 0, 0});
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    HKEY key = 0;
    ASSERT_EQ(Registry().OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\Korvane\\Common",
                                 KEY_QUERY_VALUE | view, &key),
              ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(Registry().QueryValue(key, "DisableFutureOSWarning", nullptr, nullptr, &size),
              ERROR_SUCCESS);
    Registry().CloseKey(key);
  }
}

TEST_P(RegistryTest, Threads_ShareOneRegistryWithoutLosingWrites) {
  constexpr int kThreads = 4;
  constexpr int kWrites = 20;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([this, t] {
      for (int i = 0; i < kWrites; ++i) {
        HKEY key = 0;
        if (Registry().CreateKey(HKEY_CURRENT_USER, "Shared", REG_OPTION_NON_VOLATILE,
                                 KEY_ALL_ACCESS, &key, nullptr) != ERROR_SUCCESS) {
          return;
        }
        const std::uint8_t value[4] = {static_cast<std::uint8_t>(i), 0, 0, 0};
        Registry().SetValue(key, "t" + std::to_string(t) + "-" + std::to_string(i), REG_DWORD,
                            value, 4);
        Registry().CloseKey(key);
      }
    });
  }
  for (std::thread& thread : threads) thread.join();
  HKEY key = 0;
  ASSERT_EQ(Registry().OpenKey(HKEY_CURRENT_USER, "Shared", KEY_READ, &key), ERROR_SUCCESS);
  std::string name;
  DWORD count = 0;
  while (Registry().EnumValue(key, count, &name, nullptr, nullptr) == ERROR_SUCCESS) ++count;
  EXPECT_EQ(count, static_cast<DWORD>(kThreads * kWrites));
  Registry().CloseKey(key);
}

INSTANTIATE_TEST_SUITE_P(Backends, RegistryTest, ::testing::ValuesIn(kBackends),
                         [](const ::testing::TestParamInfo<Backend>& backend) {
                           return std::string(backend.param.name);
                         });

// SQLite store only: what lives in files.
class SqliteRegistryTest : public ::testing::Test {
 protected:
  std::string SystemDir() const { return folder.Path() + "/system"; }
  std::string UserDir() const { return folder.Path() + "/user"; }
  CTempDirectory folder;
};

TEST_F(SqliteRegistryTest, Values_SurviveAcrossRegistryObjects) {
  {
    auto first = CreateSqliteRegistry(SystemDir(), UserDir());
    HKEY key = 0;
    ASSERT_EQ(first->CreateKey(HKEY_LOCAL_MACHINE, kKey, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                               &key, nullptr),
              ERROR_SUCCESS);
    const std::uint8_t value[4] = {0xDC, 0x05, 0, 0};
    ASSERT_EQ(first->SetValue(key, "AfterWakeupWait", REG_DWORD, value, 4), ERROR_SUCCESS);
    first->CloseKey(key);
  }
  struct stat info {};
  EXPECT_EQ(stat((SystemDir() + "/registry/hklm.db").c_str(), &info), 0);
  auto second = CreateSqliteRegistry(SystemDir(), UserDir());
  HKEY key = 0;
  ASSERT_EQ(second->OpenKey(HKEY_LOCAL_MACHINE, kKey, KEY_QUERY_VALUE, &key), ERROR_SUCCESS);
  std::uint8_t value[4] = {};
  DWORD size = 4;
  ASSERT_EQ(second->QueryValue(key, "AfterWakeupWait", nullptr, value, &size), ERROR_SUCCESS);
  EXPECT_EQ(value[0], 0xDC);
  second->CloseKey(key);
}

TEST_F(SqliteRegistryTest, MissingHive_ReadsNothingAndIsMadeOnFirstCreate) {
  auto registry = CreateSqliteRegistry(SystemDir(), UserDir());
  HKEY key = 0;
  EXPECT_EQ(registry->OpenKey(HKEY_CURRENT_USER, "A", KEY_READ, &key), ERROR_FILE_NOT_FOUND);
  ASSERT_EQ(registry->OpenKey(HKEY_CURRENT_USER, "", KEY_READ, &key), ERROR_SUCCESS);
  std::string name;
  EXPECT_EQ(registry->EnumKey(key, 0, &name), ERROR_NO_MORE_ITEMS);
  registry->CloseKey(key);
  struct stat info {};
  EXPECT_NE(stat((UserDir() + "/registry/hkcu.db").c_str(), &info), 0);  // reads made nothing

  ASSERT_EQ(registry->CreateKey(HKEY_CURRENT_USER, "A", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                &key, nullptr),
            ERROR_SUCCESS);
  registry->CloseKey(key);
  EXPECT_EQ(stat((UserDir() + "/registry/hkcu.db").c_str(), &info), 0);
}

TEST_F(SqliteRegistryTest, ReadOnlyFolder_NewHiveRefused) {
  ASSERT_EQ(mkdir(SystemDir().c_str(), 0555), 0);  // no write bit: refused even for root
  auto registry = CreateSqliteRegistry(SystemDir(), UserDir());
  HKEY key = 0;
  EXPECT_EQ(registry->CreateKey(HKEY_LOCAL_MACHINE, kKey, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                &key, nullptr),
            ERROR_ACCESS_DENIED);
}

TEST_F(SqliteRegistryTest, DamagedHive_BadDbNotCrash) {
  ASSERT_EQ(mkdir(SystemDir().c_str(), 0700), 0);
  ASSERT_EQ(mkdir((SystemDir() + "/registry").c_str(), 0700), 0);
  std::FILE* file = std::fopen((SystemDir() + "/registry/hklm.db").c_str(), "w");
  ASSERT_NE(file, nullptr);
  std::fputs("this is not a database, just text long enough to be read as one........", file);
  std::fclose(file);
  auto registry = CreateSqliteRegistry(SystemDir(), UserDir());
  HKEY key = 0;
  EXPECT_EQ(registry->OpenKey(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ, &key), ERROR_BADDB);
  EXPECT_EQ(registry->CreateKey(HKEY_LOCAL_MACHINE, "SOFTWARE", REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, &key, nullptr),
            ERROR_BADDB);
}

std::string ReadFile(const std::string& path) {
  std::ifstream stream(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(stream), {});
}

TEST_F(SqliteRegistryTest, DamagedHive_EveryOperationBadDbRootIncludedFileUntouched) {
  const std::string hive = SystemDir() + "/registry/hklm.db";
  ASSERT_EQ(mkdir(SystemDir().c_str(), 0700), 0);
  ASSERT_EQ(mkdir((SystemDir() + "/registry").c_str(), 0700), 0);
  std::mt19937 random(7);
  std::string garbage(8192, '\0');
  for (char& c : garbage) c = static_cast<char>(random());
  std::ofstream(hive, std::ios::binary) << garbage;

  auto registry = CreateSqliteRegistry(SystemDir(), UserDir());
  const std::uint8_t one[4] = {1, 0, 0, 0};
  HKEY key = 0;
  std::string name;
  DWORD size = 0;
  struct Case {
    const char* what;
    std::function<LSTATUS()> call;
  };
  const Case cases[] = {
      {"open root", [&] { return registry->OpenKey(HKEY_LOCAL_MACHINE, "", KEY_READ, &key); }},
      {"open root for writing",
       [&] { return registry->OpenKey(HKEY_LOCAL_MACHINE, "", KEY_ALL_ACCESS, &key); }},
      {"open subkey", [&] { return registry->OpenKey(HKEY_LOCAL_MACHINE, "A", KEY_READ, &key); }},
      {"create subkey",
       [&] {
         return registry->CreateKey(HKEY_LOCAL_MACHINE, "A", REG_OPTION_NON_VOLATILE,
                                    KEY_ALL_ACCESS, &key, nullptr);
       }},
      {"enumerate root keys", [&] { return registry->EnumKey(HKEY_LOCAL_MACHINE, 0, &name); }},
      {"enumerate root values",
       [&] { return registry->EnumValue(HKEY_LOCAL_MACHINE, 0, &name, nullptr, nullptr); }},
      {"query root value",
       [&] { return registry->QueryValue(HKEY_LOCAL_MACHINE, "v", nullptr, nullptr, &size); }},
      {"set root value",
       [&] { return registry->SetValue(HKEY_LOCAL_MACHINE, "v", REG_DWORD, one, 4); }},
      {"delete root value", [&] { return registry->DeleteValue(HKEY_LOCAL_MACHINE, "v"); }},
      {"delete subkey", [&] { return registry->DeleteKey(HKEY_LOCAL_MACHINE, "A", true); }},
  };
  for (const Case& c : cases) EXPECT_EQ(c.call(), ERROR_BADDB) << c.what;
  EXPECT_EQ(ReadFile(hive), garbage);  // nothing written over it
  // The other hive is not affected.
  EXPECT_EQ(registry->SetValue(HKEY_CURRENT_USER, "v", REG_DWORD, one, 4), ERROR_SUCCESS);
}

TEST_F(SqliteRegistryTest, Enumeration_SeesChangesMadeBetweenSteps) {
  auto registry = CreateSqliteRegistry(SystemDir(), UserDir());
  HKEY key = 0;
  ASSERT_EQ(registry->CreateKey(HKEY_CURRENT_USER, "K", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                &key, nullptr),
            ERROR_SUCCESS);
  const std::uint8_t one[4] = {1, 0, 0, 0};
  for (const char* value : {"a", "b", "c"}) {
    ASSERT_EQ(registry->SetValue(key, value, REG_DWORD, one, 4), ERROR_SUCCESS);
  }
  std::string name;
  ASSERT_EQ(registry->EnumValue(key, 0, &name, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(name, "a");
  // A change in the middle of an enumeration is seen by its next step, as
  // before the steps were served from a listing.
  ASSERT_EQ(registry->DeleteValue(key, "a"), ERROR_SUCCESS);
  ASSERT_EQ(registry->EnumValue(key, 1, &name, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(name, "c");
  EXPECT_EQ(registry->EnumValue(key, 2, &name, nullptr, nullptr), ERROR_NO_MORE_ITEMS);

  // Another registry object (another process) changes the key: the next
  // enumeration from 0 sees it.
  auto other = CreateSqliteRegistry(SystemDir(), UserDir());
  HKEY otherKey = 0;
  ASSERT_EQ(other->OpenKey(HKEY_CURRENT_USER, "K", KEY_ALL_ACCESS, &otherKey), ERROR_SUCCESS);
  ASSERT_EQ(other->SetValue(otherKey, "0first", REG_DWORD, one, 4), ERROR_SUCCESS);
  HKEY sub = 0;
  ASSERT_EQ(other->CreateKey(otherKey, "Sub", REG_OPTION_NON_VOLATILE, KEY_READ, &sub, nullptr),
            ERROR_SUCCESS);
  other->CloseKey(sub);
  ASSERT_EQ(registry->EnumValue(key, 0, &name, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(name, "0first");
  ASSERT_EQ(registry->EnumKey(key, 0, &name), ERROR_SUCCESS);
  EXPECT_EQ(name, "Sub");
  // A key the other one deleted is gone for this one too, even though its id
  // was known here.
  ASSERT_EQ(other->DeleteKey(HKEY_CURRENT_USER, "K", true), ERROR_SUCCESS);
  EXPECT_EQ(registry->EnumValue(key, 0, &name, nullptr, nullptr), ERROR_KEY_DELETED);
  HKEY again = 0;
  EXPECT_EQ(registry->OpenKey(HKEY_CURRENT_USER, "K\\Sub", KEY_READ, &again), ERROR_FILE_NOT_FOUND);
  registry->CloseKey(key);
  other->CloseKey(otherKey);
}

TEST_F(SqliteRegistryTest, ChangeGroup_KeepsEachChangeAndShowsThemAtItsEnd) {
  auto registry = CreateSqliteRegistry(SystemDir(), UserDir());
  auto other = CreateSqliteRegistry(SystemDir(), UserDir());
  const std::uint8_t one[4] = {1, 0, 0, 0};
  HKEY key = 0;
  ASSERT_EQ(registry->CreateKey(HKEY_CURRENT_USER, "Before", REG_OPTION_NON_VOLATILE,
                                KEY_ALL_ACCESS, &key, nullptr),
            ERROR_SUCCESS);
  registry->CloseKey(key);

  registry->BeginChangeGroup();
  ASSERT_EQ(registry->CreateKey(HKEY_CURRENT_USER, "G\\K", REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                &key, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(registry->SetValue(key, "v", REG_DWORD, one, 4), ERROR_SUCCESS);
  // A change that fails inside the group leaves the others.
  EXPECT_EQ(registry->DeleteKey(HKEY_CURRENT_USER, "G", false), ERROR_ACCESS_DENIED);
  EXPECT_EQ(registry->DeleteValue(key, "missing"), ERROR_FILE_NOT_FOUND);
  DWORD size = 0;
  EXPECT_EQ(registry->QueryValue(key, "v", nullptr, nullptr, &size), ERROR_SUCCESS);
  registry->CloseKey(key);
  ASSERT_EQ(registry->EndChangeGroup(), ERROR_SUCCESS);

  HKEY seen = 0;
  ASSERT_EQ(other->OpenKey(HKEY_CURRENT_USER, "G\\K", KEY_QUERY_VALUE, &seen), ERROR_SUCCESS);
  EXPECT_EQ(other->QueryValue(seen, "v", nullptr, nullptr, &size), ERROR_SUCCESS);
  other->CloseKey(seen);
  EXPECT_EQ(other->OpenKey(HKEY_CURRENT_USER, "Before", KEY_READ, &seen), ERROR_SUCCESS);
  other->CloseKey(seen);
}

}  // namespace
}  // namespace lx2d::platform
