#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "wincompat/comptr.h"
#include "wincompat/winreg.h"

namespace {

namespace fs = std::filesystem;

class Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/wcregXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    path_ = dir_ + "/nested/config/registry.reg";  // parent folders do not exist yet
    setenv("QWBDCAWM_REGISTRY", path_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("QWBDCAWM_REGISTRY");
    fs::remove_all(dir_);
  }
  std::string FileText() const {
    std::stringstream ss;
    ss << std::ifstream(path_).rdbuf();
    return ss.str();
  }
  // Creates (or opens) a key for writing; nullptr on failure.
  static HKEY Create(HKEY root, const char16_t* sub, DWORD* disp = nullptr) {
    HKEY k = nullptr;
    const LONG e = RegCreateKeyExW(root, sub, 0, nullptr, 0, KEY_WRITE, nullptr, &k, disp);
    EXPECT_EQ(e, ERROR_SUCCESS) << "creating a key";
    return e == ERROR_SUCCESS ? k : nullptr;
  }
  // The names of a key's subkeys (or values), in enumeration order; values must be REG_SZ.
  static std::vector<std::u16string> Names(HKEY k, bool values = false) {
    std::vector<std::u16string> r;
    WCHAR name[32];
    for (DWORD i = 0;; ++i) {
      DWORD cch = 32, type = REG_SZ;
      const LONG e = values ? RegEnumValueW(k, i, name, &cch, nullptr, &type, nullptr, nullptr)
                            : RegEnumKeyExW(k, i, name, &cch, nullptr, nullptr, nullptr, nullptr);
      if (e == ERROR_NO_MORE_ITEMS) return r;
      EXPECT_EQ(e, ERROR_SUCCESS);
      EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
      if (e != ERROR_SUCCESS) return r;
      r.emplace_back(name, cch);
    }
  }
  static LONG SetString(HKEY k, const char16_t* name, const std::u16string& v) {
    return RegSetValueExW(k, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()),
                          static_cast<DWORD>((v.size() + 1) * 2));
  }
  static std::u16string GetString(HKEY root, const char16_t* sub, const char16_t* name) {
    HKEY k;
    if (RegOpenKeyExW(root, sub, 0, KEY_READ, &k) != ERROR_SUCCESS) return u"<no key>";
    WCHAR buf[256];
    DWORD cb = sizeof(buf);
    const LONG err = RegQueryValueExW(k, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &cb);
    RegCloseKey(k);
    return err == ERROR_SUCCESS ? std::u16string(buf, cb / 2 - 1) : u"<no value>";
  }

  std::string dir_, path_;
};

TEST_F(Registry, WriteReadBackAndFileFormat) {
  // A missing file is an empty registry.
  HKEY k;
  EXPECT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID", 0, KEY_READ, &k), ERROR_FILE_NOT_FOUND);
  DWORD disp = 0;
  ASSERT_TRUE(k = Create(HKEY_CLASSES_ROOT, u"CLSID\\{ABC}\\InprocServer32", &disp));
  EXPECT_EQ(disp, static_cast<DWORD>(REG_CREATED_NEW_KEY));
  ASSERT_EQ(SetString(k, nullptr, u"/opt/lib/libX.so"), ERROR_SUCCESS);
  ASSERT_EQ(SetString(k, u"ThreadingModel", u"Apartment"), ERROR_SUCCESS);
  const DWORD ten = 10;
  ASSERT_EQ(RegSetValueExW(k, u"Count", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&ten), 4),
            ERROR_SUCCESS);
  const BYTE blob[] = {0x00, 0xFF, 0x10};
  ASSERT_EQ(RegSetValueExW(k, u"Blob", 0, REG_BINARY, blob, 3), ERROR_SUCCESS);
  ASSERT_EQ(SetString(k, u"Quoted", u"C:\\dir \"x\""), ERROR_SUCCESS);
  RegCloseKey(k);

  EXPECT_EQ(FileText(),
            "Windows Registry Editor Version 5.00\n\n"
            "[HKEY_CLASSES_ROOT\\CLSID]\n\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{ABC}]\n\n"
            "[HKEY_CLASSES_ROOT\\CLSID\\{ABC}\\InprocServer32]\n"
            "@=\"/opt/lib/libX.so\"\n"
            "\"Blob\"=hex:00,ff,10\n"
            "\"Count\"=dword:0000000a\n"
            "\"Quoted\"=\"C:\\\\dir \\\"x\\\"\"\n"
            "\"ThreadingModel\"=\"Apartment\"\n\n");

  // Names are matched without case; the written case is kept.
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"clsid\\{abc}\\INPROCSERVER32", u""),
            u"/opt/lib/libX.so");
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"CLSID\\{ABC}\\InprocServer32", u"threadingmodel"),
            u"Apartment");
  EXPECT_EQ(GetString(HKEY_CLASSES_ROOT, u"CLSID\\{ABC}\\InprocServer32", u"Quoted"),
            u"C:\\dir \"x\"");
  ASSERT_TRUE(k = Create(HKEY_CLASSES_ROOT, u"clsid\\{abc}", &disp));
  EXPECT_EQ(disp, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
  EXPECT_EQ(Names(k), std::vector<std::u16string>{u"InprocServer32"});
  RegCloseKey(k);

  // Sizes: too small, exact.
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"CLSID\\{ABC}\\InprocServer32", 0, KEY_READ, &k),
            ERROR_SUCCESS);
  DWORD type = 0, cb = 0, d = 0;
  cb = 4;
  EXPECT_EQ(
      RegQueryValueExW(k, u"ThreadingModel", nullptr, &type, reinterpret_cast<BYTE*>(&d), &cb),
      ERROR_MORE_DATA);
  EXPECT_EQ(cb, 20u);
  cb = 4;
  ASSERT_EQ(RegQueryValueExW(k, u"Count", nullptr, &type, reinterpret_cast<BYTE*>(&d), &cb),
            ERROR_SUCCESS);
  EXPECT_EQ(type, static_cast<DWORD>(REG_DWORD));
  EXPECT_EQ(d, 10u);
  EXPECT_EQ(RegQueryValueExW(k, u"Missing", nullptr, &type, nullptr, &cb), ERROR_FILE_NOT_FOUND);
  RegCloseKey(k);
}

TEST_F(Registry, TheFileIsReplacedWhole) {
  HKEY k;
  ASSERT_TRUE(k = Create(HKEY_CURRENT_USER, u"Software\\QWB"));
  ASSERT_EQ(SetString(k, u"First", u"1"), ERROR_SUCCESS);

  // Writes go through a new file renamed over the old one; no temporary is left behind.
  // The old file is held open so that its inode cannot be reused by the new one.
  const int old_fd = open(path_.c_str(), O_RDONLY);
  ASSERT_GE(old_fd, 0);
  ASSERT_EQ(SetString(k, u"Second", u"2"), ERROR_SUCCESS);
  struct stat before, after;
  ASSERT_EQ(fstat(old_fd, &before), 0);
  ASSERT_EQ(stat(path_.c_str(), &after), 0);
  close(old_fd);
  EXPECT_EQ(before.st_nlink, 0u);
  EXPECT_NE(before.st_ino, after.st_ino);
  size_t files = 0;
  for (const auto& e : fs::directory_iterator(fs::path(path_).parent_path())) {
    ++files;
    EXPECT_EQ(e.path().filename(), "registry.reg");
  }
  EXPECT_EQ(files, 1u);
  RegCloseKey(k);
}

TEST_F(Registry, ConcurrentWritersInSeveralProcessesLoseNothing) {
  constexpr int kProcs = 4, kEach = 15;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcs; ++p) {
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      HKEY k = Create(HKEY_CLASSES_ROOT, u"Shared");
      if (!k) _exit(1);
      for (int i = 0; i < kEach; ++i) {
        const std::string n = std::to_string(p) + "-" + std::to_string(i);
        if (SetString(k, std::u16string(n.begin(), n.end()).c_str(), u"x") != ERROR_SUCCESS)
          _exit(2);
      }
      _exit(0);
    }
    children.push_back(pid);
  }
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  HKEY k;
  ASSERT_EQ(RegOpenKeyExW(HKEY_CLASSES_ROOT, u"Shared", 0, KEY_READ, &k), ERROR_SUCCESS);
  EXPECT_EQ(Names(k, true).size(), static_cast<size_t>(kProcs * kEach));
  RegCloseKey(k);
}

TEST_F(Registry, DeleteEnumerateAndStaleHandles) {
  HKEY root;
  ASSERT_TRUE(root = Create(HKEY_CLASSES_ROOT, u"Tree"));
  for (const char16_t* sub : {u"b", u"A", u"c\\deep\\deeper"}) {
    HKEY k;
    ASSERT_TRUE(k = Create(root, sub));
    SetString(k, u"v", sub);
    RegCloseKey(k);
  }
  SetString(root, u"z", u"last");
  SetString(root, u"", u"default");

  using List = std::vector<std::u16string>;
  EXPECT_EQ(Names(root), (List{u"A", u"b", u"c"}));  // sorted without case
  EXPECT_EQ(Names(root, true), (List{u"", u"z"}));

  EXPECT_EQ(RegDeleteKeyW(root, u"c"), ERROR_ACCESS_DENIED);  // has subkeys
  EXPECT_EQ(RegDeleteKeyW(root, u"B"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyW(root, u"B"), ERROR_FILE_NOT_FOUND);
  HKEY deep;
  ASSERT_EQ(RegOpenKeyExW(root, u"c\\deep", 0, KEY_READ, &deep), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteTreeW(root, u"C"), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExW(deep, u"v", nullptr, nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  RegCloseKey(deep);

  // With no subkey, the tree under the key goes and the key stays.
  EXPECT_EQ(RegDeleteTreeW(root, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(Names(root), List{});
  EXPECT_EQ(RegQueryValueExW(root, nullptr, nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
  EXPECT_EQ(FileText(), "Windows Registry Editor Version 5.00\n\n[HKEY_CLASSES_ROOT\\Tree]\n\n");
}

// Activation reads the same registry.
class Activation : public Registry {};

constexpr CLSID kClsid = {
    0x0BADF00D, 0x1234, 0x5678, {0x9A, 0xBC, 0xDE, 0xF0, 0x12, 0x34, 0x56, 0x78}};
constexpr char16_t kClsidText[] = u"{0BADF00D-1234-5678-9ABC-DEF012345678}";

TEST_F(Activation, RegistrationProblems) {
  void* p = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);

  const std::u16string clsidKey = std::u16string(u"CLSID\\") + kClsidText;
  const auto set = [](const std::u16string& key, const std::u16string& value) {
    HKEY k = Create(HKEY_CLASSES_ROOT, key.c_str());
    EXPECT_EQ(SetString(k, u"", value), ERROR_SUCCESS);
    RegCloseKey(k);
  };
  set(clsidKey + u"\\InprocServer32", u"/nonexistent/libNothing.so");
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_DLLNOTFOUND);
  const std::string notALibrary = dir_ + "/libBroken.so";
  std::ofstream(notALibrary) << "not an ELF file";
  set(clsidKey + u"\\InprocServer32", std::u16string(notALibrary.begin(), notALibrary.end()));
  EXPECT_EQ(CoCreateInstance(kClsid, nullptr, CLSCTX_ALL, IID_IUnknown, &p), CO_E_ERRORINDLL);

  CLSID c;
  EXPECT_EQ(CLSIDFromProgID(u"Nobody.Here.1", &c), CO_E_CLASSSTRING);
  set(u"Some.Thing.1\\CLSID", kClsidText);
  ASSERT_EQ(CLSIDFromProgID(u"some.thing.1", &c), S_OK);
  EXPECT_EQ(c, kClsid);
}

}  // namespace
