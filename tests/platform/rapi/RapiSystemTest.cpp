// librapi's system, process, sync, registry-enumeration and file-pointer calls end to end
// against the phone emulator, with their failures; and, against a device that answers
// every call with `120` alone, each call returning its own failure value.
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "emulator/Emulator.h"
#include "gtest/gtest.h"
#include "tests/platform/rapi/FakeDevice.h"
#include "wincompat/rapi.h"
#include "wincompat/winbase.h"

using rapitest::Answer;
using rapitest::FakeDevice;
using rapitest::ScopedEnv;

namespace {

class RapiSystem : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::path(::testing::TempDir()) / ("rapisys-" + std::to_string(::getpid()));
    std::filesystem::remove_all(dir_);
    wmemu::Emulator::CreateImage(dir_, "demo", "Aster W1");
    emu_ = wmemu::Emulator::Open(dir_);
    emu_->files().PutFolder(u"\\Storage Card", FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_TEMPORARY);
    env_ = std::make_unique<ScopedEnv>("QWBDCAWM_DEVICE", emu_->Listen("tcp:127.0.0.1:0"));
    ASSERT_EQ(CeRapiInit(), S_OK);
  }
  void TearDown() override {
    while (CeRapiUninit() == S_OK) {
    }
    emu_->Stop();
    emu_.reset();
    std::filesystem::remove_all(dir_);
  }

  std::filesystem::path dir_;
  std::unique_ptr<wmemu::Emulator> emu_;
  std::unique_ptr<ScopedEnv> env_;
};

#define EXPECT_DEVICE_ERROR(code)           \
  EXPECT_EQ(CeGetLastError(), DWORD(code)); \
  EXPECT_EQ(CeRapiGetError(), S_OK)

TEST_F(RapiSystem, SpecialFoldersAndAttributes) {
  WCHAR buf[MAX_PATH];
  ASSERT_EQ(CeGetSpecialFolderPath(CSIDL_PERSONAL, 520, buf), 13u);
  EXPECT_EQ(std::u16string(buf), u"\\My Documents");
  EXPECT_EQ(CeGetSpecialFolderPath(CSIDL_FONTS, MAX_PATH, buf), 14u);
  EXPECT_EQ(CeGetSpecialFolderPath(CSIDL_DESKTOPDIRECTORY, MAX_PATH, buf), 0u);
  EXPECT_DEVICE_ERROR(ERROR_INVALID_PARAMETER);
  EXPECT_EQ(CeGetSpecialFolderPath(CSIDL_PERSONAL, 13, buf), 0u);
  EXPECT_DEVICE_ERROR(ERROR_INSUFFICIENT_BUFFER);

  EXPECT_EQ(CeGetFileAttributes(u"\\My Documents"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(CeGetFileAttributes(u"\\Windows\\wceload.exe") & FILE_ATTRIBUTE_INROM,
            DWORD(FILE_ATTRIBUTE_INROM));
  EXPECT_EQ(CeGetFileAttributes(u"\\My Documents\\없는 파일.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_DEVICE_ERROR(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CeGetFileAttributes(u"\\없는\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_DEVICE_ERROR(ERROR_PATH_NOT_FOUND);
}

TEST_F(RapiSystem, FilePointerSizeAndEndOfFileOnBothVolumes) {
  for (const char16_t* path : {u"\\My Documents\\크기.bin", u"\\Storage Card\\크기.bin"}) {
    HANDLE h = CeCreateFile(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(CeWriteFile(h, "abcdefgh", 8, &written, nullptr));
    DWORD high = 7;
    EXPECT_EQ(CeGetFileSize(h, &high), 8u);
    EXPECT_EQ(high, 0u);
    EXPECT_EQ(CeSetFilePointer(h, 3, nullptr, FILE_BEGIN), 3u);
    EXPECT_TRUE(CeSetEndOfFile(h));
    EXPECT_EQ(CeGetFileSize(h, nullptr), 3u);
    EXPECT_EQ(CeSetFilePointer(h, -4, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
    EXPECT_DEVICE_ERROR(ERROR_NEGATIVE_SEEK);
    LONG hi = 1;
    EXPECT_EQ(CeSetFilePointer(h, 5, &hi, FILE_BEGIN), 5u);  // 4 GiB + 5
    EXPECT_EQ(hi, 1);
    EXPECT_EQ(CeSetFilePointer(h, 0, nullptr, FILE_END), 3u);
    EXPECT_EQ(CeSetFilePointer(h, 1000, nullptr, FILE_CURRENT), 1003u);
    EXPECT_TRUE(CeSetEndOfFile(h));
    EXPECT_EQ(CeGetFileSize(h, nullptr), 1003u);
    EXPECT_TRUE(CeCloseHandle(h));
    EXPECT_EQ(CeGetFileSize(h, nullptr), INVALID_FILE_SIZE);
    EXPECT_DEVICE_ERROR(ERROR_INVALID_HANDLE);
    EXPECT_FALSE(CeSetEndOfFile(h));
    EXPECT_DEVICE_ERROR(ERROR_INVALID_HANDLE);
  }
}

TEST_F(RapiSystem, RegistryEnumerationQueryInfoAndDeletion) {
  HKEY apps = nullptr;
  ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Software\\Apps", 0, 0, &apps), ERROR_SUCCESS);
  DWORD subKeys = 0, maxSub = 0, values = 9, maxName = 0, maxData = 0;
  ASSERT_EQ(CeRegQueryInfoKey(apps, nullptr, nullptr, nullptr, &subKeys, &maxSub, nullptr, &values,
                              &maxName, &maxData, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 5u);
  EXPECT_EQ(values, 0u);
  std::vector<std::u16string> installed;
  for (DWORD i = 0;; ++i) {
    std::vector<WCHAR> name(maxSub + 1);
    DWORD chars = maxSub + 1;
    LONG r = CeRegEnumKeyEx(apps, i, name.data(), &chars, nullptr, nullptr, nullptr, nullptr);
    if (r == ERROR_NO_MORE_ITEMS) break;
    ASSERT_EQ(r, ERROR_SUCCESS);
    ASSERT_LT(i, 10u);
    HKEY app = nullptr;
    ASSERT_EQ(CeRegOpenKeyEx(apps, name.data(), 0, 0, &app), ERROR_SUCCESS);
    DWORD vi = 0;
    for (;; ++vi) {
      WCHAR vname[16];
      DWORD vchars = 16, type = 0, data = 0, size = sizeof data;
      LONG v = CeRegEnumValue(app, vi, vname, &vchars, nullptr, &type,
                              reinterpret_cast<BYTE*>(&data), &size);
      if (v == ERROR_NO_MORE_ITEMS) break;
      if (v == ERROR_MORE_DATA) continue;  // the folder text is larger than a DWORD
      ASSERT_EQ(v, ERROR_SUCCESS);
      if (std::u16string(vname) == u"Instl" && data) installed.emplace_back(name.data());
    }
    EXPECT_EQ(vi, 2u);
    CeRegCloseKey(app);
  }
  EXPECT_EQ(installed.size(), 4u);
  EXPECT_EQ(installed[1], u"Tolvane 모바일 뱅킹");

  // A name that does not fit, and a size probe without a data buffer.
  WCHAR small[2];
  DWORD chars = 2;
  EXPECT_EQ(CeRegEnumKeyEx(apps, 0, small, &chars, nullptr, nullptr, nullptr, nullptr),
            ERROR_MORE_DATA);
  HKEY ident = nullptr;
  ASSERT_EQ(CeRegOpenKeyEx(HKEY_LOCAL_MACHINE, u"Ident", 0, 0, &ident), ERROR_SUCCESS);
  WCHAR vname[32];
  DWORD vchars = 32, type = 0, size = 0;
  ASSERT_EQ(CeRegEnumValue(ident, 0, vname, &vchars, nullptr, &type, nullptr, &size),
            ERROR_SUCCESS);
  EXPECT_EQ(std::u16string(vname), u"OrigName");
  EXPECT_EQ(vchars, 8u);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(size, 18u);  // "Aster W1" and its terminator

  // Deletion: a subtree, then a value; each reports what it did.
  EXPECT_EQ(CeRegDeleteKey(apps, u"Sudoku Classic"), ERROR_SUCCESS);
  EXPECT_EQ(CeRegDeleteKey(apps, u"Sudoku Classic"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CeRegQueryInfoKey(apps, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_EQ(subKeys, 4u);
  EXPECT_EQ(CeRegDeleteValue(ident, u"Desc"), ERROR_SUCCESS);
  EXPECT_EQ(CeRegDeleteValue(ident, u"Desc"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(CeRegDeleteValue(reinterpret_cast<HKEY>(0x7777), u"x"), ERROR_INVALID_HANDLE);
  EXPECT_EQ(CeRegDeleteKey(HKEY_LOCAL_MACHINE, nullptr), ERROR_INVALID_PARAMETER);
  CeRegCloseKey(ident);
  CeRegCloseKey(apps);
}

TEST_F(RapiSystem, SystemPowerStoreClockProcessesAndConfig) {
  SYSTEM_INFO si{};
  CeGetSystemInfo(&si);
  EXPECT_EQ(si.wProcessorArchitecture, PROCESSOR_ARCHITECTURE_ARM);
  EXPECT_EQ(si.dwProcessorType, DWORD(PROCESSOR_STRONGARM));
  EXPECT_EQ(si.dwPageSize, 4096u);

  SYSTEM_POWER_STATUS_EX power{};
  ASSERT_TRUE(CeGetSystemPowerStatusEx(&power, TRUE));
  EXPECT_EQ(power.ACLineStatus, AC_LINE_ONLINE);
  emu_->system().SetPowerState("battery");
  ASSERT_TRUE(CeGetSystemPowerStatusEx(&power, FALSE));
  EXPECT_EQ(power.ACLineStatus, AC_LINE_OFFLINE);
  EXPECT_EQ(power.BatteryFlag, BATTERY_FLAG_HIGH);
  EXPECT_EQ(power.BatteryLifePercent, 72);
  EXPECT_EQ(power.BatteryLifeTime, 5u * 3600u);
  EXPECT_EQ(power.BackupBatteryLifePercent, 100);

  STORE_INFORMATION store{};
  ASSERT_TRUE(CeGetStoreInformation(&store));
  ULARGE_INTEGER freeToCaller, total, totalFree;
  ASSERT_TRUE(CeGetDiskFreeSpaceEx(u"\\", &freeToCaller, &total, &totalFree));
  EXPECT_EQ(store.dwStoreSize, total.QuadPart);
  EXPECT_EQ(store.dwFreeSize, totalFree.QuadPart);
  EXPECT_GT(store.dwStoreSize, store.dwFreeSize);

  EXPECT_TRUE(CeSyncTimeToPc());
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  const uint64_t pc = uint64_t(now.dwHighDateTime) << 32 | now.dwLowDateTime;
  const uint64_t phone = emu_->system().Now();
  EXPECT_LT(pc > phone ? pc - phone : phone - pc, 50000000u);

  PROCESS_INFORMATION pi{};
  EXPECT_FALSE(CeCreateProcess(u"\\Program Files\\game.exe", nullptr, nullptr, nullptr, FALSE, 0,
                               nullptr, nullptr, nullptr, &pi));
  EXPECT_DEVICE_ERROR(ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(pi.hProcess, nullptr);
  ASSERT_TRUE(CeCreateProcess(u"unload.exe", u"\"Sudoku Classic\"", nullptr, nullptr, FALSE, 0,
                              nullptr, nullptr, nullptr, &pi));
  EXPECT_NE(pi.dwProcessId, 0u);
  EXPECT_TRUE(CeCloseHandle(pi.hThread));
  EXPECT_TRUE(CeCloseHandle(pi.hProcess));
  auto starts = emu_->system().ProcessStarts();
  ASSERT_EQ(starts.size(), 1u);
  EXPECT_EQ(starts[0].program, u"\\Windows\\unload.exe");
  EXPECT_EQ(starts[0].commandLine, u"\"Sudoku Classic\"");

  LPWSTR out = nullptr;
  ASSERT_EQ(CeProcessConfig(u"<wap-provisioningdoc><characteristic type=\"Registry\">"
                            u"<characteristic type=\"HKLM\\Ident\"><parm-query name=\"Name\"/>"
                            u"</characteristic></characteristic></wap-provisioningdoc>",
                            CONFIG_PROCESS_DOCUMENT, &out),
            S_OK);
  ASSERT_NE(out, nullptr);
  EXPECT_NE(std::u16string(out).find(u"<parm name=\"Name\" value=\"MyPhone\""), std::u16string::npos);
  CeRapiFreeBuffer(out);
  EXPECT_EQ(CeProcessConfig(u"not xml", CONFIG_PROCESS_DOCUMENT, &out),
            HRESULT(0x80070057));
  EXPECT_EQ(out, nullptr);
  EXPECT_DEVICE_ERROR(ERROR_INVALID_PARAMETER);

  EXPECT_FALSE(CeStartReplication());
  EXPECT_DEVICE_ERROR(ERROR_NOT_FOUND);
  EXPECT_EQ(CeSyncResume(), HRESULT(0x80070490));
  EXPECT_EQ(CeSyncPause(), S_OK);
}

TEST_F(RapiSystem, InjectedFailuresReachTheCaller) {
  emu_->faults().FailNext("CeGetSystemPowerStatusEx", 1, 31);
  SYSTEM_POWER_STATUS_EX power{};
  power.BatteryLifePercent = 77;
  EXPECT_FALSE(CeGetSystemPowerStatusEx(&power, FALSE));
  EXPECT_EQ(power.BatteryLifePercent, 77);
  emu_->faults().FailNext("CeGetSystemInfo", 1, 31);
  SYSTEM_INFO si{};
  si.dwPageSize = 1;
  CeGetSystemInfo(&si);
  EXPECT_EQ(si.dwPageSize, 1u);  // a void call that failed: the structure stays as it was
  EXPECT_DEVICE_ERROR(31);
  emu_->faults().FailNext("CeRegEnumValue", 1, 31);
  WCHAR name[8];
  DWORD chars = 8;
  EXPECT_EQ(CeRegEnumValue(HKEY_LOCAL_MACHINE, 0, name, &chars, nullptr, nullptr, nullptr, nullptr),
            31);
  emu_->faults().FailNext("CeProcessConfig", 1, 5);
  LPWSTR out = nullptr;
  EXPECT_EQ(CeProcessConfig(u"<wap-provisioningdoc/>", 0, &out), HRESULT(0x80070005));
}

// A device that answers every request with word 0 alone: each call fails with its own
// failure value, learns the error, and the connection stays.
TEST(RapiUnknownCommandReplies, EveryCallFailsWithItsOwnFailureValue) {
  FakeDevice dev([](const std::vector<uint8_t>&, int) {
    rapi2::Writer w;
    w.u32(120);
    std::vector<uint8_t> f = w.Finish();
    return Answer{f, false};
  });
  ScopedEnv env("QWBDCAWM_DEVICE", dev.Address());
  ASSERT_EQ(CeRapiInit(), S_OK);
  HANDLE h = reinterpret_cast<HANDLE>(0x1000);
  HKEY k = reinterpret_cast<HKEY>(0x1000);
  WCHAR buf[MAX_PATH];
  DWORD chars = MAX_PATH;
  EXPECT_EQ(CeGetFileAttributes(u"\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(CeGetLastError(), 120u);
  EXPECT_EQ(CeRapiGetError(), S_OK);
  EXPECT_EQ(CeGetFileSize(h, nullptr), INVALID_FILE_SIZE);
  EXPECT_EQ(CeSetFilePointer(h, 0, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_FALSE(CeSetEndOfFile(h));
  EXPECT_EQ(CeGetSpecialFolderPath(CSIDL_PERSONAL, MAX_PATH, buf), 0u);
  EXPECT_NE(CeRegEnumKeyEx(k, 0, buf, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  chars = MAX_PATH;
  EXPECT_NE(CeRegEnumValue(k, 0, buf, &chars, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_NE(CeRegQueryInfoKey(k, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr, nullptr, nullptr, nullptr),
            ERROR_SUCCESS);
  EXPECT_NE(CeRegDeleteKey(k, u"a"), ERROR_SUCCESS);
  EXPECT_NE(CeRegDeleteValue(k, u"a"), ERROR_SUCCESS);
  SYSTEM_POWER_STATUS_EX power{};
  EXPECT_FALSE(CeGetSystemPowerStatusEx(&power, FALSE));
  STORE_INFORMATION store{};
  EXPECT_FALSE(CeGetStoreInformation(&store));
  PROCESS_INFORMATION pi{};
  EXPECT_FALSE(CeCreateProcess(u"a.exe", nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               nullptr, &pi));
  LPWSTR out = nullptr;
  EXPECT_LT(CeProcessConfig(u"<a/>", 0, &out), 0);
  EXPECT_FALSE(CeSyncTimeToPc());  // word 0 arrived, and it is an error
  EXPECT_FALSE(CeStartReplication());
  EXPECT_LT(CeSyncResume(), 0);
  EXPECT_LT(CeSyncPause(), 0);
  SYSTEM_INFO si{};
  si.dwPageSize = 77;
  CeGetSystemInfo(&si);
  EXPECT_EQ(si.dwPageSize, 77u);
  // Still connected: every call above reached the device.
  EXPECT_EQ(CeRapiGetError(), S_OK);
  EXPECT_GE(dev.Requests().size(), 17u);
  while (CeRapiUninit() == S_OK) {
  }
}

}  // namespace
